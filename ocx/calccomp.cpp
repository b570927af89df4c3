#include "ocx/calccomp.h"

#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <fmt/format.h>

#include "ocx/CompanyFigures.h"
#include "ocx/Percentiles.h"
#include "ocx/TaskReporter.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"
#include "platform/ado/SystemDatabase.h"
#include "platform/ado/Transaction.h"
#include "platform/automation/Convert.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/helpers/library.h"

namespace kestrova {

namespace {

using automation::Variant;

struct Industry {
  std::string indcode;
  Figure indrs;
  int32_t compindrs = 0;
};

// One company's record; the percentiles are filled in by the passes after the averages.
struct Company {
  std::string ticker, company_id, indcode;
  Figure epswavg, rswavg, saleswavg, opmwavg, npmwavg, roewavg, smrwavg, instwavg, instpratio;
  Figure indrs = 0.0;
  int32_t compindrs = 0;
  Figure accdist;
  int32_t compeps = 0, comprs = 0, compsmr = 0, compinst = 0, compipurch = 0, compacdst = 0;
  Figure rscore;
  int32_t composite = 0;
};

// Records in the order their keys were first added; a later record under the same key
// replaces the earlier one in its place.
template <class Record>
class OrderedRecords {
 public:
  Record& Put(const std::string& key, Record record) {
    auto [it, added] = index_.try_emplace(key, records_.size());
    if (added) {
      records_.push_back(std::move(record));
    } else {
      records_[it->second] = std::move(record);
    }
    return records_[it->second];
  }
  const Record* Find(const std::string& key) const {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &records_[it->second];
  }
  std::vector<Record>& records() { return records_; }
  const std::vector<Record>& records() const { return records_; }
  // Keeps the records for which `keep` is true, in order.
  template <class Predicate>
  void KeepIf(Predicate keep) {
    std::vector<Record> kept;
    index_.clear();
    for (Record& r : records_) {
      if (keep(r)) {
        index_[KeyOf(r)] = kept.size();
        kept.push_back(std::move(r));
      }
    }
    records_ = std::move(kept);
  }

 private:
  static const std::string& KeyOf(const Company& c) { return c.ticker; }
  static const std::string& KeyOf(const Industry& i) { return i.indcode; }

  std::vector<Record> records_;
  std::unordered_map<std::string, size_t> index_;
};

constexpr const char* kInsertComposite =
    "insert into si_composite  (company_id,ticker,indcode,composite,rscore,epswavg, "
    "compeps,rswavg,comprs,saleswavg,opmwavg,npmwavg, "
    "roewavg,smrwavg,compsmr,instwavg,compinst,instpratio, "
    "compipurch,accdist,compacdst,indrs,compindrs) "
    "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

Variant Stored(const Figure& f) { return f ? Variant(*f) : Variant::Null(); }
Variant Stored(int32_t percentile) { return Variant(static_cast<double>(percentile)); }

// The exchange-sort percentiles of one figure over all records, written back through `set`.
template <class Record>
void AssignPercentiles(std::vector<Record>& records, const std::string& source,
                       const std::function<Figure(const Record&)>& get,
                       const std::function<void(Record&, int32_t)>& set, TaskReporter& tasks) {
  tasks.Status("Assigning Percentiles: " + source);
  tasks.SetValue(1);
  const int32_t n = static_cast<int32_t>(records.size());
  tasks.SetRange(1, 2 * n + 2);
  std::vector<Figure> values;
  values.reserve(records.size());
  for (const Record& r : records) values.push_back(get(r));
  const std::vector<int32_t> percentiles = ExchangeSortPercentiles(
      values, [&](int64_t done) { tasks.SetValue(1 + static_cast<int32_t>(done)); });
  for (size_t i = 0; i < records.size(); ++i) set(records[i], percentiles[i]);
}

class CompositeRun {
 public:
  explicit CompositeRun(const automation::ObjectRef& control) : tasks_(control) {}

