#include "ocx/calccomp.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "ocx/CompanyFigures.h"
#include "ocx/tests/RecordingTasks.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/helpers/library.h"
#include "platform/tc2000/PriceStore.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/TestEnvironment.h"

namespace kestrova {
namespace {

using automation::Variant;
using testing_support::TestEngine;
using testing_support::Unpadded;

// `days` weekday bars ending 2 December 2026, each opening at the previous close. Rising:
// every bar opens at its low and closes at its high, one point up, so the accumulation line
// gains the full volume (1,000 unless told) each day; falling is the mirror image.
std::vector<tc2000::Bar> Bars(int days, bool rising, int32_t volume = 1000) {
  std::vector<int32_t> codes;
  for (automation::Date d = automation::DateOf(2026, 12, 2); static_cast<int>(codes.size()) < days;
       d = automation::AddDays(d, -1)) {
    if (automation::IsoWeekday(d) <= 5) codes.insert(codes.begin(), helpers::LongFromDate(d));
  }
  std::vector<tc2000::Bar> bars;
  float price = rising ? 100 : 500;
  for (int32_t code : codes) {
    const float next = rising ? price + 1 : price - 1;
    bars.push_back({code, price, std::max(price, next), std::min(price, next), next, volume});
    price = next;
  }
  return bars;
}

// One company of the hand-built world and what the run must store for it.
struct Row {
  const char* ticker;
  const char* company_id;
  const char* indcode;
  int bars;  // 0: not in the price store
  bool rising;
  bool has_perc;     // a row in si_perc
  Variant rnpm_12m;  // the one figure a case sets apart
  Variant instps, instss;
};

// Every si_perc figure is 50 except rnpm_12m; si_psd holds instps / instss.
const std::vector<Row> kWorld = {
    {"AAA", "C1", "011", 100, true, true, Variant(50.0), Variant(30.0), Variant(60.0)},
    {"BBB", "C2", "011", 100, true, true, Variant::Null(), Variant(30.0), Variant(60.0)},
    {"CCC", "C3", "012", 100, false, true, Variant(50.0), Variant(30.0), Variant(0.0)},
    {"DDD", "C4", "012", 65, true, true, Variant(50.0), Variant(30.0), Variant(60.0)},
    {"EEE", "C5", "012", 66, true, true, Variant(50.0), Variant(30.0), Variant(60.0)},
    {"FFF", "C6", "012", 0, true, true, Variant(50.0), Variant(30.0), Variant(60.0)},
    {"GGG", "C7", "011", 100, true, false, Variant(50.0), Variant(30.0), Variant(60.0)},
    {"HHH", "C8", "999", 100, true, true, Variant(50.0), Variant(30.0), Variant(60.0)},
    {"O'K", "C'9", "011", 100, true, true, Variant(50.0), Variant(30.0), Variant(60.0)},
};

class CalcCompositesTest : public testing_support::EngineTest {
 protected:
  void SetUp() override {
    if (!UseDataSources({"SIPStatic", "SIPDbf", "Ledra"})) {
      GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
    }
    static_ = sources_->Open("SIPStatic");
    dbf_ = sources_->Open("SIPDbf");
    ledra_ = sources_->Open("Ledra");

    static_->Execute(
        "create table si_ci (company_id varchar(10), ticker varchar(10), "
        "ind_3_dig varchar(10))");
    dbf_->Execute(
        "create table si_mgav2 (indcode varchar(10), rs_04w double precision, "
        "rs_13w double precision, rs_26w double precision, rs_52w double precision)");
    std::string perc = "create table si_perc (company_id varchar(10)";
    for (const char* column : kPercColumns)
      perc += std::string(", ") + column + " double precision";
    dbf_->Execute(perc + ")");
    dbf_->Execute(
        "create table si_psd (company_id varchar(10), instps double precision, "
        "instss double precision)");
    Populate();
  }

