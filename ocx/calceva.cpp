#include "ocx/calceva.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ocx/BatchRun.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Convert.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/helpers/library.h"

namespace kestrova {

namespace {

using automation::Date;
using automation::Variant;

constexpr const char* kCreateEva =
    "create table si_eva (company_id CHAR(10), period CHAR(3), perend DATETIME, "
    "leva NUMERIC(12,2), ueva NUMERIC(12,2), mrp NUMERIC(12,3), rfr NUMERIC(12,3), "
    "beta NUMERIC(12,3),evaequity NUMERIC(12,2), totcap NUMERIC(12,2), "
    "evalnopat NUMERIC(12,2), evaunopat NUMERIC(12,2),interest NUMERIC(12,2), "
    "coe_rate NUMERIC(12,2), coe NUMERIC(12,2), coc NUMERIC(12,2), coc_rate NUMERIC(12,2), "
    "lroc NUMERIC(12,2), uroc NUMERIC(12,2), lpi NUMERIC(12,2), upi NUMERIC(12,2), "
    "evavi NUMERIC(12,2) )";

constexpr const char* kInsertEva =
    "insert into si_eva (company_id, period, perend, leva, ueva, mrp, rfr, beta,"
    "evaequity, totcap, evalnopat, evaunopat, interest, coe_rate, coe, "
    "coc, coc_rate, lroc, uroc, lpi, upi, evavi) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
    "?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ";

constexpr const char* kSelectBsa = "select * from si_bsa where company_id = ?";
constexpr const char* kSelectBsq = "select * from si_bsq where company_id = ?";
constexpr const char* kSelectIsa = "select * from si_isa where company_id = ?";
constexpr const char* kSelectIsq = "select * from si_isq where company_id = ?";
constexpr const char* kSelectDate = "select * from si_date where company_id = ?";
constexpr const char* kSelectPsd = "select * from si_psd where company_id = ?";

constexpr const char* kIndexSymbol = "SP-500";
constexpr const char* kRateSymbol = "TNX--X";
constexpr float kMarketRiskPremium = 0.07f;
// A price look-up tries the given day and the 14 after it.
constexpr int kPriceLookupDays = 15;

// A figure rounded to a Single as it is stored; beyond the Single range is error 6.
float ToSingle(double value, const char* figure) {
  if (!(std::fabs(value) <= std::numeric_limits<float>::max())) {
    throw automation::Error::WithDetail(
        automation::err::kOverflow,
        fmt::format("EVA: {} = {} leaves the Single range", figure, value));
  }
  return static_cast<float>(value);
}

float Ratio(float a, float b) { return helpers::SafeRatio(Variant(a), Variant(b)); }

// A statement field as a Single, Null counting as 0.
float Field(const ado::Recordset& rows, const std::string& name) {
  return helpers::NullToSingle(rows.Field(name));
}

// The value a figure is stored with: its shortest decimal form rounded half away from zero
// to the column's places, as the text form "0.00" (or "0.000") writes it.
double Rounded(float value, int places) {
  char text[128];
  const auto [end, ec] =
      std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::fixed);
  const std::string_view digits(text, ec == std::errc() ? static_cast<size_t>(end - text) : 0);
  const size_t point = digits.find('.');
  // Whole numbers (every Single from 2^24 up among them) need no rounding.
  if (digits.empty() || point == std::string_view::npos) return value;
  int64_t scaled = 0;
  for (char c : digits.substr(0, point)) scaled = scaled * 10 + (c - '0');
  const std::string_view fraction = digits.substr(point + 1);
  for (int k = 0; k < places; ++k) {
    scaled = scaled * 10 + (static_cast<size_t>(k) < fraction.size() ? fraction[k] - '0' : 0);
  }
  if (fraction.size() > static_cast<size_t>(places) && fraction[places] >= '5') ++scaled;
  if (scaled == 0) return 0;
  const double magnitude = static_cast<double>(scaled) / std::pow(10.0, places);
  return value < 0 ? -magnitude : magnitude;
}

// The figures of one si_eva row, in column order.
struct EvaFigures {
  float leva = 0, ueva = 0, mrp = 0, rfr = 0, beta = 0, evaequity = 0, totcap = 0;
  float evalnopat = 0, evaunopat = 0, interest = 0, coe_rate = 0, coe = 0, coc = 0;
  float coc_rate = 0, lroc = 0, uroc = 0, lpi = 0, upi = 0, evavi = 0;
};

// What a row is computed from besides the capital: one period's income statement figures
// and its average shares.
struct PeriodIncome {
  float interest = 0, dep = 0, gopinc = 0, inctax = 0, pti = 0, shares = 0;
};

// The figures that follow from beta, the risk-free rate, the capital at the start of the
// period, the period's income and the share price at its end.
EvaFigures ComputeFigures(float beta, float rfr, float evaequity, float totcap,
                          const PeriodIncome& in, float price) {
  EvaFigures f;
  f.beta = beta;
  f.mrp = kMarketRiskPremium;
  f.rfr = rfr;
  f.evaequity = evaequity;
  f.totcap = totcap;
  f.interest = in.interest;
  f.coe_rate = ToSingle(std::fabs(double{beta}) * f.mrp + rfr, "coe_rate");
  f.coe = ToSingle(double{f.coe_rate} * evaequity, "coe");
  f.coc = ToSingle(double{in.interest} + f.coe, "coc");
  f.coc_rate = ToSingle(double{Ratio(f.coc, totcap)} * 100, "coc_rate");
  const float t = Ratio(in.inctax, in.pti);  // the tax rate
  f.evaunopat =
      ToSingle((double{in.dep} + in.gopinc + in.interest) * (1 - double{t}) + double{in.dep} * t,
               "evaunopat");
  f.evalnopat = ToSingle(double{in.interest} * t + f.evaunopat, "evalnopat");
  f.leva = ToSingle(double{f.evalnopat} - f.coc, "leva");
  f.ueva = ToSingle(double{f.evaunopat} - f.coc, "ueva");
  f.lroc = Ratio(f.evalnopat, totcap);
  f.uroc = Ratio(f.evaunopat, totcap);
  f.lpi = Ratio(f.lroc, f.coc_rate);
  f.upi = Ratio(f.uroc, f.coc_rate);
  const float market_value = ToSingle(double{in.shares} * price - totcap, "the value index");
  f.evavi = Ratio(market_value, totcap);
  return f;
}

// One row of si_eva as computed, before it is written.
struct EvaRow {
  std::string company_id, period;
  Date perend;
  EvaFigures figures;
};

class EvaRun {
 public:
  explicit EvaRun(const automation::ObjectRef& control) : control_(control) {}

