#include "ocx/calccomp.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

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

class CalcCompositesTest : public ::testing::TestWithParam<TestEngine> {
 protected:
  void SetUp() override {
    sources_ = std::make_unique<testing_support::ScopedTestDataSources>(
        GetParam(), std::vector<std::string>{"SIPStatic", "SIPDbf", "Ledra"});
    if (!sources_->available()) GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
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
      std::string ticker = automation::CStr(rows->Field("ticker"));
      while (!ticker.empty() && ticker.back() == ' ') ticker.pop_back();  // CHAR(10) pads
      auto& row = result[ticker];
      for (int32_t i = 0; i < rows->FieldCount(); ++i) row[rows->FieldName(i)] = rows->Field(i);
    }
    return result;
  }

  static constexpr const char* kPercColumns[] = {
      "repsdc_g1t", "repsdc_g1f", "repsdc_g3f", "rrs_04w",  "rrs_13w", "rrs_26w",   "rrs_52w",
      "rsales_g1t", "rsales_g1f", "rsales_g3f", "ropm_12m", "ropm_y1", "ropm_y2",   "rnpm_12m",
      "rnpm_y1",    "rnpm_y2",    "rroe_12m",   "rroe_y1",  "rroe_y2", "rshrinstn", "rshrinst"};

  testing_support::ScopedTempHome home_;
  std::unique_ptr<testing_support::ScopedTestDataSources> sources_;
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
// share figures, unknown industries and falling prices among them), every stored column
// checked against figures worked out here.
class CalcCompositesOver200Test : public CalcCompositesTest {
 protected:
  static constexpr int kCompanies = 200;
  static constexpr int kIndustries = 120;

  struct Company {
    std::string ticker, company_id, indcode;
    std::map<std::string, std::optional<double>> perc;
    double instps = 0, instss = 0;
    double volume = 0;
    bool rising = true;
  };

  // 1..99 from a fixed linear congruential sequence.
  int32_t Draw() {
    seed_ = seed_ * 1103515245u + 12345u;
    return static_cast<int32_t>((seed_ >> 16) % 99) + 1;
  }

  void Populate() override {
    for (int i = 0; i < kIndustries; ++i) {
      const std::string code = fmt::format("I{:03}", i);
      std::vector<Variant> values{Variant(code)};
      std::vector<std::optional<double>> rs;
      for (int k = 0; k < 4; ++k)
        rs.push_back(i == 17 && k == 3 ? std::nullopt : std::optional<double>(Draw()));
      for (const auto& v : rs) values.push_back(v ? Variant(*v) : Variant::Null());
      dbf_->Execute("insert into si_mgav2 values (?, ?, ?, ?, ?)", values);
      industries_.push_back({code, rs});
    }
    auto store = tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());
    for (int i = 0; i < kCompanies; ++i) {
      Company c;
      c.ticker = fmt::format("T{:03}", i);
      c.company_id = fmt::format("K{:03}", i);
      c.indcode = fmt::format("I{:03}", i % 125);  // I120 .. I124 are unknown
      std::string marks = "?";
      std::vector<Variant> values{Variant(c.company_id)};
      for (const char* column : kPercColumns) {
        const std::string name = column;
        std::optional<double> v = Draw();
        if ((name == "rnpm_12m" && i % 17 == 3) || (name == "rrs_04w" && i % 23 == 5) ||
            (name == "ropm_y2" && i % 19 == 7)) {
          v.reset();
        }
        c.perc[name] = v;
        values.push_back(v ? Variant(*v) : Variant::Null());
        marks += ", ?";
      }
      dbf_->Execute("insert into si_perc values (" + marks + ")", values);
      c.instps = Draw();
      c.instss = i % 13 == 0 ? 0 : Draw();
      dbf_->Execute("insert into si_psd values (?, ?, ?)",
                    {Variant(c.company_id), Variant(c.instps), Variant(c.instss)});
      static_->Execute("insert into si_ci values (?, ?, ?)",
                       {Variant(c.company_id), Variant(c.ticker), Variant(c.indcode)});
      // Volumes of 2 mod 3 keep 91 · volume / 3 off whole numbers, so its floor is exact.
      c.volume = 101 + 3 * i;
      c.rising = i % 4 != 1;
      store->ReplaceBars(store->UpsertSecurity(c.ticker, c.ticker, true),
                         Bars(100, c.rising, static_cast<int32_t>(c.volume)));
      companies_.push_back(std::move(c));
    }
  }

  std::vector<std::pair<std::string, std::vector<std::optional<double>>>> industries_;
  std::vector<Company> companies_;  // in ticker order, the order of the run
  uint32_t seed_ = 20261208;
};

// floor(Σ weight · value / divisor); Null when a value is.
std::optional<double> Weighted(const std::vector<std::pair<double, std::optional<double>>>& terms,
                               double divisor) {
  double sum = 0;
  for (const auto& [weight, value] : terms) {
    if (!value) return std::nullopt;
    sum += weight * *value;
  }
  return std::floor(sum / divisor);
}