  // The hand-built world of kWorld.
  virtual void Populate() {
    auto store = tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());
    // Industry strengths: 011 → floor((4·80 + 3·70 + 2·60 + 50) / 10) = 70; 012 → 35.
    dbf_->Execute("insert into si_mgav2 values ('011', 80, 70, 60, 50)");
    dbf_->Execute("insert into si_mgav2 values ('012', 40, 35, 30, 25)");

    for (const Row& row : kWorld) {
      static_->Execute("insert into si_ci values (?, ?, ?)",
                       {Variant(row.company_id), Variant(row.ticker), Variant(row.indcode)});
      if (row.bars > 0) {
        store->ReplaceBars(store->UpsertSecurity(row.ticker, row.ticker, true),
                           Bars(row.bars, row.rising));
      }
      if (row.has_perc) {
        std::vector<Variant> values{Variant(row.company_id)};
        std::string marks = "?";
        for (const char* column : kPercColumns) {
          values.push_back(std::string(column) == "rnpm_12m" ? row.rnpm_12m : Variant(50.0));
          marks += ", ?";
        }
        dbf_->Execute("insert into si_perc values (" + marks + ")", values);
      }
      dbf_->Execute("insert into si_psd values (?, ?, ?)",
                    {Variant(row.company_id), row.instps, row.instss});
    }
  }

  // The stored rows by unpadded ticker, every column as a number or text.
  std::map<std::string, std::map<std::string, Variant>> StoredRows() {
    auto rows = helpers::OpenRecordset(ledra_, "select * from si_composite");
    std::map<std::string, std::map<std::string, Variant>> result;
    for (; !rows->EOF_(); rows->MoveNext()) {
      auto& row = result[Unpadded(rows->Field("ticker"))];
      for (int32_t i = 0; i < rows->FieldCount(); ++i) row[rows->FieldName(i)] = rows->Field(i);
    }
    return result;
  }

  static constexpr const char* kPercColumns[] = {
      "repsdc_g1t", "repsdc_g1f", "repsdc_g3f", "rrs_04w",  "rrs_13w", "rrs_26w",   "rrs_52w",
      "rsales_g1t", "rsales_g1f", "rsales_g3f", "ropm_12m", "ropm_y1", "ropm_y2",   "rnpm_12m",
      "rnpm_y1",    "rnpm_y2",    "rroe_12m",   "rroe_y1",  "rroe_y2", "rshrinstn", "rshrinst"};