  void Run() {
    dbf_ = ado::Connection::OpenDataSource("SIPDbf");
    static_ = ado::Connection::OpenDataSource("SIPStatic");
    ledra_ = ado::Connection::OpenDataSource("Ledra");
    LoadIndustries();
    AssignPercentiles<Industry>(
        industries_.records(), "indrs", [](const Industry& i) { return i.indrs; },
        [](Industry& i, int32_t p) { i.compindrs = p; }, tasks_);
    LoadCompanies();
    CalcCompanyAverages();
    auto& companies = companies_.records();
    using Get = std::function<Figure(const Company&)>;
    using Set = std::function<void(Company&, int32_t)>;
    const std::vector<std::tuple<const char*, Get, Set>> passes = {
        {"epswavg", [](const Company& c) { return c.epswavg; },
         [](Company& c, int32_t p) { c.compeps = p; }},
        {"rswavg", [](const Company& c) { return c.rswavg; },
         [](Company& c, int32_t p) { c.comprs = p; }},
        {"smrwavg", [](const Company& c) { return c.smrwavg; },
         [](Company& c, int32_t p) { c.compsmr = p; }},
        {"instwavg", [](const Company& c) { return c.instwavg; },
         [](Company& c, int32_t p) { c.compinst = p; }},
        {"instpratio", [](const Company& c) { return c.instpratio; },
         [](Company& c, int32_t p) { c.compipurch = p; }},
        {"accdist", [](const Company& c) { return c.accdist; },
         [](Company& c, int32_t p) { c.compacdst = p; }},
    };
    for (const auto& [source, get, set] : passes) {
      AssignPercentiles<Company>(companies, source, get, set, tasks_);
    }
    for (Company& c : companies) {
      c.rscore = std::floor((2.0 * c.compeps + c.compacdst + c.comprs + c.compsmr + c.compinst +
                             c.compipurch + c.compindrs) /
                            8.0);
    }
    AssignPercentiles<Company>(
        companies, "rscore", [](const Company& c) { return c.rscore; },
        [](Company& c, int32_t p) { c.composite = p; }, tasks_);
    RebuildTable();

    tasks_.SetVisible(false);
    tasks_.Status(FinalStatus());
    tasks_.Done();
  }

 private:
  void LoadIndustries() {
    const auto rows = helpers::OpenRecordset(
        dbf_, "select indcode, rs_04w, rs_13w, rs_26w, rs_52w from si_mgav2 order by indcode");
    if (rows->RecordCount() == 0) {
      RefuseRun("si_mgav2 has no industries; si_composite is left as it was");
    }
    tasks_.SetVisible(true);
    tasks_.SetRange(1, rows->RecordCount());
    tasks_.SetValue(1);
    for (; !rows->EOF_(); rows->MoveNext()) {
      Industry industry;
      industry.indcode = TrimmedText(rows->Field("indcode"));
      industry.indrs = WeightedFloor({{4, FigureOf(rows->Field("rs_04w"))},
                                      {3, FigureOf(rows->Field("rs_13w"))},
                                      {2, FigureOf(rows->Field("rs_26w"))},
                                      {1, FigureOf(rows->Field("rs_52w"))}},
                                     10);
      const std::string key = industry.indcode;
      industries_.Put(key, std::move(industry));
    }
  }

  void LoadCompanies() {
    const auto rows = helpers::OpenRecordset(
        static_, "select company_id, ticker, ind_3_dig from si_ci order by ticker");
    if (rows->RecordCount() == 0)
      RefuseRun("si_ci has no companies; si_composite is left as it was");
    tasks_.SetRange(1, rows->RecordCount() + 1);
    tasks_.SetValue(1);
    tasks_.Status("Gathering Tickers");
    for (; !rows->EOF_(); rows->MoveNext()) {
      Company company;
      company.ticker = TrimmedText(rows->Field("ticker"));
      company.company_id = TrimmedText(rows->Field("company_id"));
      company.indcode = TrimmedText(rows->Field("ind_3_dig"));
      const std::string key = company.ticker;
      companies_.Put(key, std::move(company));
      tasks_.Step();
    }
  }

