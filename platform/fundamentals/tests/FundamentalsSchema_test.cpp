#include "platform/fundamentals/FundamentalsSchema.h"

#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ado/Connection.h"
#include "platform/automation/Convert.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Text.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/TestEnvironment.h"

namespace fundamentals {
namespace {

using automation::Variant;

// What each part of the system reads, written out by hand rather than generated, so that a
// column the schema lacks or misspells shows here under the reader that would miss it.
struct Read {
  const char* table;
  const char* source;
  const char* columns;  // separated by blanks
};
struct Reader {
  const char* name;
  std::vector<Read> reads;
};

const std::vector<Reader>& Readers() {
  static const std::vector<Reader> readers{
      {"alert check", {{"si_ci", "SIPStatic", "ticker company"}}},
      {"valuation ratio series",
       {{"si_ci", "SIPStatic", "ticker company_id"},
        {"si_isa", "SIPStatic",
         "company_id sales_y1 sales_y2 sales_y3 sales_y4 sales_y5 sales_y6 sales_y7 "
         "epsd_y1 epsd_y2 epsd_y3 epsd_y4 epsd_y5 epsd_y6 epsd_y7 "
         "epsdc_y1 epsdc_y2 epsdc_y3 epsdc_y4 epsdc_y5 epsdc_y6 epsdc_y7"},
        {"si_bsa", "SIPStatic",
         "company_id bvps_y1 bvps_y2 bvps_y3 bvps_y4 bvps_y5 bvps_y6 bvps_y7"},
        {"si_cfa", "SIPStatic",
         "company_id cfps_y1 cfps_y2 cfps_y3 cfps_y4 cfps_y5 cfps_y6 cfps_y7 "
         "fcfps_y1 fcfps_y2 fcfps_y3 fcfps_y4 fcfps_y5 fcfps_y6 fcfps_y7"},
        {"si_date", "SIPStatic",
         "company_id perend_y1 perend_y2 perend_y3 perend_y4 perend_y5 perend_y6 perend_y7"},
        {"si_psd", "SIPDbf",
         "company_id shr_ay1 shr_ay2 shr_ay3 shr_ay4 shr_ay5 shr_ay6 shr_ay7"}}},
      {"profile report",
       {{"si_ci", "SIPStatic", "company_id ticker company exchange business ind_2_dig ind_3_dig"},
        {"si_mgdsc", "SIPStatic", "mg_code mg_desc"},
        {"si_date", "SIPStatic", "company_id perend_q1 perend_y1 perend_y2 perend_y3 perend_y4"},
        {"si_isa", "SIPStatic",
         "company_id sales_12m sales_y1 sales_y2 sales_y3 sales_y4 sales_y5 "
         "netinc_12m netinc_y1 netinc_y2 netinc_y3 netinc_y4 netinc_y5 "
         "cgs_12m cgs_y1 cgs_y2 cgs_y3 cgs_y4 gross_12m gross_y1 gross_y2 gross_y3 gross_y4 "
         "totexp_12m totexp_y1 totexp_y2 totexp_y3 totexp_y4 "
         "othinc_12m othinc_y1 othinc_y2 othinc_y3 othinc_y4 iac_12m iac_y1 iac_y2 iac_y3 iac_y4 "
         "xord_12m xord_y1 xord_y2 xord_y3 xord_y4 dps_12m dps_y1 dps_y2 dps_y3 dps_y4 "
         "gopinc_12m gopinc_y1 gopinc_y2 gopinc_y3 gopinc_y4 pti_12m pti_y1 pti_y2 pti_y3 pti_y4 "
         "epsdc_12m epsdc_y1 epsdc_y2 epsdc_y3 epsdc_y4"},
        {"si_isq", "SIPStatic",
         "company_id netinc_q5 netinc_q6 netinc_q7 netinc_q8 sales_q5 sales_q6 sales_q7 sales_q8"},
        {"si_bsa", "SIPStatic",
         "company_id cash_y1 cash_y2 cash_y3 cash_y4 cash_y5 assets_y1 assets_y2 assets_y3 "
         "assets_y4 assets_y5 liab_y1 liab_y2 liab_y3 liab_y4 liab_y5 ca_y1 ca_y2 ca_y3 ca_y4 "
         "ca_y5 nppe_y1 nppe_y2 nppe_y3 nppe_y4 nppe_y5 cl_y1 cl_y2 cl_y3 cl_y4 cl_y5 "
         "totloe_y1 totloe_y2 totloe_y3 totloe_y4 totloe_y5 ltdebt_y1 ltdebt_y2 ltdebt_y3 "
         "ltdebt_y4 ltdebt_y5 equity_y1 equity_y2 equity_y3 equity_y4 equity_y5 "
         "pref_y1 pref_y2 pref_y3 pref_y4"},
        {"si_bsq", "SIPStatic",
         "company_id ltdebt_q1 ltdebt_q2 ltdebt_q3 ltdebt_q4 equity_q1 equity_q2 equity_q3 "
         "equity_q4 pref_q1 pref_q2 pref_q3 pref_q4 cash_q1 assets_q1 liab_q1"},
        {"si_cfa", "SIPStatic",
         "company_id cfps_12m cfps_y1 cfps_y2 cfps_y3 cfps_y4 fcfps_12m fcfps_y1 fcfps_y2 "
         "fcfps_y3 fcfps_y4 tco_12m tco_y1 tco_y2 tco_y3 tco_y4 ncc_12m ncc_y1 ncc_y2 ncc_y3 "
         "ncc_y4 ce_12m ce_y1 ce_y2 ce_y3 ce_y4"},
        {"si_psd", "SIPDbf", "company_id shr_aq1 shr_ay1 shr_ay2 shr_ay3"},
        {"si_perc", "SIPDbf",
         "company_id rsales_g1t rsales_g1f rsales_g3f rsales_g5f rsales_g7f "
         "repsdc_g1t repsdc_g1f repsdc_g3f repsdc_g5f repsdc_g7f "
         "reps_g1t reps_g1f reps_g3f reps_g5f reps_g7f rnetinc_g1 rnetinc_g3 rnetinc_g5 "
         "rnetinc_g7 rrs_04w rrs_13w rrs_26w rrs_52w rrsw_4q"},
        {"si_rat", "SIPDbf",
         "company_id roe_12m roe_y1 roe_y2 roe_y3 roe_y4 roa_12m roa_y1 roa_y2 roa_y3 roa_y4 "
         "gpm_12m gpm_y1 gpm_y2 gpm_y3 gpm_y4 opm_12m opm_y1 opm_y2 opm_y3 opm_y4 "
         "npm_12m npm_y1 npm_y2 npm_y3 npm_y4 curr_q1 curr_y1 curr_y2 curr_y3 curr_y4 "
         "quick_q1 quick_y1 quick_y2 quick_y3 quick_y4 tl_ta_q1 tl_ta_y1 tl_ta_y2 tl_ta_y3 "
         "tl_ta_y4 ltd_tc_q1 ltd_tc_y1 ltd_tc_y2 ltd_tc_y3 ltd_tc_y4 ltd_eq_q1 ltd_eq_y1 "
         "ltd_eq_y2 ltd_eq_y3 ltd_eq_y4 tie_12m tie_y1 tie_y2 tie_y3 tie_y4 "
         "payout_12m payout_y1 payout_y2 payout_y3 payout_y4"},
        {"si_gr", "SIPDbf",
         "company_id sales_g1t sales_g1f sales_g3f sales_g5f sales_g7f "
         "gopin_g1t gopinc_g1f gopinc_g3f gopinc_g5f gopinc_g7f "
         "pti_g1t pti_g1f pti_g3f pti_g5f pti_g7f opin_g1t opinc_g1f opinc_g3f opinc_g5f "
         "opinc_g7f netin_g1t netinc_g1f netinc_g3f netinc_g5f netinc_g7f "
         "epsd_g1t epsd_g1f epsd_g3f epsd_g5f epsd_g7f epsdc_g1t epsdc_g1f epsdc_g3f epsdc_g5f "
         "epsdc_g7f cfps_g1t cfps_g1f cfps_g3f cfps_g5f cfps_g7f "
         "fcfps_g1t fcfps_g1f fcfps_g3f fcfps_g5f fcfps_g7f dps_g1t dps_g1f dps_g3f dps_g5f "
         "dps_g7f"},
        {"si_mlt", "SIPDbf",
         "company_id pe_1t pe_a3y pe pe_ey0 psps_1t psps_a3y psps pbvps_1t pbvps_a3y pbvps "
         "pcfps_1t pcfps_a3y pcfps pfcps_1t pfcps_a3y pfcps yield_1t yield_a3y yield"}}},
      {"navigator portfolios",
       {{"prtflio", "SIPUser", "pfid portfolio"}, {"pfcomp", "SIPUser", "pfid ticker"}}},
      {"composite rating",
       {{"si_mgav2", "SIPDbf", "indcode rs_04w rs_13w rs_26w rs_52w"},
        {"si_ci", "SIPStatic", "company_id ticker ind_3_dig"},
        {"si_perc", "SIPDbf",
         "company_id rsales_g1t rsales_g1f rsales_g3f repsdc_g1t repsdc_g1f repsdc_g3f "
         "rrs_04w rrs_13w rrs_26w rrs_52w ropm_12m ropm_y1 ropm_y2 rnpm_12m rnpm_y1 rnpm_y2 "
         "rroe_12m rroe_y1 rroe_y2 rshrinstn rshrinst"},
        {"si_psd", "SIPDbf", "company_id instps instss"}}},
      {"EVA calculation",
       {{"si_ci", "SIPStatic", "company_id ticker"},
        {"si_bsa", "SIPStatic",
         "company_id ltdebt_y2 ltdebt_y3 ltdebt_y4 ltdebt_y5 ltdebt_y6 ltdebt_y7 "
         "equity_y2 equity_y3 equity_y4 equity_y5 equity_y6 equity_y7 "
         "pref_y2 pref_y3 pref_y4 pref_y5 pref_y6 pref_y7"},
        {"si_bsq", "SIPStatic",
         "company_id ltdebt_q2 ltdebt_q3 ltdebt_q4 ltdebt_q5 equity_q2 equity_q3 equity_q4 "
         "equity_q5 pref_q2 pref_q3 pref_q4 pref_q5"},
        {"si_isa", "SIPStatic",
         "company_id gopinc_12m gopinc_y1 gopinc_y2 gopinc_y3 gopinc_y4 gopinc_y5 gopinc_y6 "
         "pti_12m pti_y1 pti_y2 pti_y3 pti_y4 pti_y5 pti_y6 int_12m int_y1 int_y2 int_y3 "
         "int_y4 int_y5 int_y6 intno_12m intno_y1 intno_y2 intno_y3 intno_y4 intno_y5 "
         "intno_y6 inctax_12m inctax_y1 inctax_y2 inctax_y3 inctax_y4 inctax_y5 inctax_y6 "
         "dep_12m dep_y1 dep_y2 dep_y3 dep_y4 dep_y5 dep_y6"},
        {"si_isq", "SIPStatic", "company_id"},
        {"si_date", "SIPStatic",
         "company_id perend_q1 perend_q5 perend_y1 perend_y2 perend_y3 perend_y4 perend_y5 "
         "perend_y6 perend_y7"},
        {"si_psd", "SIPDbf",
         "company_id shr_aq1 shr_ay1 shr_ay2 shr_ay3 shr_ay4 shr_ay5 shr_ay6"}}},
  };
  return readers;
}

std::vector<std::string> Words(const char* text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

TEST(FundamentalsSchemaTest, HasEveryColumnThatIsReadOnTheSourceItIsReadFrom) {
  std::set<std::string> tables_read;
  for (const Reader& reader : Readers()) {
    for (const Read& read : reader.reads) {
      SCOPED_TRACE(std::string(reader.name) + ": " + read.table);
      tables_read.insert(read.table);
      const FundamentalsTable* table = FindFundamentalsTable(read.table);
      ASSERT_NE(table, nullptr);
      EXPECT_EQ(table->source, read.source);
      for (const std::string& column : Words(read.columns)) {
        const FundamentalsColumn* found = FindColumn(*table, column);
        ASSERT_NE(found, nullptr) << column;
        EXPECT_TRUE(found->read) << column << " is read but not marked so";
      }
    }
  }
  // And no table that nothing reads.
  std::set<std::string> tables;
  for (const FundamentalsTable& table : FundamentalsTables()) tables.insert(table.name);
  EXPECT_EQ(tables, tables_read);
}

TEST(FundamentalsSchemaTest, TablesAreOrderedBySourceAndKeyedFirstWithoutRepeats) {
  const std::vector<std::string> order{"SIPStatic", "SIPDbf", "SIPUser"};
  size_t source_at = 0;
  for (const FundamentalsTable& table : FundamentalsTables()) {
    SCOPED_TRACE(table.name);
    while (source_at < order.size() && order[source_at] != table.source) ++source_at;
    ASSERT_LT(source_at, order.size()) << "out of order or unknown source " << table.source;
    ASSERT_FALSE(table.columns.empty());
    const FundamentalsColumn& key = table.columns.front();
    EXPECT_TRUE(key.kind == ColumnKind::kKey || key.name == "pfid") << key.name;
    std::set<std::string> names;
    for (const FundamentalsColumn& column : table.columns) {
      EXPECT_TRUE(names.insert(column.name).second) << "twice: " << column.name;
      EXPECT_EQ(column.name, automation::FoldCase(column.name));
    }
  }
  EXPECT_EQ(FundamentalsTables().size(), 16u);
  EXPECT_EQ(FindFundamentalsTable("SI_CI"), nullptr);
  EXPECT_EQ(FindFundamentalsTable("si_xx"), nullptr);
}

// A full export has every period of a figure: each stem of a statement table has the
// whole family of its kind, whatever part of it the programs read.
TEST(FundamentalsSchemaTest, EveryStemHasItsWholeFamilyOfPeriods) {
  std::set<std::string> quarters, years;
  for (int k = 1; k <= 8; ++k) quarters.insert("_q" + std::to_string(k));
  for (int k = 1; k <= 7; ++k) years.insert("_y" + std::to_string(k));
  std::set<std::string> ttm_years = years, quarters_years = quarters;
  ttm_years.insert("_12m");
  quarters_years.insert(years.begin(), years.end());
  const std::pair<const char*, std::set<std::string>> cases[] = {
      {"si_isa", ttm_years}, {"si_cfa", ttm_years}, {"si_bsa", years},
      {"si_isq", quarters},  {"si_bsq", quarters},  {"si_date", quarters_years}};
  for (const auto& [name, family] : cases) {
    std::map<std::string, std::set<std::string>> stems;  // stem -> its periods
    for (const FundamentalsColumn& column : FindFundamentalsTable(name)->columns) {
      const size_t cut = column.name.rfind('_');
      if (column.name != "company_id") {
        stems[column.name.substr(0, cut)].insert(column.name.substr(cut));
      }
    }
    for (const auto& [stem, periods] : stems) EXPECT_EQ(periods, family) << name << " " << stem;
  }
}

TEST(FundamentalsSchemaTest, ColumnKindsFollowTheirUse) {
  struct Case {
    const char* table;
    const char* column;
    ColumnKind kind;
  };
  for (const Case& c : {
           Case{"si_ci", "company_id", ColumnKind::kKey},
           Case{"si_ci", "ticker", ColumnKind::kKey},
           Case{"si_ci", "ind_3_dig", ColumnKind::kKey},
           Case{"si_ci", "company", ColumnKind::kText},
           Case{"si_ci", "exchange", ColumnKind::kText},
           Case{"si_ci", "business", ColumnKind::kLongText},
           Case{"si_mgdsc", "mg_code", ColumnKind::kKey},
           Case{"si_mgdsc", "mg_desc", ColumnKind::kText},
           Case{"si_mgav2", "indcode", ColumnKind::kKey},
           Case{"si_date", "perend_q5", ColumnKind::kDate},
           Case{"si_date", "perend_y7", ColumnKind::kDate},
           Case{"si_psd", "shr_ay7", ColumnKind::kNumber},
           Case{"prtflio", "pfid", ColumnKind::kInteger},
           Case{"prtflio", "portfolio", ColumnKind::kText},
           Case{"pfcomp", "pfid", ColumnKind::kInteger},
           Case{"pfcomp", "ticker", ColumnKind::kKey},
       }) {
    const FundamentalsColumn* column = FindColumn(*FindFundamentalsTable(c.table), c.column);
    ASSERT_NE(column, nullptr) << c.table << "." << c.column;
    EXPECT_EQ(column->kind, c.kind) << c.table << "." << c.column;
  }
  EXPECT_EQ(CreateTableSql(*FindFundamentalsTable("si_mgdsc"), ado::Engine::kPostgres),
            "create table si_mgdsc (mg_code varchar(10), mg_desc varchar(80))");
}

// ---- On both engines

class FundamentalsSchemaDbTest : public testing_support::EngineTest {
 protected:
  void SetUp() override {
    if (!UseDataSources({"SIPStatic"})) GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
    connection_ = Open("SIPStatic");
  }

  ado::Result Query(const std::string& sql, const std::vector<Variant>& params = {}) {
    return connection_->driver().Run(sql, params);
  }

  std::shared_ptr<ado::Connection> connection_;
};

INSTANTIATE_TEST_SUITE_P(Engines, FundamentalsSchemaDbTest, testing_support::BothEngines(),
                         testing_support::EngineParamName());

TEST_P(FundamentalsSchemaDbTest, CreatesEveryTableWithItsColumnsInOrder) {
  // All three sources on one database, as a single PostgreSQL database may serve them.
  for (const char* source : {"SIPStatic", "SIPDbf", "SIPUser"}) {
    CreateFundamentalsTables(*connection_, source);
  }
  for (const FundamentalsTable& table : FundamentalsTables()) {
    SCOPED_TRACE(table.name);
    const ado::Result result = Query("select * from " + table.name);
    ASSERT_EQ(result.columns.size(), table.columns.size());
    for (size_t i = 0; i < table.columns.size(); ++i) {
      EXPECT_EQ(result.columns[i].name, table.columns[i].name);
    }
  }
}

TEST_P(FundamentalsSchemaDbTest, RowWithDateTextAndNullsRoundTrips) {
  CreateFundamentalsTables(*connection_, "SIPStatic");
  connection_->Execute(
      "insert into si_date (company_id, perend_q1, perend_y1, perend_y2) values (?, ?, ?, ?)",
      {Variant("C0001"), Variant(automation::DateOf(2024, 3, 31)),
       Variant(automation::DateOf(2023, 12, 31)), Variant::Null()});
  connection_->Execute("insert into si_ci (company_id, ticker, company) values (?, ?, ?)",
                       {Variant("C0001"), Variant("OBR"), Variant("O'Brien & Sons")});
  connection_->Execute("insert into si_isa (company_id, sales_12m, sales_y1) values (?, ?, ?)",
                       {Variant("C0001"), Variant(1234.5), Variant::Null()});

  ado::Result dates = Query(
      "select company_id, perend_q1, perend_q5, perend_y1, perend_y2 from si_date "
      "where company_id = ?",
      {Variant("C0001")});
  ASSERT_EQ(dates.rows.size(), 1u);
  EXPECT_EQ(dates.rows[0][1].Type(), automation::VarType::kDate);
  EXPECT_EQ(automation::DateText(automation::CDate(dates.rows[0][1])), "3/31/2024");
  EXPECT_EQ(automation::DateText(automation::CDate(dates.rows[0][3])), "12/31/2023");
  EXPECT_TRUE(dates.rows[0][2].IsNull());  // perend_q5, never given
  EXPECT_TRUE(dates.rows[0][4].IsNull());  // perend_y2, given as Null

  ado::Result company =
      Query("select company, exchange from si_ci where ticker = ?", {Variant("OBR")});
  ASSERT_EQ(company.rows.size(), 1u);
  EXPECT_EQ(company.rows[0][0].String(), "O'Brien & Sons");
  EXPECT_TRUE(company.rows[0][1].IsNull());

  ado::Result sales = Query("select sales_12m, sales_y1 from si_isa");
  ASSERT_EQ(sales.rows.size(), 1u);
  EXPECT_EQ(sales.rows[0][0].Type(), automation::VarType::kDouble);
  EXPECT_DOUBLE_EQ(automation::CDbl(sales.rows[0][0]), 1234.5);
  EXPECT_TRUE(sales.rows[0][1].IsNull());
}

TEST_P(FundamentalsSchemaDbTest, CreatingASourceAgainEmptiesOnlyItsOwnTables) {
  CreateFundamentalsTables(*connection_, "SIPStatic");
  CreateFundamentalsTables(*connection_, "SIPUser");
  connection_->Execute("insert into si_mgdsc values (?, ?)", {Variant("10"), Variant("Energy")});
  connection_->Execute("insert into prtflio values (?, ?)", {Variant(1), Variant("Mine")});

  CreateFundamentalsTables(*connection_, "SIPStatic");
  EXPECT_TRUE(Query("select * from si_mgdsc").rows.empty());
  EXPECT_EQ(Query("select * from prtflio").rows.size(), 1u);
  EXPECT_NE(
      testing_support::ErrorNumberOf([&] { CreateFundamentalsTables(*connection_, "Ledra"); }), 0);
}

}  // namespace
}  // namespace fundamentals