  void Run() {
    dbf_ = ado::Connection::OpenDataSource("SIPDbf");
    static_ = ado::Connection::OpenDataSource("SIPStatic");
    ledra_ = ado::Connection::OpenDataSource("Ledra");

    const auto companies =
        helpers::OpenRecordset(static_, "select company_id, ticker from si_ci order by ticker");
    if (companies->RecordCount() == 0) {
      RefuseRun("si_ci has no companies; si_eva is left as it was");
    }
    quotes_ = automation::CreateObject("Thalmere.Quotes");
    indicators_ = automation::CreateObject("Thalmere.Indicators");
    RequirePrices(kIndexSymbol, "beta");
    RequirePrices(kRateSymbol, "risk-free rate");

    // Every figure is computed before the system database is written to, so the write lock
    // is held only while the rows go in.
    tasks_.emplace(control_);
    tasks_->SetRange(1, companies->RecordCount() + 2);
    tasks_->SetValue(1);
    tasks_->SetVisible(true);
    for (; !companies->EOF_() && !companies->BOF_(); companies->MoveNext()) {
      CalcCompanyOrSkip(TrimmedText(companies->Field("company_id")),
                        TrimmedText(companies->Field("ticker")));
      tasks_->Step();
    }
    if (rows_.empty()) {
      RefuseRun(
          "no company of si_ci could be calculated (none is active in the price source with "
          "statements and a latest quarter date); si_eva is left as it was");
    }
    WriteTable();

    quotes_.reset();
    indicators_.reset();
    dbf_.reset();
    static_.reset();
    ledra_.reset();
    tasks_->SetVisible(false);
    tasks_->Status(FinalStatus());
    tasks_->Done();
  }

