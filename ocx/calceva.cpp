#include "ocx/calceva.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "ocx/CompanyFigures.h"
#include "ocx/TaskReporter.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"
#include "platform/ado/SystemDatabase.h"
#include "platform/ado/Transaction.h"
#include "platform/automation/Convert.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/helpers/library.h"

namespace kestrova {

namespace {

using automation::Date;
using automation::Variant;

constexpr const char* kInsertEva =
    "insert into si_eva (company_id, period, perend, leva, ueva, mrp, rfr, beta,"
    "evaequity, totcap, evalnopat, evaunopat, interest, coe_rate, coe, "
    "coc, coc_rate, lroc, uroc, lpi, upi, evavi) values ";
constexpr const char* kEvaRowMarks =
    "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
// Rows per insert statement: one statement (and on a server one round trip) for many rows,
// well inside every engine's limit on parameters.
constexpr size_t kRowsPerInsert = 40;

// The insert statement for `rows` rows.
std::string InsertEvaRows(size_t rows) {
  std::string sql = kInsertEva;
  for (size_t k = 0; k < rows; ++k) {
    if (k > 0) sql += ", ";
    sql += kEvaRowMarks;
  }
  return sql;
}

constexpr const char* kTableBsa = "si_bsa";
constexpr const char* kTableBsq = "si_bsq";
constexpr const char* kTableIsa = "si_isa";
constexpr const char* kTableIsq = "si_isq";
constexpr const char* kTableDate = "si_date";
constexpr const char* kTablePsd = "si_psd";

constexpr const char* kServerProgId = "TC2000Dev.cTC2000";
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
float Field(const CompanyRow& rows, const std::string& name) {
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

// The date code of a day (its time of day dropped); nullopt for a date that has none.
std::optional<int32_t> DayCode(Date day) {
  try {
    return helpers::LongFromDate(Date{std::floor(day.value)});
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// The daily closes of one symbol over a span of days, oldest first, as the price server
// handed them out in one call. Windows and look-ups inside the span are answered from memory.
struct Closes {
  std::vector<int32_t> dates;
  std::vector<float> values;

  // The entries dated first .. last (date codes, both included) as [begin, end) indices.
  std::pair<size_t, size_t> Between(int32_t first, int32_t last) const {
    const auto begin = std::lower_bound(dates.begin(), dates.end(), first);
    const auto end = std::upper_bound(begin, dates.end(), last);
    return {static_cast<size_t>(begin - dates.begin()), static_cast<size_t>(end - dates.begin())};
  }
  // The close dated `code`; nullptr when there is no entry that day.
  const float* On(int32_t code) const {
    const auto at = std::lower_bound(dates.begin(), dates.end(), code);
    return at != dates.end() && *at == code ? &values[static_cast<size_t>(at - dates.begin())]
                                            : nullptr;
  }
};

// Element `k` (from 0) of an array the server filled, read from its storage when it has the
// expected element type.
template <class T>
T ElementOf(const automation::SafeArray& array, size_t k) {
  if (const auto* v = std::get_if<std::vector<T>>(&array.storage())) return (*v)[k];
  const Variant element = array.Element(array.LowerBound() + static_cast<int32_t>(k));
  if constexpr (std::is_same_v<T, float>) {
    return automation::CSng(element);
  } else {
    return automation::CLng(element);
  }
}

// The price server, reached by ProgID, for the three questions the run asks: a symbol's
// Worden number, whether it is active, and its closes over a span of days in one call.
class PriceSource {
 public:
  PriceSource() : server_(automation::CreateObject(kServerProgId)) {}

  // 0 when the price source does not know the symbol.
  int32_t WordenOf(const std::string& symbol) {
    return automation::CLng(server_->CallWith("WordenNumFromSymbol", symbol));
  }
  bool IsActive(int32_t worden) {
    return automation::CBool(server_->CallWith("StockIsActive", worden));
  }
  // Every close of an active security dated first .. last; none for an inactive one.
  Closes Load(int32_t worden, int32_t first, int32_t last) {
    Closes result;
    if (first > last || !IsActive(worden)) return result;
    std::array<Variant, 9> args;
    args[0] = Variant(worden);
    args[7] = Variant(first);
    args[8] = Variant(last);
    server_->Call("GetPricesBetween", args);
    const automation::SafeArray& close = args[4].Array();
    const automation::SafeArray& dates = args[6].Array();
    const size_t n = std::min(close.Size(), dates.Size());
    result.dates.resize(n);
    result.values.resize(n);
    // The server hands out the newest day first.
    for (size_t k = 0; k < n; ++k) {
      result.values[n - 1 - k] = ElementOf<float>(close, k);
      result.dates[n - 1 - k] = ElementOf<int32_t>(dates, k);
    }
    return result;
  }

 private:
  automation::ObjectRef server_;
};

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
    prices_.emplace();
    indicators_ = automation::CreateObject("Thalmere.Indicators");
    index_ = RequirePrices(kIndexSymbol, "beta");
    rate_ = RequirePrices(kRateSymbol, "risk-free rate");

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

    prices_.reset();
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
  // price source the whole table would be wrong, so the run ends before it starts. Both are
  // read whole, once: every company looks them up on the same few days.
  Closes RequirePrices(const char* symbol, const char* figure) {
    const int32_t worden = prices_->WordenOf(symbol);
    Closes all;
    if (worden != 0) all = prices_->Load(worden, 0, std::numeric_limits<int32_t>::max());
    if (all.dates.empty()) {
      RefuseRun(fmt::format(
          "{} has no prices in the price source, so no {} can be computed; si_eva is left as it "
          "was",
          symbol, figure));
    }
    return all;
  }

  // Drop, create, fill and index in one transaction: a failure leaves the old table.
  void WriteTable() {
    tasks_->Status("Writing si_eva");
    ado::Connection& db = *ledra_;
    ado::Transaction transaction(db);
    ado::TryExecute(db, "drop table si_eva");
    db.Execute(std::string(ado::system_schema::kCreateEva));
    const std::string full = InsertEvaRows(kRowsPerInsert);
    std::vector<Variant> values;
    for (size_t first = 0; first < rows_.size(); first += kRowsPerInsert) {
      const size_t count = std::min(kRowsPerInsert, rows_.size() - first);
      values.clear();
      for (size_t k = first; k < first + count; ++k) AddValues(rows_[k], values);
      db.Execute(count == kRowsPerInsert ? full : InsertEvaRows(count), values);
    }
    ado::TryExecute(db, "drop index si_EVAMain");
    db.Execute(std::string(ado::system_schema::kCreateEvaMainIndex));
    transaction.Commit();
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

    if (!bsa_) ReadStatements();
    const CompanyRow bsa = bsa_->Row(company_id), bsq = bsq_->Row(company_id),
                     isa = isa_->Row(company_id), isq = isq_->Row(company_id),
                     dates = dates_->Row(company_id), psd = psd_->Row(company_id);

    const int32_t worden = prices_->WordenOf(ticker);
    if (worden == 0 || !prices_->IsActive(worden)) return;
    for (const CompanyRow* table : {&bsa, &bsq, &isa, &isq, &dates, &psd}) {
      if (table->missing()) return;
    }
    const Variant& q1 = dates.Field("perend_q1");
    const Variant& q5 = dates.Field("perend_q5");
    if (q1.IsNull() || q5.IsNull()) return;
    const Date latest_quarter = automation::CDate(q1);
    const Date year_before = automation::CDate(q5);
    if (latest_quarter.value <= 0) return;

    // The fiscal years, newest first, up to the first without both period ends.
    struct FiscalYear {
      std::string current, earlier;
      Date end, start;
    };
    std::vector<FiscalYear> years;
    for (int k = 1; k <= 6; ++k) {
      const std::string current = fmt::format("y{}", k);
      const std::string earlier = fmt::format("y{}", k + 1);
      const Variant& end = dates.Field("perend_" + current);
      const Variant& start = dates.Field("perend_" + earlier);
      if (end.IsNull() || start.IsNull()) break;
      years.push_back({current, earlier, automation::CDate(end), automation::CDate(start)});
    }

    tasks_->Status("Calculating EVA for " + ticker);
    calculated_.emplace(company_id, ticker);
    // The company's closes are read once, over every window and look-up of its rows.
    std::vector<Date> days = {latest_quarter, year_before};
    for (const FiscalYear& year : years) {
      days.push_back(year.end);
      days.push_back(year.start);
    }
    stock_ = LoadSpan(worden, days);

    rows.push_back({company_id, "12m", latest_quarter,
                    TrailingYear(latest_quarter, year_before, bsq, isa, psd)});
    for (const FiscalYear& year : years) {
      const float beta = Beta(year.end, year.start);
      if (beta == 0) continue;
      rows.push_back({company_id, year.current, year.end,
                      Year(year.current, year.earlier, year.end, year.start, beta, bsa, isa, psd)});
    }
  }

  // The closes of a security from the first of `days` to 14 days after the last of them: every
  // window and closing-price look-up on those days.
  Closes LoadSpan(int32_t worden, const std::vector<Date>& days) {
    std::optional<int32_t> first, last;
    for (const Date& day : days) {
      const auto from = DayCode(day);
      const auto to = DayCode(automation::AddDays(day, kPriceLookupDays - 1));
      if (from && (!first || *from < *first)) first = from;
      if (to && (!last || *to > *last)) last = to;
      if (from && (!last || *from > *last)) last = from;
    }
    if (!first || !last) return {};
    return prices_->Load(worden, *first, *last);
  }

  // The statement tables, each read whole in one query, with the columns the rows are
  // computed from.
  void ReadStatements() {
    auto columns = [](std::initializer_list<const char*> stems,
                      std::initializer_list<const char*> periods) {
      std::vector<std::string> names;
      for (const char* stem : stems) {
        for (const char* period : periods) names.push_back(std::string(stem) + period);
      }
      return names;
    };
    const auto earlier_years = {"y2", "y3", "y4", "y5", "y6", "y7"};
    const auto row_periods = {"12m", "y1", "y2", "y3", "y4", "y5", "y6"};
    bsa_.emplace(CompanyRows::Read(static_, kTableBsa,
                                   columns({"ltdebt_", "pref_", "equity_"}, earlier_years)));
    bsq_.emplace(CompanyRows::Read(
        static_, kTableBsq, columns({"ltdebt_", "pref_", "equity_"}, {"q2", "q3", "q4", "q5"})));
    isa_.emplace(CompanyRows::Read(
        static_, kTableIsa,
        columns({"int_", "intno_", "dep_", "gopinc_", "inctax_", "pti_"}, row_periods)));
    isq_.emplace(CompanyRows::Read(static_, kTableIsq, std::vector<std::string>{"company_id"}));
    dates_.emplace(CompanyRows::Read(
        static_, kTableDate,
        columns({"perend_"}, {"q1", "q5", "y1", "y2", "y3", "y4", "y5", "y6", "y7"})));
    psd_.emplace(CompanyRows::Read(dbf_, kTablePsd,
                                   columns({"shr_a"}, {"q1", "y1", "y2", "y3", "y4", "y5", "y6"})));
  }

  // The trailing twelve months: capital averaged over the four quarter-ends before the
  // latest one, income from the twelve-month columns.
  EvaFigures TrailingYear(Date q1, Date q5, const CompanyRow& bsq, const CompanyRow& isa,
                          const CompanyRow& psd) {
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
    const float rfr = ToSingle(ClosingPrice(rate_, q5) / 1000.0, "rfr");
    const float beta = Beta(q1, q5);  // the row is written even when it is 0
    const float price = ClosingPrice(stock_, q1);
    return ComputeFigures(beta, rfr, evaequity, totcap, income, price);
  }

  // Fiscal year `current`: capital at the end of the year before (`earlier`), income of the
  // year itself.
  EvaFigures Year(const std::string& current, const std::string& earlier, Date year_end,
                  Date year_start, float beta, const CompanyRow& bsa, const CompanyRow& isa,
                  const CompanyRow& psd) {
    const float rfr = ToSingle(ClosingPrice(rate_, year_start) / 1000.0, "rfr");
    const float evaequity = Field(bsa, "equity_" + earlier);
    const float totcap = ToSingle(
        double{Field(bsa, "ltdebt_" + earlier)} + Field(bsa, "pref_" + earlier) + evaequity,
        "totcap");
    const PeriodIncome income = IncomeOf(isa, psd, current, "shr_a" + current);
    const float price = ClosingPrice(stock_, year_end);
    return ComputeFigures(beta, rfr, evaequity, totcap, income, price);
  }

  static PeriodIncome IncomeOf(const CompanyRow& isa, const CompanyRow& psd,
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

  // The values of one row, in column order, as they are stored.
  static void AddValues(const EvaRow& row, std::vector<Variant>& values) {
    const EvaFigures& f = row.figures;
    auto two = [](float v) { return Variant(Rounded(v, 2)); };
    auto three = [](float v) { return Variant(Rounded(v, 3)); };
    values.insert(values.end(), {Variant(row.company_id),
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

  // A series object over entries [begin, end) of some closes, for the indicators.
  static automation::ObjectRef SeriesOf(const Closes& closes, std::pair<size_t, size_t> range) {
    automation::ObjectRef series = automation::CreateObject("Thalmere.PriceArray");
    if (range.second <= range.first) return series;
    const auto from = static_cast<std::ptrdiff_t>(range.first);
    const auto to = static_cast<std::ptrdiff_t>(range.second);
    std::vector<float> values(closes.values.begin() + from, closes.values.begin() + to);
    std::vector<int32_t> dates(closes.dates.begin() + from, closes.dates.begin() + to);
    series->Let("Prices", Variant(automation::SafeArray(std::move(values), 1)));
    series->Let("Dates", Variant(automation::SafeArray(std::move(dates), 1)));
    return series;
  }

  // The entries of `closes` inside the window start .. end, compared by whole days; none when
  // the window is empty or a day has no date code.
  static std::pair<size_t, size_t> Window(const Closes& closes, Date end, Date start) {
    if (std::floor(start.value) > std::floor(end.value)) return {0, 0};
    const auto first = DayCode(start);
    const auto last = DayCode(end);
    if (!first || !last) return {0, 0};
    return closes.Between(*first, *last);
  }

  // Beta of the company's closes against the index's over start .. end; 0 when the company
  // has no prices there or the two series differ in length.
  float Beta(Date end, Date start) {
    const auto window = Window(stock_, end, start);
    if (window.second <= window.first) return 0;
    const automation::ObjectRef market = IndexCloses(end, start);
    if (automation::CLng(market->Get("Size")) !=
        static_cast<int32_t>(window.second - window.first)) {
      return 0;
    }
    Variant series[] = {Variant(market), Variant(SeriesOf(stock_, window))};
    return automation::CSng(indicators_->Call("Beta", series));
  }

  // The index's closes over start .. end. Most companies share their period ends, so each
  // window's series is made once per run; the series are only read.
  automation::ObjectRef IndexCloses(Date end, Date start) {
    auto [cached, added] = index_closes_.try_emplace({start.value, end.value});
    if (added) cached->second = SeriesOf(index_, Window(index_, end, start));
    return cached->second;
  }

  // The close of the first trading day on or after `day`, looking at most 14 days ahead; a
  // close of 0 counts as none. 0 when there is none.
  static float ClosingPrice(const Closes& closes, Date day) {
    for (int tries = 0; tries < kPriceLookupDays; ++tries) {
      if (const auto code = DayCode(day)) {
        const float* close = closes.On(*code);
        if (close && *close != 0) return *close;
      }
      day = automation::AddDays(day, 1);
    }
    return 0;
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
  std::optional<CompanyRows> bsa_, bsq_, isa_, isq_, dates_, psd_;  // by company_id
  std::optional<PriceSource> prices_;
  automation::ObjectRef indicators_;
  Closes index_, rate_;       // the whole series of the index and the rate
  Closes stock_;              // the closes of the company being calculated
  std::vector<EvaRow> rows_;  // in the order they are written
  std::unordered_map<std::string, std::string> calculated_;  // company_id → its ticker
  std::map<std::pair<double, double>, automation::ObjectRef> index_closes_;  // by window
  int duplicates_ = 0;
  int failed_ = 0;  // companies whose figures could not be computed
};

}  // namespace

void CalcEVA(const automation::ObjectRef& tasks) { EvaRun(tasks).Run(); }

}  // namespace kestrova