  void CalcCompanyAverages() {
    tasks_.Status("Calculating Composites");
    tasks_.SetValue(1);
    quotes_ = automation::CreateObject("Thalmere.Quotes");
    quotes_->Let("days", Variant(int32_t{100}));
    indicators_ = automation::CreateObject("Thalmere.Indicators");
    companies_.KeepIf([&](Company& c) {
      const bool rated = RateOrSkip(c);
      tasks_.Step();
      return rated;
    });
    if (companies_.records().empty()) {
      RefuseRun(
          "no company could be rated (none has prices for more than 65 days); si_composite is "
          "left as it was");
    }
  }

  // One company whose figures cannot be computed (a close of 0 under its accumulation line,
  // say) is left out with a status line; errors of the database end the run.
  bool RateOrSkip(Company& c) {
    try {
      return Rate(c);
    } catch (const automation::Error& e) {
      if (IsDatabaseError(e.Number())) throw;
      tasks_.Status("Could not rate " + c.ticker + ": " + e.Description());
      ++skipped_;
      return false;
    }
  }

  // Computes one company's figures; false when it cannot be rated.
  bool Rate(Company& c) {
    quotes_->Let("Symbol", Variant(c.ticker));
    // A ticker the price source does not know leaves the previous company's prices loaded:
    // it must not be rated on them.
    const bool known = !automation::CStr(quotes_->Get("Symbol")).empty();
    if (!known || automation::CLng(quotes_->Get("Count")) <= 65) {
      tasks_.Status("No quotes found for " + c.ticker);
      return false;
    }
    // The two tables are read whole, with the columns rated from, when the first company
    // needs them.
    if (!perc_) {
      perc_.emplace(CompanyRows::Read(
          dbf_, "si_perc",
          {"repsdc_g1t", "repsdc_g1f", "repsdc_g3f", "rrs_04w",    "rrs_13w",  "rrs_26w",
           "rrs_52w",    "rsales_g1t", "rsales_g1f", "rsales_g3f", "ropm_12m", "ropm_y1",
           "ropm_y2",    "rnpm_12m",   "rnpm_y1",    "rnpm_y2",    "rroe_12m", "rroe_y1",
           "rroe_y2",    "rshrinstn",  "rshrinst"}));
    }
    if (!psd_) psd_.emplace(CompanyRows::Read(dbf_, "si_psd", {"instps", "instss"}));
    const CompanyRow p = perc_->Row(c.company_id);
    const CompanyRow s = psd_->Row(c.company_id);
    bool affected = p.missing() || s.missing();

    c.epswavg = WeightedFloor({{2, p["repsdc_g1t"]}, {2, p["repsdc_g1f"]}, {1, p["repsdc_g3f"]}}, 5)
                    .value_or(0);
    c.rswavg = WeightedFloor(
                   {{4, p["rrs_04w"]}, {3, p["rrs_13w"]}, {2, p["rrs_26w"]}, {1, p["rrs_52w"]}}, 10)
                   .value_or(0);
    c.saleswavg =
        WeightedFloor({{3, p["rsales_g1t"]}, {2, p["rsales_g1f"]}, {1, p["rsales_g3f"]}}, 6)
            .value_or(0);
    c.opmwavg =
        WeightedFloor({{3, p["ropm_12m"]}, {2, p["ropm_y1"]}, {1, p["ropm_y2"]}}, 6).value_or(0);
    c.npmwavg = WeightedFloor({{3, p["rnpm_12m"]}, {2, p["rnpm_y1"]}, {1, p["rnpm_y2"]}}, 6);
    c.roewavg = WeightedFloor({{3, p["rroe_12m"]}, {2, p["rroe_y1"]}, {1, p["rroe_y2"]}}, 6);
    // The combined figure takes npmwavg and roewavg before their Nulls become 0: a Null
    // net margin or return on equity makes it 0.
    c.smrwavg = WeightedFloor({{2, c.roewavg}, {1, c.opmwavg}, {1, c.npmwavg}}, 4);
    c.npmwavg = c.npmwavg.value_or(0);
    c.roewavg = c.roewavg.value_or(0);
    c.smrwavg = c.smrwavg.value_or(0);
    c.instwavg = WeightedFloor({{1, p["rshrinstn"]}, {1, p["rshrinst"]}}, 2).value_or(0);
    // A Null share figure counts as no purchase ratio rather than ending the run.
    c.instpratio = 0.0;
    const Figure sold = s["instss"];
    if (sold && *sold != 0) c.instpratio = WeightedFloor({{100, s["instps"]}}, *sold).value_or(0);

    c.indrs = 0.0;
    c.compindrs = 0;
    if (const Industry* industry = industries_.Find(c.indcode)) {
      c.indrs = industry->indrs;
      c.compindrs = industry->compindrs;
    } else {
      affected = true;
    }

    c.accdist = AccDistTrend();
    if (affected) ++incomplete_;
    return true;
  }