 private:
  // Every row of a run needs the index (beta) and the rate: without either series in the
  // price source the whole table would be wrong, so the run ends before it starts.
  void RequirePrices(const char* symbol, const char* figure) {
    quotes_->Let("days", Variant(int32_t{1}));
    quotes_->Let("Symbol", Variant(symbol));
    if (automation::CStr(quotes_->Get("Symbol")).empty() ||
        automation::CLng(quotes_->Get("Count")) < 1) {
      RefuseRun(fmt::format(
          "{} has no prices in the price source, so no {} can be computed; si_eva is left as it "
          "was",
          symbol, figure));
    }
  }

  // Drop, create, fill and index in one transaction: a failure leaves the old table.
  void WriteTable() {
    tasks_->Status("Writing si_eva");
    ado::Connection& db = *ledra_;
    db.BeginTrans();
    try {
      ExecuteIgnoringErrors(db, "drop table si_eva");
      db.Execute(kCreateEva);
      for (const EvaRow& row : rows_) Insert(row);
      ExecuteIgnoringErrors(db, "drop index si_EVAMain");
      db.Execute("create UNIQUE INDEX si_EVAMain on si_eva (company_id, period)");
      db.CommitTrans();
    } catch (...) {
      db.RollbackTrans();
      throw;
    }
  }