  std::shared_ptr<ado::Connection> static_, dbf_, ledra_;
};

double Number(const Variant& v) { return automation::CDbl(v); }

TEST_P(CalcCompositesTest, RatesTheHandBuiltWorld) {
  auto tasks = std::make_shared<testing_support::RecordingTasks>();
  CalcComposites(tasks);

  const auto rows = StoredRows();
  // DDD has 65 days of prices, FFF none: both left out, with a status line each.
  EXPECT_EQ(rows.size(), 7u);
  EXPECT_FALSE(rows.count("DDD"));
  EXPECT_FALSE(rows.count("FFF"));
  EXPECT_TRUE(tasks->Said("No quotes found for DDD"));
  EXPECT_TRUE(tasks->Said("No quotes found for FFF"));
  EXPECT_EQ(tasks->done, 1);
  EXPECT_FALSE(tasks->bar->visible());
  // GGG has no si_perc row and HHH an unknown industry: rated, and counted.
  EXPECT_EQ(tasks->statuses.back(),
            "Done. 2 of 7 companies were rated with figures missing (no si_perc or si_psd row, "
            "or an industry without relative strength).");

  // Worked out by hand. With every si_perc figure 50: epswavg = floor((2·50 + 2·50 + 50) / 5)
  // = 50, and so on for each weighted figure. instpratio = floor(100 · 30 / 60) = 50. A rising
  // line gains 1,000 a day: accdist = floor((0.2·65000 + 0.4·52000 + 0.6·39000 + 0.8·26000 +
  // 13000) / 3) = floor(30333.3) = 30333; falling gives floor(−30333.3) = −30334. Fewer than
  // 99 entries: every percentile is 1, so rscore = floor((2 + 1 + 1 + 1 + 1 + 1 + 1) / 8) = 1,
  // but 0 for HHH whose industry percentile is 0.
  struct Expected {
    const char* ticker;
    double epswavg, npmwavg, smrwavg, opmwavg, instpratio, accdist, indrs, compindrs, rscore;
  };
  for (const Expected& e : {
           Expected{"AAA", 50, 50, 50, 50, 50, 30333, 70, 1, 1},
           Expected{"BBB", 50, 0, 0, 50, 50, 30333, 70, 1, 1},    // Null rnpm_12m
           Expected{"CCC", 50, 50, 50, 50, 0, -30334, 35, 1, 1},  // instss 0, falling prices
           Expected{"EEE", 50, 50, 50, 50, 50, 30333, 35, 1, 1},  // 66 days are enough
           Expected{"GGG", 0, 0, 0, 0, 50, 30333, 70, 1, 1},      // no si_perc row
           Expected{"HHH", 50, 50, 50, 50, 50, 30333, 0, 0, 0},   // unknown industry
           Expected{"O'K", 50, 50, 50, 50, 50, 30333, 70, 1, 1},
       }) {
    ASSERT_TRUE(rows.count(e.ticker)) << e.ticker;
    const auto& row = rows.at(e.ticker);
    EXPECT_EQ(Number(row.at("epswavg")), e.epswavg) << e.ticker;
    EXPECT_EQ(Number(row.at("npmwavg")), e.npmwavg) << e.ticker;
    EXPECT_EQ(Number(row.at("smrwavg")), e.smrwavg) << e.ticker;
    EXPECT_EQ(Number(row.at("opmwavg")), e.opmwavg) << e.ticker;
    EXPECT_EQ(Number(row.at("instpratio")), e.instpratio) << e.ticker;
    EXPECT_EQ(Number(row.at("accdist")), e.accdist) << e.ticker;
    EXPECT_EQ(Number(row.at("indrs")), e.indrs) << e.ticker;
    EXPECT_EQ(Number(row.at("compindrs")), e.compindrs) << e.ticker;
    EXPECT_EQ(Number(row.at("rscore")), e.rscore) << e.ticker;
    EXPECT_EQ(Number(row.at("composite")), 1) << e.ticker;
    for (const char* p : {"compeps", "comprs", "compsmr", "compinst", "compipurch", "compacdst"}) {
      EXPECT_EQ(Number(row.at(p)), 1) << e.ticker << " " << p;
    }
  }
  EXPECT_EQ(automation::CStr(rows.at("O'K").at("company_id")).substr(0, 3), "C'9");
}

TEST_P(CalcCompositesTest, AFailedRunLeavesThePreviousTable) {
  CalcComposites(std::make_shared<testing_support::RecordingTasks>());
  const auto before = StoredRows();
  ASSERT_EQ(before.size(), 7u);

  // The next run's last statement cannot succeed: the index name is taken by a table.
  dbf_->Execute("update si_perc set repsdc_g1t = 1");
  ledra_->Execute("drop index si_compositeTicker");
  ledra_->Execute("create table si_compositeTicker (x int)");
  auto tasks = std::make_shared<testing_support::RecordingTasks>();
  EXPECT_NE(testing_support::ErrorNumberOf([&] { CalcComposites(tasks); }), 0);
  EXPECT_EQ(tasks->done, 0);
  EXPECT_EQ(StoredRows(), before);

  // Once the obstacle is gone, a run replaces the table.
  ledra_->Execute("drop table si_compositeTicker");
  CalcComposites(std::make_shared<testing_support::RecordingTasks>());
  EXPECT_EQ(Number(StoredRows().at("AAA").at("epswavg")), 30);  // floor((2·1 + 2·50 + 50) / 5)
}

// A run without its inputs as a whole ends before it touches si_composite, naming what is
// missing (without industries the progress bar would otherwise be given Max 0 under Min 1).
TEST_P(CalcCompositesTest, ARunWithoutItsInputsKeepsThePreviousTable) {
  CalcComposites(std::make_shared<testing_support::RecordingTasks>());
  const auto before = StoredRows();
  ASSERT_EQ(before.size(), 7u);

  struct Case {
    std::shared_ptr<ado::Connection> db;
    const char* emptied;  // a table emptied for the case, or none: no ticker has prices
    const char* named;
  };
  for (const Case& c : {Case{dbf_, "si_mgav2", "si_mgav2 has no industries"},
                        Case{static_, "si_ci", "si_ci has no companies"},
                        Case{nullptr, nullptr, "no company could be rated"}}) {
    auto store = tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());
    if (c.emptied) {
      c.db->Execute(std::string("create table kept as select * from ") + c.emptied);
      c.db->Execute(std::string("delete from ") + c.emptied);
    } else {
      for (const Row& row : kWorld) store->UpsertSecurity(row.ticker, row.ticker, false);
    }
    auto tasks = std::make_shared<testing_support::RecordingTasks>();
    try {
      CalcComposites(tasks);
      ADD_FAILURE() << c.named << ": the run did not fail";
    } catch (const automation::Error& e) {
      EXPECT_EQ(e.Number(), automation::err::kInvalidArgument) << e.what();
      EXPECT_NE(e.Description().find(c.named), std::string::npos) << e.what();
      EXPECT_NE(e.Description().find("si_composite is left as it was"), std::string::npos);
    }
    EXPECT_EQ(tasks->done, 0) << c.named;
    EXPECT_EQ(StoredRows(), before) << c.named;
    if (c.emptied) {
      c.db->Execute(std::string("insert into ") + c.emptied + " select * from kept");
      c.db->Execute("drop table kept");
    } else {
      for (const Row& row : kWorld) store->UpsertSecurity(row.ticker, row.ticker, true);
    }
  }
}