  // The weighted mean of the accumulation/distribution line's changes over the last 13, 26,
  // 39, 52 and 65 entries.
  Figure AccDistTrend() {
    Variant q(quotes_);
    Variant args[] = {q};
    const automation::ObjectRef line = indicators_->Call("DMAccDist", args).Object();
    const float last = automation::CSng(line->Call("LastValue"));
    auto change = [&](int32_t back) -> double {
      // The difference is taken in single precision, the weighting in double.
      return static_cast<float>(last - automation::CSng(line->CallWith("Ref", -back)));
    };
    return std::floor(
        (0.2 * change(65) + 0.4 * change(52) + 0.6 * change(39) + 0.8 * change(26) + change(13)) /
        3);
  }

  // Drop, create, fill and index in one transaction: a failure leaves the old table.
  void RebuildTable() {
    ado::Connection& db = *ledra_;
    ado::Transaction transaction(db);
    ado::TryExecute(db, "drop TABLE si_composite");
    tasks_.Status("Creating Table");
    db.Execute(std::string(ado::system_schema::kCreateComposite));
    tasks_.Status("Loading Table");
    tasks_.SetValue(1);
    for (const Company& c : companies_.records()) {
      tasks_.Status("Loading " + c.ticker);
      db.Execute(
          kInsertComposite,
          {Variant(c.company_id), Variant(c.ticker),    Variant(c.indcode),   Stored(c.composite),
           Stored(c.rscore),      Stored(c.epswavg),    Stored(c.compeps),    Stored(c.rswavg),
           Stored(c.comprs),      Stored(c.saleswavg),  Stored(c.opmwavg),    Stored(c.npmwavg),
           Stored(c.roewavg),     Stored(c.smrwavg),    Stored(c.compsmr),    Stored(c.instwavg),
           Stored(c.compinst),    Stored(c.instpratio), Stored(c.compipurch), Stored(c.accdist),
           Stored(c.compacdst),   Stored(c.indrs),      Stored(c.compindrs)});
      tasks_.Step();
    }
    ado::TryExecute(db, "drop INDEX si_compositeMain");
    tasks_.Status("Creating Index Main");
    db.Execute(std::string(ado::system_schema::kCreateCompositeMainIndex));
    ado::TryExecute(db, "drop index si_compositeTicker");
    tasks_.Status("Creating Index Ticker");
    db.Execute(std::string(ado::system_schema::kCreateCompositeTickerIndex));
    transaction.Commit();
  }

  std::string FinalStatus() const {
    std::string status = "Done.";
    if (incomplete_ > 0) {
      status += fmt::format(
          " {} of {} companies were rated with figures missing (no si_perc or si_psd row, or "
          "an industry without relative strength).",
          incomplete_, companies_.records().size());
    }
    if (skipped_ > 0) status += fmt::format(" {} could not be rated.", skipped_);
    return status;
  }

  TaskReporter tasks_;
  std::shared_ptr<ado::Connection> dbf_, static_, ledra_;
  automation::ObjectRef quotes_, indicators_;
  std::optional<CompanyRows> perc_, psd_;  // si_perc and si_psd by company_id
  OrderedRecords<Industry> industries_;
  OrderedRecords<Company> companies_;
  int incomplete_ = 0;  // rated with some figures missing
  int skipped_ = 0;     // left out because their figures could not be computed
};

}  // namespace

void CalcComposites(const automation::ObjectRef& tasks) { CompositeRun(tasks).Run(); }

}  // namespace kestrova