  // One company whose figures cannot be computed (a figure beyond the Single range, a beta
  // over a flat index) is left out with a status line, and the run goes on; errors of the
  // database end the run.
  void CalcCompanyOrSkip(const std::string& company_id, const std::string& ticker) {
    std::vector<EvaRow> rows;
    try {
      CalcCompany(company_id, ticker, rows);
    } catch (const automation::Error& e) {
      if (IsDatabaseError(e.Number())) throw;
      calculated_.erase(company_id);
      tasks_->Status("Could not calculate EVA for " + ticker + ": " + e.Description());
      ++failed_;
      return;
    }
    rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()),
                 std::make_move_iterator(rows.end()));
  }

  void CalcCompany(const std::string& company_id, const std::string& ticker,
                   std::vector<EvaRow>& rows) {
    // Two rows for one company and period would break the unique index: a company_id that
    // came under an earlier ticker has its rows already.
    if (auto earlier = calculated_.find(company_id); earlier != calculated_.end()) {
      tasks_->Status(fmt::format("Skipping {}: company {} was calculated for {}", ticker,
                                 company_id, earlier->second));
      ++duplicates_;
      return;
    }

    const Variant id(company_id);
    const auto bsa = helpers::OpenRecordset(static_, kSelectBsa, {id});
    const auto bsq = helpers::OpenRecordset(static_, kSelectBsq, {id});
    const auto isa = helpers::OpenRecordset(static_, kSelectIsa, {id});
    const auto isq = helpers::OpenRecordset(static_, kSelectIsq, {id});
    const auto dates = helpers::OpenRecordset(static_, kSelectDate, {id});
    const auto psd = helpers::OpenRecordset(dbf_, kSelectPsd, {id});

    Variant symbol[] = {Variant(ticker)};
    if (!automation::CBool(quotes_->Call("isActive", symbol))) return;
    for (const auto& table : {bsa, bsq, isa, isq, dates, psd}) {
      if (table->EOF_() || table->BOF_()) return;
    }
    const Variant& q1 = dates->Field("perend_q1");
    const Variant& q5 = dates->Field("perend_q5");
    if (q1.IsNull() || q5.IsNull()) return;
    const Date latest_quarter = automation::CDate(q1);
    const Date year_before = automation::CDate(q5);
    if (latest_quarter.value <= 0) return;

    tasks_->Status("Calculating EVA for " + ticker);
    calculated_.emplace(company_id, ticker);
    rows.push_back({company_id, "12m", latest_quarter,
                    TrailingYear(ticker, latest_quarter, year_before, *bsq, *isa, *psd)});

    for (int k = 1; k <= 6; ++k) {
      const std::string current = fmt::format("y{}", k);
      const std::string earlier = fmt::format("y{}", k + 1);
      const Variant& end = dates->Field("perend_" + current);
      const Variant& start = dates->Field("perend_" + earlier);
      if (end.IsNull() || start.IsNull()) break;
      const Date year_end = automation::CDate(end);
      const Date year_start = automation::CDate(start);
      const float beta = Beta(ticker, year_end, year_start);
      if (beta == 0) continue;
      rows.push_back(
          {company_id, current, year_end,
           Year(ticker, current, earlier, year_end, year_start, beta, *bsa, *isa, *psd)});
    }
  }

  // The trailing twelve months: capital averaged over the four quarter-ends before the
  // latest one, income from the twelve-month columns.
  EvaFigures TrailingYear(const std::string& ticker, Date q1, Date q5, const ado::Recordset& bsq,
                          const ado::Recordset& isa, const ado::Recordset& psd) {
    auto quarter_mean = [&](const char* stem, const char* figure) {
      double sum = 0;
      for (int q = 2; q <= 5; ++q) sum += Field(bsq, fmt::format("{}_q{}", stem, q));
      return ToSingle(sum / 4, figure);
    };
    const float debt = quarter_mean("ltdebt", "debt");
    const float pref = quarter_mean("pref", "pref");
    const float evaequity = quarter_mean("equity", "evaequity");
    const float totcap = ToSingle(double{pref} + debt + evaequity, "totcap");
    const PeriodIncome income = IncomeOf(isa, psd, "12m", "shr_aq1");
    const float rfr = ToSingle(ClosingPrice(kRateSymbol, q5) / 1000.0, "rfr");
    const float beta = Beta(ticker, q1, q5);  // the row is written even when it is 0
    const float price = ClosingPrice(ticker, q1);
    return ComputeFigures(beta, rfr, evaequity, totcap, income, price);
  }

  // Fiscal year `current`: capital at the end of the year before (`earlier`), income of the
  // year itself.
  EvaFigures Year(const std::string& ticker, const std::string& current, const std::string& earlier,
                  Date year_end, Date year_start, float beta, const ado::Recordset& bsa,
                  const ado::Recordset& isa, const ado::Recordset& psd) {
    const float rfr = ToSingle(ClosingPrice(kRateSymbol, year_start) / 1000.0, "rfr");
    const float evaequity = Field(bsa, "equity_" + earlier);
    const float totcap = ToSingle(
        double{Field(bsa, "ltdebt_" + earlier)} + Field(bsa, "pref_" + earlier) + evaequity,
        "totcap");
    const PeriodIncome income = IncomeOf(isa, psd, current, "shr_a" + current);
    const float price = ClosingPrice(ticker, year_end);
    return ComputeFigures(beta, rfr, evaequity, totcap, income, price);
  }

  static PeriodIncome IncomeOf(const ado::Recordset& isa, const ado::Recordset& psd,
                               const std::string& period, const std::string& shares) {
    PeriodIncome in;
    in.interest =
        ToSingle(double{Field(isa, "int_" + period)} + Field(isa, "intno_" + period), "interest");
    in.dep = Field(isa, "dep_" + period);
    in.gopinc = Field(isa, "gopinc_" + period);
    in.inctax = Field(isa, "inctax_" + period);
    in.pti = Field(isa, "pti_" + period);
    in.shares = Field(psd, shares);
    return in;
  }

  void Insert(const EvaRow& row) {
    const EvaFigures& f = row.figures;
    auto two = [](float v) { return Variant(Rounded(v, 2)); };
    auto three = [](float v) { return Variant(Rounded(v, 3)); };
    ledra_->Execute(kInsertEva, {Variant(row.company_id),
                                 Variant(row.period),
                                 Variant(row.perend),
                                 two(f.leva),
                                 two(f.ueva),
                                 three(f.mrp),
                                 three(f.rfr),
                                 three(f.beta),
                                 two(f.evaequity),
                                 two(f.totcap),
                                 two(f.evalnopat),
                                 two(f.evaunopat),
                                 two(f.interest),
                                 two(f.coe_rate),
                                 two(f.coe),
                                 two(f.coc),
                                 two(f.coc_rate),
                                 two(f.lroc),
                                 two(f.uroc),
                                 two(f.lpi),
                                 two(f.upi),
                                 two(f.evavi)});
  }

  // Points the shared Quotes object at a symbol; false when the price source does not know
  // it. Such a symbol loads nothing and would leave the previous symbol's prices in place.
  bool Load(const std::string& symbol) {
    quotes_->Let("Symbol", Variant(symbol));
    return !automation::CStr(quotes_->Get("Symbol")).empty();
  }

  automation::ObjectRef Closes() { return quotes_->CallWith("GetArray", "C").Object(); }

  // Beta of the symbol's closes against the index's over start .. end; 0 when either has no
  // prices there or the two series differ in length.
  float Beta(const std::string& symbol, Date end, Date start) {
    quotes_->Let("StartDate", Variant(start));
    quotes_->Let("EndDate", Variant(end));
    if (!Load(symbol) || automation::CLng(quotes_->Get("Count")) <= 0) return 0;
    const automation::ObjectRef stock = Closes();
    const automation::ObjectRef market = IndexCloses(end, start);
    if (!market) return 0;
    if (automation::CLng(stock->Get("Size")) != automation::CLng(market->Get("Size"))) return 0;
    Variant series[] = {Variant(market), Variant(stock)};
    return automation::CSng(indicators_->Call("Beta", series));
  }

  // The index's closes over start .. end (the Quotes object's window, set by the caller);
  // null when the price source does not know the index. Most companies share their period
  // ends, so each window is loaded once per run; the series are only read.
  automation::ObjectRef IndexCloses(Date end, Date start) {
    auto [cached, added] = index_closes_.try_emplace({start.value, end.value});
    if (added && Load(kIndexSymbol)) cached->second = Closes();
    return cached->second;
  }

  // The close of the first trading day on or after `day`, looking at most 14 days ahead; 0
  // when there is none. The rate's closes are the same for every company with the same
  // period ends, so they are looked up once per day.
  float ClosingPrice(const std::string& symbol, Date day) {
    if (symbol == kRateSymbol) {
      auto [cached, added] = rate_closes_.try_emplace(day.value);
      if (added) cached->second = LookUpClosingPrice(symbol, day);
      return cached->second;
    }
    return LookUpClosingPrice(symbol, day);
  }

  float LookUpClosingPrice(const std::string& symbol, Date day) {
    float price = 0;
    for (int tries = 0; tries < kPriceLookupDays && price == 0; ++tries) {
      quotes_->Let("StartDate", Variant(day));
      quotes_->Let("EndDate", Variant(day));
      if (!Load(symbol)) return 0;
      const automation::ObjectRef closes = Closes();
      if (automation::CLng(closes->Get("Size")) == 1) {
        price = automation::CSng(closes->Call("LastValue"));
      }
      day = automation::AddDays(day, 1);
    }
    return price;
  }

  std::string FinalStatus() const {
    std::string status = "EVA Update Done.";
    if (duplicates_ > 0) {
      status += fmt::format(" {} {} skipped: {} company_id was calculated under another ticker.",
                            duplicates_, duplicates_ == 1 ? "ticker" : "tickers",
                            duplicates_ == 1 ? "its" : "their");
    }
    if (failed_ > 0) {
      status += fmt::format(" {} {} could not be calculated.", failed_,
                            failed_ == 1 ? "company" : "companies");
    }
    return status;
  }

  automation::ObjectRef control_;
  std::optional<TaskReporter> tasks_;
  std::shared_ptr<ado::Connection> dbf_, static_, ledra_;
  automation::ObjectRef quotes_, indicators_;
  std::vector<EvaRow> rows_;                                 // in the order they are written
  std::unordered_map<std::string, std::string> calculated_;  // company_id → its ticker
  std::map<std::pair<double, double>, automation::ObjectRef> index_closes_;  // by window
  std::unordered_map<double, float> rate_closes_;                            // by day
  int duplicates_ = 0;
  int failed_ = 0;  // companies whose figures could not be computed
};

}  // namespace

void CalcEVA(const automation::ObjectRef& tasks) { EvaRun(tasks).Run(); }

}  // namespace kestrova