// Percentile ranks dealt out by the literal procedure: an exchange sort of the values in the
// order given, then floor(n / 99) entries to each rank from 1, the rest getting 99.
std::vector<int32_t> LiteralPercentiles(const std::vector<std::optional<double>>& given) {
  const size_t n = given.size();
  std::vector<std::optional<double>> values = given;
  std::vector<size_t> order(n);
  for (size_t i = 0; i < n; ++i) order[i] = i;
  for (size_t i = 0; i + 1 < n; ++i) {
    for (size_t j = i + 1; j < n; ++j) {
      if (values[i] && values[j] && *values[i] > *values[j]) {
        std::swap(values[i], values[j]);
        std::swap(order[i], order[j]);
      }
    }
  }
  std::vector<int32_t> ranks(n);
  const int64_t bucket = static_cast<int64_t>(n / 99);
  int64_t left = bucket;
  int32_t rank = 1;
  for (size_t k = 0; k < n; ++k) {
    ranks[order[k]] = rank;
    if (--left == 0) {
      rank = std::min(rank + 1, 99);
      left = bucket;
    }
  }
  return ranks;
}

// 200 companies over 120 industries with figures drawn from a fixed sequence (Nulls, empty
// share figures, unknown industries and falling prices among them).
class CalcCompositesOver200Test : public CalcCompositesTest {
 protected:
  // 1..99 from a fixed linear congruential sequence.
  int32_t Draw() {
    seed_ = seed_ * 1103515245u + 12345u;
    return static_cast<int32_t>((seed_ >> 16) % 99) + 1;
  }