TEST_P(CalcCompositesOver200Test, EveryColumnMatchesFiguresWorkedOutIndependently) {
  auto tasks = std::make_shared<testing_support::RecordingTasks>();
  CalcComposites(tasks);
  ASSERT_EQ(tasks->done, 1);

  // Industries: strength, then its percentile among industries (the one with a Null
  // strength keeps its place in the sort).
  std::vector<std::optional<double>> indrs;
  for (const auto& [code, rs] : industries_) {
    indrs.push_back(Weighted({{4, rs[0]}, {3, rs[1]}, {2, rs[2]}, {1, rs[3]}}, 10));
  }
  const std::vector<int32_t> compindrs = LiteralPercentiles(indrs);
  std::map<std::string, size_t> industry_at;
  for (size_t k = 0; k < industries_.size(); ++k) industry_at[industries_[k].first] = k;

  // Raw figures per company, Nulls replaced by 0 as each figure is made.
  using Column = std::vector<std::optional<double>>;
  std::map<std::string, Column> raw;
  std::vector<int32_t> company_compindrs;
  for (const Company& c : companies_) {
    auto p = [&](const char* name) { return c.perc.at(name); };
    auto zero = [](std::optional<double> v) { return std::optional<double>(v.value_or(0)); };
    raw["epswavg"].push_back(
        zero(Weighted({{2, p("repsdc_g1t")}, {2, p("repsdc_g1f")}, {1, p("repsdc_g3f")}}, 5)));
    raw["rswavg"].push_back(zero(Weighted(
        {{4, p("rrs_04w")}, {3, p("rrs_13w")}, {2, p("rrs_26w")}, {1, p("rrs_52w")}}, 10)));
    raw["saleswavg"].push_back(
        zero(Weighted({{3, p("rsales_g1t")}, {2, p("rsales_g1f")}, {1, p("rsales_g3f")}}, 6)));
    const auto opm = zero(Weighted({{3, p("ropm_12m")}, {2, p("ropm_y1")}, {1, p("ropm_y2")}}, 6));
    const auto npm = Weighted({{3, p("rnpm_12m")}, {2, p("rnpm_y1")}, {1, p("rnpm_y2")}}, 6);
    const auto roe = Weighted({{3, p("rroe_12m")}, {2, p("rroe_y1")}, {1, p("rroe_y2")}}, 6);
    raw["opmwavg"].push_back(opm);
    raw["npmwavg"].push_back(zero(npm));
    raw["roewavg"].push_back(zero(roe));
    raw["smrwavg"].push_back(zero(Weighted({{2, roe}, {1, opm}, {1, npm}}, 4)));
    raw["instwavg"].push_back(zero(Weighted({{1, p("rshrinstn")}, {1, p("rshrinst")}}, 2)));
    raw["instpratio"].push_back(c.instss == 0 ? 0 : std::floor(100 * c.instps / c.instss));
    // The accumulation line moves by the whole volume each day: the changes over 65, 52, 39,
    // 26 and 13 days weigh 0.2, 0.4, 0.6, 0.8 and 1, so the trend is ±91 · volume / 3.
    raw["accdist"].push_back(std::floor((c.rising ? 91 : -91) * c.volume / 3));
    auto industry = industry_at.find(c.indcode);
    raw["indrs"].push_back(industry == industry_at.end() ? std::optional<double>(0)
                                                         : indrs[industry->second]);
    company_compindrs.push_back(industry == industry_at.end() ? 0 : compindrs[industry->second]);
  }
  std::map<std::string, std::vector<int32_t>> ranks;
  for (const auto& [source, target] : {std::pair{"epswavg", "compeps"},
                                       {"rswavg", "comprs"},
                                       {"smrwavg", "compsmr"},
                                       {"instwavg", "compinst"},
                                       {"instpratio", "compipurch"},
                                       {"accdist", "compacdst"}}) {
    ranks[target] = LiteralPercentiles(raw[source]);
  }
  ranks["compindrs"] = company_compindrs;
  Column rscore;
  for (size_t i = 0; i < companies_.size(); ++i) {
    rscore.push_back(std::floor((2.0 * ranks["compeps"][i] + ranks["compacdst"][i] +
                                 ranks["comprs"][i] + ranks["compsmr"][i] + ranks["compinst"][i] +
                                 ranks["compipurch"][i] + ranks["compindrs"][i]) /
                                8));
  }
  raw["rscore"] = rscore;
  ranks["composite"] = LiteralPercentiles(rscore);

  // The draws spread the ranks over the whole scale.
  std::set<int32_t> composites(ranks["composite"].begin(), ranks["composite"].end());
  EXPECT_GT(composites.size(), 90u);

  const auto rows = StoredRows();
  ASSERT_EQ(rows.size(), companies_.size());
  for (size_t i = 0; i < companies_.size(); ++i) {
    const Company& c = companies_[i];
    ASSERT_TRUE(rows.count(c.ticker)) << c.ticker;
    const auto& row = rows.at(c.ticker);
    for (const auto& [column, values] : raw) {
      const Variant& stored = row.at(column);
      if (!values[i]) {
        EXPECT_TRUE(stored.IsNull()) << c.ticker << " " << column;
      } else {
        EXPECT_EQ(Number(stored), *values[i]) << c.ticker << " " << column;
      }
    }
    for (const auto& [column, values] : ranks) {
      EXPECT_EQ(Number(row.at(column)), values[i]) << c.ticker << " " << column;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, CalcCompositesOver200Test,
                         ::testing::Values(TestEngine::kSqlite, TestEngine::kPostgres),
                         [](const auto& info) { return testing_support::EngineName(info.param); });

INSTANTIATE_TEST_SUITE_P(Engines, CalcCompositesTest,
                         ::testing::Values(TestEngine::kSqlite, TestEngine::kPostgres),
                         [](const auto& info) { return testing_support::EngineName(info.param); });

}  // namespace
}  // namespace kestrova