  void Populate() override {
    // An industry's four strengths are equal, so its "indrs" is that value; I017 has none.
    for (int i = 0; i < 120; ++i) {
      const std::optional<double> rs = i == 17 ? std::nullopt : std::optional<double>(Draw());
      const Variant v = rs ? Variant(*rs) : Variant::Null();
      dbf_->Execute("insert into si_mgav2 values (?, ?, ?, ?, ?)",
                    {Variant(fmt::format("I{:03}", i)), v, v, v, v});
      industry_rs_.push_back(rs);
    }
    auto store = tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());
    for (int i = 0; i < 200; ++i) {
      const std::string ticker = fmt::format("T{:03}", i), id = fmt::format("K{:03}", i);
      std::string marks = "?";
      std::vector<Variant> perc{Variant(id)};
      for (const char* column : kPercColumns) {
        const std::string name = column;
        const bool null = (name == "rnpm_12m" && i % 17 == 3) ||
                          (name == "rrs_04w" && i % 23 == 5) || (name == "ropm_y2" && i % 19 == 7);
        perc.push_back(null ? Variant::Null() : Variant(static_cast<double>(Draw())));
        marks += ", ?";
      }
      dbf_->Execute("insert into si_perc values (" + marks + ")", perc);
      dbf_->Execute("insert into si_psd values (?, ?, ?)",
                    {Variant(id), Variant(static_cast<double>(Draw())),
                     Variant(i % 13 == 0 ? 0.0 : static_cast<double>(Draw()))});
      // I120 .. I124 are unknown.
      static_->Execute("insert into si_ci values (?, ?, ?)",
                       {Variant(id), Variant(ticker), Variant(fmt::format("I{:03}", i % 125))});
      store->ReplaceBars(store->UpsertSecurity(ticker, ticker, true),
                         Bars(100, i % 4 != 1, 101 + 3 * i));
      industry_of_.push_back(i % 125);
    }
  }

  std::vector<std::optional<double>> industry_rs_;
  std::vector<int> industry_of_;  // per company in ticker order, the order of the run
  uint32_t seed_ = 20261208;
};

// The ranks, the rscore weights and the composite rank, worked out here from the raw
// figures the run stored (their formulas are checked on the hand-built world).
TEST_P(CalcCompositesOver200Test, RanksAndScoresMatchTheLiteralProcedure) {
  auto tasks = std::make_shared<testing_support::RecordingTasks>();
  CalcComposites(tasks);
  ASSERT_EQ(tasks->done, 1);
  const auto rows = StoredRows();  // by ticker, so in the run's order
  ASSERT_EQ(rows.size(), industry_of_.size());

  auto column = [&](const char* name) {
    std::vector<std::optional<double>> values;
    for (const auto& [ticker, row] : rows) {
      const Variant& v = row.at(name);
      values.push_back(v.IsNull() ? std::nullopt : std::optional<double>(Number(v)));
    }
    return values;
  };
  auto expect_column = [&](const char* name, const std::vector<int32_t>& expected) {
    size_t i = 0;
    for (const auto& [ticker, row] : rows) {
      EXPECT_EQ(Number(row.at(name)), expected[i++]) << ticker << " " << name;
    }
  };
  // The figures are spread, so the ranks are not all alike.
  for (const char* name : {"epswavg", "smrwavg", "instpratio", "accdist"}) {
    const auto values = column(name);
    EXPECT_GT(std::set<std::optional<double>>(values.begin(), values.end()).size(), 40u) << name;
  }

  std::map<std::string, std::vector<int32_t>> ranks;
  for (const auto& [source, target] : {std::pair{"epswavg", "compeps"},
                                       {"rswavg", "comprs"},
                                       {"smrwavg", "compsmr"},
                                       {"instwavg", "compinst"},
                                       {"instpratio", "compipurch"},
                                       {"accdist", "compacdst"}}) {
    ranks[target] = LiteralPercentiles(column(source));
    expect_column(target, ranks[target]);
  }
  const std::vector<int32_t> industry_ranks = LiteralPercentiles(industry_rs_);
  for (int industry : industry_of_) {
    ranks["compindrs"].push_back(industry < 120 ? industry_ranks[industry] : 0);
  }
  expect_column("compindrs", ranks["compindrs"]);

  std::vector<std::optional<double>> rscore;
  std::vector<int32_t> whole_rscore;
  for (size_t i = 0; i < industry_of_.size(); ++i) {
    const int32_t sum = 2 * ranks["compeps"][i] + ranks["compacdst"][i] + ranks["comprs"][i] +
                        ranks["compsmr"][i] + ranks["compinst"][i] + ranks["compipurch"][i] +
                        ranks["compindrs"][i];
    whole_rscore.push_back(sum / 8);  // whole numbers: division rounds down
    rscore.push_back(sum / 8);
  }
  expect_column("rscore", whole_rscore);
  const std::vector<int32_t> composite = LiteralPercentiles(rscore);
  expect_column("composite", composite);
  EXPECT_GT(std::set<int32_t>(composite.begin(), composite.end()).size(), 90u);
}

// The batch runs read their company tables whole and find each company's row in memory:
// the answers must be those of a query by company_id.
class CompanyRowsTest : public testing_support::EngineTest {
 protected:
  void SetUp() override {
    if (!UseDataSources({"SIPDbf"})) GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
    db_ = sources_->Open("SIPDbf");
    db_->Execute(
        "create table si_x (company_id char(10), a double precision, b double precision, "
        "c varchar(20))");
    for (const char* row : {"'C1', 1, 2, 'x'", "'C2', 3, NULL, 'y'", "NULL, 5, 6, 'z'"}) {
      db_->Execute(std::string("insert into si_x values (") + row + ")");
    }
  }

  std::shared_ptr<ado::Connection> db_;
};

TEST_P(CompanyRowsTest, AnswerAsAQueryByCompanyIdWould) {
  const CompanyRows all(helpers::OpenRecordset(db_, "select * from si_x"));
  const CompanyRows some = CompanyRows::Read(db_, "si_x", {"a", "nothere"});
  for (const CompanyRows* rows : {&all, &some}) {
    EXPECT_EQ(rows->Row("C1")["a"], 1.0);
    EXPECT_EQ(rows->Row("C1")["A"], 1.0);  // field names without regard to case
    EXPECT_EQ(automation::CDbl(rows->Row("C2").Field("a")), 3.0);
    // No company, and a Null company_id matches no id, not even an empty one: every figure
    // of a missing row is Null, even of a column no table has.
    for (const char* id : {"C3", "", "c1"}) {
      EXPECT_TRUE(rows->Row(id).missing()) << id;
      EXPECT_EQ(rows->Row(id)["nothere"], std::nullopt) << id;
    }
    EXPECT_EQ(testing_support::ErrorNumberOf([&] { (void)rows->Row("C1")["nothere"]; }),
              ado::errors::kItemNotFound);
  }
  EXPECT_EQ(all.Row("C2")["b"], std::nullopt);
  EXPECT_EQ(automation::CStr(all.Row("C2").Field("c")), "y");
  // Columns not kept are not there to read.
  EXPECT_EQ(testing_support::ErrorNumberOf([&] { (void)some.Row("C1")["b"]; }),
            ado::errors::kItemNotFound);
}

INSTANTIATE_TEST_SUITE_P(Engines, CompanyRowsTest, testing_support::BothEngines(),
                         testing_support::EngineParamName());

INSTANTIATE_TEST_SUITE_P(Engines, CalcCompositesOver200Test, testing_support::BothEngines(),
                         testing_support::EngineParamName());

INSTANTIATE_TEST_SUITE_P(Engines, CalcCompositesTest, testing_support::BothEngines(),
                         testing_support::EngineParamName());

}  // namespace
}  // namespace kestrova
