#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "demo/DemoFundamentals.h"
#include "demo/DemoFundamentalsData.h"
#include "demo/DemoRandom.h"
#include "platform/automation/DateCode.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/automation/Variant.h"
#include "platform/fundamentals/FundamentalsSchema.h"

namespace demo {

namespace {

using automation::Variant;
using namespace fundamentals_data;

// Rounded to `decimals` places; a value that is no finite number stays Null.
double Round(double value, int decimals) {
  if (!std::isfinite(value)) return kNull;
  const double scale = std::pow(10.0, decimals);
  const double rounded = std::round(value * scale) / scale;
  return rounded == 0 ? 0.0 : rounded;  // no "-0"
}
double Millions(double value) { return Round(value, 3); }  // to the thousand
double Cents(double value) { return Round(value, 2); }

// ---- Calendar

int32_t MonthEnd(int year, int month) {
  return automation::DateCode::Of(year, month, 1).MonthEnd().Code();
}

// The last day of the month `months` after (before, when negative) the month of the day.
int32_t MonthEndAfter(int32_t code, int months) {
  const automation::DateCode day(code);
  const int index = day.Year() * 12 + (day.Month() - 1) + months;
  return MonthEnd(index / 12, index % 12 + 1);
}

int MonthsBetween(int32_t from, int32_t to) {
  const automation::DateCode first(from), last(to);
  return (last.Year() - first.Year()) * 12 + (last.Month() - first.Month());
}

// ---- How companies of a sector do business

struct SectorProfile {
  std::string_view sector;
  double gross_margin, ebitda_margin, depreciation, capex;  // of sales
  double turnover;                                          // sales over assets
  double liabilities, fixed_assets;                         // of assets
  double debt_low, debt_high;  // long-term debt as a share of liabilities
  double dividend_chance, pe;
};

constexpr SectorProfile kProfiles[] = {
    {"Technology", 0.60, 0.22, 0.04, 0.05, 0.75, 0.45, 0.15, 0.25, 0.55, 0.35, 28},
    {"Health Care", 0.62, 0.20, 0.04, 0.04, 0.65, 0.50, 0.18, 0.25, 0.55, 0.40, 25},
    {"Financial", 0.65, 0.38, 0.02, 0.02, 0.10, 0.88, 0.03, 0.05, 0.20, 0.75, 13},
    {"Consumer Cyclical", 0.35, 0.12, 0.035, 0.045, 1.30, 0.60, 0.30, 0.25, 0.55, 0.45, 20},
    {"Consumer Staples", 0.38, 0.15, 0.03, 0.035, 1.10, 0.62, 0.30, 0.25, 0.55, 0.80, 21},
    {"Energy", 0.35, 0.25, 0.09, 0.12, 0.55, 0.55, 0.60, 0.30, 0.60, 0.65, 12},
    {"Industrials", 0.30, 0.15, 0.035, 0.04, 0.90, 0.60, 0.30, 0.25, 0.55, 0.60, 19},
    {"Materials", 0.28, 0.17, 0.05, 0.06, 0.80, 0.55, 0.40, 0.25, 0.55, 0.60, 16},
    {"Utilities", 0.45, 0.33, 0.11, 0.18, 0.30, 0.70, 0.70, 0.40, 0.65, 0.90, 17},
    {"Communication Services", 0.52, 0.28, 0.08, 0.10, 0.50, 0.60, 0.45, 0.30, 0.60, 0.40, 20},
};

// A sector of no known kind does business like an industrial one.
constexpr size_t kDefaultProfile = 6;

size_t ProfileIndex(const std::string& sector) {
  for (size_t i = 0; i < std::size(kProfiles); ++i) {
    if (kProfiles[i].sector == sector) return i;
  }
  return kDefaultProfile;
}

// Words of the business descriptions, in the order of kProfiles.
struct SectorWords {
  std::string_view verb;
  std::vector<std::string> offerings, customers;
};

const std::vector<SectorWords>& Words() {
  static const std::vector<SectorWords> kWords{
      {"develops",
       {"enterprise software", "cloud services", "data storage systems", "network equipment",
        "semiconductor devices", "analytics tools", "security software"},
       {"businesses", "government agencies", "telecom carriers", "consumers", "manufacturers"}},
      {"develops and markets",
       {"prescription medicines", "diagnostic tests", "surgical instruments", "biologic therapies",
        "home care services", "imaging systems"},
       {"hospitals", "physicians", "patients", "clinics", "pharmacies"}},
      {"provides",
       {"commercial loans", "deposit accounts", "property insurance", "wealth management",
        "mortgage lending", "consumer credit"},
       {"households", "small businesses", "institutions", "farmers", "retirees"}},
      {"sells",
       {"apparel", "furniture", "sporting goods", "family dining", "new homes", "motor vehicles",
        "toys"},
       {"shoppers", "families", "young adults", "homebuyers", "travelers"}},
      {"makes",
       {"packaged foods", "soft drinks", "cleaning products", "personal care items", "snacks",
        "dairy products"},
       {"grocers", "supermarket chains", "convenience stores", "restaurants", "households"}},
      {"produces",
       {"crude oil", "natural gas", "drilling services", "refined fuels", "pipeline transport"},
       {"utilities", "refiners", "industrial users", "airlines", "distributors"}},
      {"supplies",
       {"aircraft components", "industrial machinery", "freight transport", "building products",
        "engineering services", "air travel"},
       {"manufacturers", "contractors", "shippers", "government agencies", "airlines"}},
      {"makes",
       {"specialty chemicals", "steel products", "copper", "packaging", "cement", "paper"},
       {"manufacturers", "builders", "food companies", "automakers", "farmers"}},
      {"delivers",
       {"electricity", "natural gas", "drinking water", "renewable power", "wastewater services"},
       {"homes", "businesses", "municipalities", "industrial customers"}},
      {"offers",
       {"wireless service", "broadband", "television programming", "online advertising",
        "video games", "streaming entertainment"},
       {"subscribers", "advertisers", "households", "businesses", "gamers"}},
  };
  return kWords;
}

const std::vector<std::string> kRegions{"in the United States",
                                        "across North America",
                                        "in the Midwest",
                                        "in the Southeast",
                                        "worldwide",
                                        "in Europe and Asia",
                                        "on the West Coast",
                                        "in Texas and Oklahoma"};
const std::vector<std::string> kCities{"Denver, Colorado",
                                       "Columbus, Ohio",
                                       "Austin, Texas",
                                       "Charlotte, North Carolina",
                                       "Minneapolis, Minnesota",
                                       "Portland, Oregon",
                                       "Tampa, Florida",
                                       "Boston, Massachusetts",
                                       "Phoenix, Arizona",
                                       "Nashville, Tennessee",
                                       "Pittsburgh, Pennsylvania",
                                       "Salt Lake City, Utah",
                                       "Omaha, Nebraska",
                                       "Richmond, Virginia",
                                       "Milwaukee, Wisconsin",
                                       "San Diego, California"};

std::string BusinessText(Random& random, const DemoCompany& company, const std::string& sector,
                         const std::string& industry) {
  const SectorWords& profile = Words()[ProfileIndex(sector)];
  const size_t offerings = profile.offerings.size();
  const size_t first = random.Below(offerings);
  const size_t second = (first + 1 + random.Below(offerings - 1)) % offerings;
  std::string text = fmt::format("{} {} {} and {} for {} {}.", company.name, profile.verb,
                                 profile.offerings[first], profile.offerings[second],
                                 random.Pick(profile.customers), random.Pick(kRegions));
  text += fmt::format(" The company belongs to the {} industry of the {} sector", industry, sector);
  text += fmt::format(" and is based in {}, where it was founded in {}.", random.Pick(kCities),
                      random.Between(1890, 2015));
  if (random.Chance(0.5)) {
    text += fmt::format(" It employs about {} people.",
                        static_cast<int64_t>(std::round(random.LogUniform(80, 60000) / 10) * 10));
  }
  return text;
}

std::string ExchangeCode(Random& random) {
  const double u = random.Uniform();
  if (u < 0.42) return "M";  // Nasdaq
  if (u < 0.82) return "N";  // NYSE
  if (u < 0.90) return "A";  // Amex
  if (u < 0.95) return "O";  // over the counter
  if (u < 0.98) return "T";  // codes the readers show as no exchange
  return "X";
}

// ---- The statements

// One quarter as drawn, before the company's scale is known: flows over the quarter and the
// balance at its end.
struct Quarter {
  int32_t end = 0;
  double price = kNull;  // the mean close of the quarter
  double sales = 0, cgs = 0, totexp = 0, dep = 0, interest = 0, intno = 0, othinc = 0;
  double inctax = 0, xord = 0, prefdiv = 0, ce = 0, working_capital = 0, dividends = 0;
  double assets = 0, liab = 0, ltdebt = 0, cl = 0, pref = 0, ca = 0, cash = 0, inventory = 0;
  double nppe = 0;
  double shares_average = 0, shares_end = 0;
};

// The statement lines of a period (a quarter, the trailing twelve months, a fiscal year) as
// stored: money in millions rounded to the thousand, computed lines from the rounded ones so
// that the statements add up to the thousand.
struct Lines {
  bool present = false;
  int32_t end = 0;       // date code of the period's end
  double price = kNull;  // the close on or before the end
  double sales = 0, cgs = 0, gross = 0, totexp = 0, gopinc = 0, dep = 0, opinc = 0;
  double interest = 0, intno = 0, othinc = 0, pti = 0, inctax = 0, xord = 0, netinc = 0;
  double prefdiv = 0, iac = 0, ncc = 0, tco = 0, ce = 0, dividends = 0;
  double cash = 0, ca = 0, inventory = 0, nppe = 0, cl = 0, ltdebt = 0, liab = 0, pref = 0;
  double equity = 0, assets = 0;
  double shares = 0;  // average, millions
  double epsd = 0, epsdc = 0, cfps = 0, fcfps = 0, dps = 0, bvps = 0;
};

using Bars = std::vector<tc2000::Bar>;

double CloseOnOrBefore(const Bars& bars, int32_t date) {
  const auto after =
      std::upper_bound(bars.begin(), bars.end(), date,
                       [](int32_t d, const tc2000::Bar& bar) { return d < bar.date; });
  return after == bars.begin() ? kNull : static_cast<double>(std::prev(after)->close);
}

Lines Summarize(const std::vector<Quarter>& quarters, size_t first, size_t last, double scale,
                const Bars& bars) {
  Lines l;
  l.present = true;
  const Quarter& e = quarters[last];
  l.end = e.end;
  l.price = CloseOnOrBefore(bars, e.end);
  Quarter sum;
  double shares = 0;
  for (size_t i = first; i <= last; ++i) {
    const Quarter& q = quarters[i];
    sum.sales += q.sales, sum.cgs += q.cgs, sum.totexp += q.totexp, sum.dep += q.dep;
    sum.interest += q.interest, sum.intno += q.intno, sum.othinc += q.othinc;
    sum.inctax += q.inctax, sum.xord += q.xord, sum.prefdiv += q.prefdiv, sum.ce += q.ce;
    sum.working_capital += q.working_capital, sum.dividends += q.dividends;
    shares += q.shares_average;
  }
  l.sales = Millions(sum.sales * scale);
  l.cgs = Millions(sum.cgs * scale);
  l.totexp = Millions(sum.totexp * scale);
  l.dep = Millions(sum.dep * scale);
  l.interest = Millions(sum.interest * scale);
  l.intno = Millions(sum.intno * scale);
  l.othinc = Millions(sum.othinc * scale);
  l.inctax = Millions(sum.inctax * scale);
  l.xord = Millions(sum.xord * scale);
  l.prefdiv = Millions(sum.prefdiv * scale);
  l.ce = Millions(sum.ce * scale);
  l.dividends = Millions(sum.dividends * scale);
  l.gross = Millions(l.sales - l.cgs);
  l.gopinc = Millions(l.gross - l.totexp);  // operating income before depreciation
  l.opinc = Millions(l.gopinc - l.dep);
  l.pti = Millions(l.opinc - l.interest - l.intno + l.othinc);
  l.netinc = Millions(l.pti - l.inctax + l.xord);
  l.iac = Millions(l.netinc - l.prefdiv);
  l.ncc = Millions(l.netinc + l.dep);
  l.tco = Millions(l.ncc + Millions(sum.working_capital * scale));

  l.ltdebt = Millions(e.ltdebt * scale);
  l.cl = Millions(e.cl * scale);
  l.liab = Millions(l.ltdebt + l.cl + Millions((e.liab - e.ltdebt - e.cl) * scale));
  l.pref = Millions(e.pref * scale);
  l.equity = Millions((e.assets - e.liab - e.pref) * scale);
  l.assets = Millions(l.liab + l.pref + l.equity);
  l.ca = Millions(e.ca * scale);
  l.cash = Millions(e.cash * scale);
  l.inventory = Millions(e.inventory * scale);
  l.nppe = Millions(e.nppe * scale);

  l.shares = Millions(shares / static_cast<double>(last - first + 1));
  l.epsd = Cents(l.iac / l.shares);
  l.epsdc = Cents((l.iac - l.xord) / l.shares);  // continuing operations: no nonrecurring items
  l.cfps = Cents(l.ncc / l.shares);
  l.fcfps = Cents((l.ncc - l.ce) / l.shares);
  l.dps = Cents(l.dividends / l.shares);
  l.bvps = Cents(l.equity / l.shares);
  return l;
}

// Growth from `base` to `now` over `years` in percent a year (compounded); Null over a base
// of 0 or less, or when the compounding has no real root.
double Growth(double now, double base, int years) {
  if (IsNull(now) || IsNull(base) || base <= 0) return kNull;
  const double ratio = now / base;
  if (years == 1) return Cents((ratio - 1) * 100);
  if (ratio <= 0) return kNull;
  return Cents((std::pow(ratio, 1.0 / years) - 1) * 100);
}

double Ratio(double numerator, double denominator) {
  if (IsNull(numerator) || IsNull(denominator) || denominator == 0) return kNull;
  return Cents(numerator / denominator);
}
double Percent(double numerator, double denominator) {
  if (IsNull(numerator) || IsNull(denominator) || denominator <= 0) return kNull;
  return Cents(numerator / denominator * 100);
}
// A price multiple: Null without a price or over a figure of 0 or less.
double Multiple(double price, double per_share) {
  if (IsNull(price) || IsNull(per_share) || per_share <= 0) return kNull;
  return Cents(price / per_share);
}

double Mean(const std::vector<double>& values) {
  double sum = 0;
  int count = 0;
  for (double v : values) {
    if (!IsNull(v)) sum += v, ++count;
  }
  return count == 0 ? kNull : sum / count;
}

// ---- One company

constexpr int kStoredYears = 7;
constexpr int kYears = 8;     // one more than stored, for the seven-year growth
constexpr int kQuarters = 8;  // stored quarters
constexpr int kReportLagYear = 60, kReportLagQuarter = 45;  // days from a period's end to its data

// The stems of the statement columns, with their line.
struct Stem {
  std::string_view name;
  double Lines::*line;
};
constexpr Stem kStatementStems[] = {
    {"sales", &Lines::sales},   {"cgs", &Lines::cgs},       {"gross", &Lines::gross},
    {"totexp", &Lines::totexp}, {"gopinc", &Lines::gopinc}, {"dep", &Lines::dep},
    {"int", &Lines::interest},  {"intno", &Lines::intno},   {"othinc", &Lines::othinc},
    {"pti", &Lines::pti},       {"inctax", &Lines::inctax}, {"xord", &Lines::xord},
    {"netinc", &Lines::netinc}, {"iac", &Lines::iac},       {"ncc", &Lines::ncc},
    {"tco", &Lines::tco},       {"ce", &Lines::ce},         {"epsd", &Lines::epsd},
    {"epsdc", &Lines::epsdc},   {"cfps", &Lines::cfps},     {"fcfps", &Lines::fcfps},
    {"dps", &Lines::dps},       {"cash", &Lines::cash},     {"ca", &Lines::ca},
    {"nppe", &Lines::nppe},     {"cl", &Lines::cl},         {"ltdebt", &Lines::ltdebt},
    {"liab", &Lines::liab},     {"pref", &Lines::pref},     {"equity", &Lines::equity},
    {"assets", &Lines::assets}, {"totloe", &Lines::assets}, {"bvps", &Lines::bvps},
};
// Growth stems: the stem of the fiscal-year columns, the one of the trailing-twelve-months
// column (shortened for three of them) and the line.
struct GrowthStem {
  std::string_view name, ttm_name;
  double Lines::*line;
};
constexpr GrowthStem kGrowthStems[] = {
    {"sales", "sales", &Lines::sales},   {"gopinc", "gopin", &Lines::gopinc},
    {"pti", "pti", &Lines::pti},         {"opinc", "opin", &Lines::opinc},
    {"netinc", "netin", &Lines::netinc}, {"epsd", "epsd", &Lines::epsd},
    {"epsdc", "epsdc", &Lines::epsdc},   {"cfps", "cfps", &Lines::cfps},
    {"fcfps", "fcfps", &Lines::fcfps},   {"dps", "dps", &Lines::dps},
};

// Period suffixes: 0 the trailing twelve months, 1..8 the quarters, 9..15 the fiscal years.
constexpr int kPeriods = 1 + kQuarters + kStoredYears;
std::string Suffix(int period, bool underscore = true) {
  const std::string lead = underscore ? "_" : "";
  if (period == 0) return lead + "12m";
  if (period <= kQuarters) return fmt::format("{}q{}", lead, period);
  return fmt::format("{}y{}", lead, period - kQuarters);
}

// Slots of the columns a company's figures fill, looked up once per run.
struct CompanySlots {
  explicit CompanySlots(const Slots& slots) : count(slots.size()) {
    for (const Stem& stem : kStatementStems) {
      auto& row = statement.emplace_back();
      for (int p = 0; p < kPeriods; ++p) row[p] = slots(std::string(stem.name) + Suffix(p));
    }
    for (int p = 0; p < kPeriods; ++p) {
      perend[p] = slots("perend" + Suffix(p));
      shares[p] = slots("shr_a" + Suffix(p, false));
    }
    for (const GrowthStem& stem : kGrowthStems) {
      auto& row = growth.emplace_back();
      row[0] = slots(std::string(stem.ttm_name) + "_g1t");
      row[1] = slots(std::string(stem.name) + "_g1t");
      int k = 2;
      for (int years : {1, 3, 5, 7}) row[k++] = slots(fmt::format("{}_g{}f", stem.name, years));
    }
    for (std::string_view stem : kRatioStems) {
      auto& row = ratio.emplace_back();
      for (int p = 0; p < kPeriods; ++p) row[p] = slots(std::string(stem) + Suffix(p));
    }
    for (std::string_view stem : kMultipleStems) {
      multiple.push_back(
          {slots(std::string(stem) + "_1t"), slots(std::string(stem) + "_a3y"), slots(stem)});
    }
    pe_estimate = slots("pe_ey0");
    instps = slots("instps");
    instss = slots("instss");
  }

  static constexpr std::string_view kRatioStems[] = {"roe",   "roa",   "gpm",    "opm",
                                                     "npm",   "tie",   "payout", "curr",
                                                     "quick", "tl_ta", "ltd_tc", "ltd_eq"};
  static constexpr std::string_view kMultipleStems[] = {"pe",    "psps",  "pbvps",
                                                        "pcfps", "pfcps", "yield"};

  size_t count;
  std::vector<std::array<int, kPeriods>> statement;
  std::array<int, kPeriods> perend{}, shares{};
  std::vector<std::array<int, 6>> growth;  // g1t (short and full stem), g1f, g3f, g5f, g7f
  std::vector<std::array<int, kPeriods>> ratio;
  std::vector<std::array<int, 3>> multiple;  // previous year, three-year average, current
  int pe_estimate, instps, instss;
};

// The dates of a company's periods: the latest fiscal year end and quarter end whose figures
// are out by the world's end, and the quarters in between.
struct FiscalCalendar {
  int32_t latest_year_end = 0, latest_quarter_end = 0;
  int quarters_after_year = 0;  // quarters from the latest year end to the latest quarter end
};

FiscalCalendar CalendarOf(const DemoCompany& company, int32_t world_end) {
  FiscalCalendar calendar;
  const int32_t year_limit = AddCalendarDays(world_end, -kReportLagYear);
  const int32_t quarter_limit = AddCalendarDays(world_end, -kReportLagQuarter);
  int32_t year_end =
      MonthEnd(automation::DateCode(year_limit).Year(), company.fiscal_year_end_month);
  if (year_end > year_limit) year_end = MonthEndAfter(year_end, -12);
  int32_t quarter_end = MonthEndAfter(quarter_limit, 0);
  while (quarter_end > quarter_limit || MonthsBetween(year_end, quarter_end) % 3 != 0) {
    quarter_end = MonthEndAfter(quarter_end, -1);
  }
  calendar.latest_year_end = year_end;
  calendar.latest_quarter_end = quarter_end;
  calendar.quarters_after_year = MonthsBetween(year_end, quarter_end) / 3;
  return calendar;
}

class CompanyModel {
 public:
  CompanyModel(const DemoWorld& world, size_t index, uint64_t stream, const CompanySlots& slots)
      : world_(world),
        company_(world.companies[index]),
        security_(world.securities[static_cast<size_t>(company_.worden - 1)]),
        index_(index),
        random_(stream),
        slots_(slots) {}

  // `years` limits the fiscal years with figures (0: as the company's listing gives).
  CompanyData Make(int years) {
    CompanyData data;
    data.company = index_;
    data.id = DemoCompanyId(index_);
    data.figures = Figures(slots_.count);
    bars_ = DemoBars(world_, security_);
    const DemoSector& sector = world_.sectors[static_cast<size_t>(company_.sector)];
    data.exchange = ExchangeCode(random_);
    data.business = BusinessText(random_, company_, sector.name,
                                 sector.industries[static_cast<size_t>(company_.industry)]);
    DrawQuarters();
    MakePeriods(years);
    Fill(data);
    Strength(data);
    return data;
  }

 private:
  void DrawQuarters() {
    const SectorProfile& profile =
        kProfiles[ProfileIndex(world_.sectors[static_cast<size_t>(company_.sector)].name)];
    // Industries differ from their sector's average in the same way in every world.
    Random industry(
        Mix(0x1D57ULL ^ static_cast<uint64_t>(company_.sector * 16 + company_.industry)));
    const double industry_margin = industry.Uniform(-0.06, 0.06);
    const double industry_ebitda = industry.Uniform(-0.04, 0.04);
    const double industry_turnover = industry.LogUniform(0.8, 1.25);

    Random& r = random_;
    double gross = std::clamp(profile.gross_margin + industry_margin + 0.05 * r.Normal(), 0.1, 0.9);
    const double depreciation = profile.depreciation * r.LogUniform(0.7, 1.4);
    double ebitda = std::clamp(profile.ebitda_margin + industry_ebitda + 0.05 * r.Normal(),
                               depreciation + 0.01, 0.6);
    if (r.Chance(0.08)) ebitda = depreciation - r.Uniform(0.02, 0.2);  // losing money
    gross = std::max(gross, ebitda + 0.03);
    const double expenses = gross - ebitda;
    const double capex = profile.capex * r.LogUniform(0.7, 1.4);
    const double turnover = profile.turnover * industry_turnover * r.LogUniform(0.75, 1.35);
    const double liabilities = std::clamp(profile.liabilities * r.Uniform(0.8, 1.12), 0.15, 0.93);
    const double debt = r.Uniform(profile.debt_low, profile.debt_high);
    const double current = std::min(r.Uniform(0.2, 0.5), 0.95 - debt);
    const double preferred = r.Chance(0.06) ? r.Uniform(0.01, 0.05) : 0.0;
    const double fixed = std::clamp(profile.fixed_assets * r.Uniform(0.7, 1.3), 0.02, 0.85);
    const double current_assets = (1 - fixed) * r.Uniform(0.5, 0.9);
    const double cash = r.Uniform(0.1, 0.5), inventory = r.Uniform(0.05, 0.45);
    const double rate = r.Uniform(0.035, 0.075);
    const double nonoperating = r.Chance(0.25) ? r.Uniform(0.05, 0.3) : 0.0;
    const double other_income = 0.004 + 0.004 * r.Normal();
    const double tax = r.Uniform(0.19, 0.28);
    const double payout = r.Chance(profile.dividend_chance) ? r.Uniform(0.2, 0.65) : 0.0;
    const double growth = std::clamp(0.06 + 0.05 * r.Normal(), -0.08, 0.3);
    const double follows_price = r.Uniform(0.3, 0.6);
    const double season = r.Uniform(0, 0.1);
    const int season_phase = static_cast<int>(r.Below(4));
    const double share_drift = 0.003 * r.Normal();
    pe_target_ = r.LogUniform(profile.pe * 0.6, profile.pe * 1.6);
    ps_target_ = r.LogUniform(0.3, 3.0);
    growth_ = growth;
    volatility_ = security_.model.annual_volatility;

    const FiscalCalendar calendar = CalendarOf(company_, world_.trading_days.back());
    const size_t count = static_cast<size_t>(4 * kYears + calendar.quarters_after_year);
    latest_year_ = count - 1 - static_cast<size_t>(calendar.quarters_after_year);
    quarters_.assign(count, Quarter{});
    for (size_t t = 0; t < count; ++t) {
      quarters_[t].end =
          MonthEndAfter(calendar.latest_quarter_end, -3 * static_cast<int>(count - 1 - t));
    }
    // The mean close of each quarter.
    {
      size_t b = 0;
      for (size_t t = 0; t < count; ++t) {
        double sum = 0;
        int n = 0;
        for (; b < bars_.size() && bars_[b].date <= quarters_[t].end; ++b) {
          if (t == 0 && bars_[b].date <= MonthEndAfter(quarters_[0].end, -3)) continue;
          sum += bars_[b].close;
          ++n;
        }
        if (n > 0) quarters_[t].price = sum / n;
      }
    }

    // Sales grow at the company's own rate and, where there is a price, swing with it (a
    // company's business and its shares go roughly together).
    std::vector<double> level(count);
    auto trend = [&](size_t t) { return growth * static_cast<double>(t) / 4; };
    const double anchor =
        !IsNull(quarters_.back().price) ? quarters_.back().price : bars_.front().close;
    level[count - 1] = trend(count - 1) + follows_price * std::log(anchor);
    for (size_t t = count - 1; t-- > 0;) {
      level[t] = !IsNull(quarters_[t].price)
                     ? trend(t) + follows_price * std::log(quarters_[t].price)
                     : level[t + 1] - (growth + 0.05 * r.Normal()) / 4;
    }
    double noise = 0;
    for (size_t t = 0; t < count; ++t) {
      noise = 0.6 * noise + 0.04 * r.Normal();
      const int fiscal_quarter = static_cast<int>((t + 4 * count - latest_year_ + 3) % 4);
      const double seasonal =
          1 + season * std::cos(2 * std::numbers::pi * (fiscal_quarter + season_phase) / 4);
      quarters_[t].sales = std::exp(level[t] + noise) * seasonal;
    }

    // Shares: today's count, and back in time through small issues and buybacks.
    std::vector<double> share_end(count);
    share_end[count - 1] = company_.shares_outstanding;
    std::vector<double> share_change(count);
    for (size_t t = 0; t < count; ++t) share_change[t] = share_drift + 0.004 * r.Normal();
    for (size_t t = count - 1; t-- > 0;)
      share_end[t] = share_end[t + 1] / (1 + share_change[t + 1]);
    for (size_t t = 0; t < count; ++t) {
      const double before = t == 0 ? share_end[0] / (1 + share_change[0]) : share_end[t - 1];
      quarters_[t].shares_end = share_end[t];
      quarters_[t].shares_average = (before + share_end[t]) / 2;
    }

    for (size_t t = 0; t < count; ++t) {
      Quarter& q = quarters_[t];
      double trailing_sales = 0;
      for (size_t k = 0; k < 4; ++k) trailing_sales += quarters_[t >= k ? t - k : 0].sales;
      q.assets = trailing_sales / turnover * std::exp(0.03 * r.Normal());
      q.liab = q.assets * std::clamp(liabilities + 0.01 * r.Normal(), 0.1, 0.95);
      q.ltdebt = q.liab * debt;
      q.cl = q.liab * current;
      q.pref = q.assets * preferred;
      q.ca = q.assets * current_assets;
      q.cash = q.ca * cash;
      q.inventory = q.ca * inventory;
      q.nppe = q.assets * fixed;

      q.cgs = q.sales * (1 - std::clamp(gross + 0.012 * r.Normal(), 0.05, 0.95));
      q.totexp = q.sales * std::max(0.0, expenses + 0.008 * r.Normal());
      q.dep = q.sales * depreciation * std::exp(0.05 * r.Normal());
      const double debt_before = t == 0 ? q.ltdebt : quarters_[t - 1].ltdebt;
      q.interest = debt_before * rate / 4;
      q.intno = q.interest * nonoperating;
      q.othinc = q.sales * (other_income + 0.003 * r.Normal());
      const double pti = q.sales - q.cgs - q.totexp - q.dep - q.interest - q.intno + q.othinc;
      q.inctax = pti > 0 ? pti * tax : pti * tax * 0.5;  // a loss recovers part of its tax
      if (r.Chance(0.03)) q.xord = q.sales * r.Uniform(0.01, 0.06) * (r.Chance(0.6) ? -1 : 1);
      q.prefdiv = (t == 0 ? q.pref : quarters_[t - 1].pref) * 0.06 / 4;
      q.ce = q.sales * capex * std::exp(0.25 * r.Normal());
      q.working_capital = q.sales * 0.02 * r.Normal();
    }
    // Dividends: a share of the earnings per share of the four quarters before, paid on
    // the quarter's shares.
    for (size_t t = 0; t < count; ++t) {
      if (payout == 0) break;
      double earnings = 0, shares = 0;
      const size_t first = t >= 4 ? t - 4 : 0, last = t >= 4 ? t - 1 : t;
      for (size_t k = first; k <= last; ++k) earnings += Continuing(quarters_[k]);
      for (size_t k = first; k <= last; ++k) shares += quarters_[k].shares_average;
      const double eps = earnings / (shares / static_cast<double>(last - first + 1));
      quarters_[t].dividends = payout * std::max(0.0, eps) / static_cast<double>(last - first + 1) *
                               quarters_[t].shares_average;
    }

    // The company's size: the price over earnings at the latest fiscal year end lands on the
    // company's own multiple; a company earning little is sized by its price over sales.
    double sales = 0, earnings = 0, shares = 0;
    for (size_t t = latest_year_ - 3; t <= latest_year_; ++t) {
      sales += quarters_[t].sales;
      earnings += Continuing(quarters_[t]);
      shares += quarters_[t].shares_average / 4;
    }
    double price = CloseOnOrBefore(bars_, quarters_[latest_year_].end);
    if (IsNull(price)) price = bars_.front().close;  // listed after its latest fiscal year
    scale_ = earnings / sales >= 0.02 ? price * shares / (pe_target_ * earnings)
                                      : price * shares / (ps_target_ * sales);
  }

  // Income from continuing operations, before scaling.
  static double Continuing(const Quarter& q) {
    return q.sales - q.cgs - q.totexp - q.dep - q.interest - q.intno + q.othinc - q.inctax -
           q.prefdiv;
  }

  void MakePeriods(int years) {
    if (years == 0) {
      years = kYears;
      if (company_.first_date != world_.trading_days.front()) {
        // Listed lately: statements from about a year before the listing.
        const int32_t earliest = AddCalendarDays(company_.first_date, -400);
        years = 0;
        for (int k = 0; k < kYears; ++k) {
          if (quarters_[latest_year_ - 4 * static_cast<size_t>(k)].end >= earliest) ++years;
        }
        years = std::clamp(years, 2, 4);
      }
    }
    const size_t last = quarters_.size() - 1;
    ttm_ = Summarize(quarters_, last - 3, last, scale_, bars_);
    prior_ttm_ = Summarize(quarters_, last - 7, last - 4, scale_, bars_);
    for (size_t k = 0; k < static_cast<size_t>(kQuarters); ++k) {
      quarter_[k] = Summarize(quarters_, last - k, last - k, scale_, bars_);
    }
    for (size_t k = 0; k < static_cast<size_t>(kYears); ++k) {
      year_[k] = Lines{};
      if (static_cast<int>(k) >= years) continue;
      const size_t end = latest_year_ - 4 * k;
      year_[k] = Summarize(quarters_, end - 3, end, scale_, bars_);
    }
  }

  const Lines& PeriodLines(int period) const {
    if (period == 0) return ttm_;
    if (period <= kQuarters) return quarter_[static_cast<size_t>(period - 1)];
    return year_[static_cast<size_t>(period - kQuarters - 1)];
  }

  void Fill(CompanyData& data) {
    Figures& f = data.figures;
    for (int p = 0; p < kPeriods; ++p) {
      const Lines& l = PeriodLines(p);
      if (!l.present) continue;
      for (size_t s = 0; s < std::size(kStatementStems); ++s) {
        f.Set(slots_.statement[s][static_cast<size_t>(p)], l.*kStatementStems[s].line);
      }
      f.Set(slots_.perend[static_cast<size_t>(p)], l.end);
      f.Set(slots_.shares[static_cast<size_t>(p)], l.shares);
    }

    // Growth: the trailing twelve months over the twelve before, the latest fiscal year over
    // the one, three, five and seven before.
    for (size_t s = 0; s < std::size(kGrowthStems); ++s) {
      const auto line = kGrowthStems[s].line;
      const auto& row = slots_.growth[s];
      const double ttm = Growth(ttm_.*line, prior_ttm_.*line, 1);
      f.Set(row[0], ttm);
      f.Set(row[1], ttm);
      const auto year = [&](int k) { return year_[k].present ? year_[k].*line : kNull; };
      int column = 2;
      for (int years : {1, 3, 5, 7}) f.Set(row[column++], Growth(year(0), year(years), years));
    }

    // Ratios: margins and returns in percent, the others plain.
    double equity_average = 0, assets_average = 0;
    for (size_t k = 0; k < 4; ++k) {
      equity_average += quarter_[k].equity / 4;
      assets_average += quarter_[k].assets / 4;
    }
    for (int p = 0; p < kPeriods; ++p) {
      const Lines& l = PeriodLines(p);
      if (!l.present) continue;
      const double equity = p == 0 ? equity_average : l.equity;
      const double assets = p == 0 ? assets_average : l.assets;
      const double interest = l.interest + l.intno;
      const std::array<double, 12> values{
          Percent(l.netinc, equity),
          Percent(l.netinc, assets),
          Percent(l.gross, l.sales),
          Percent(l.opinc, l.sales),
          Percent(l.netinc, l.sales),
          Ratio(l.pti + interest, interest),
          l.dividends == 0 ? 0.0 : (l.iac > 0 ? Ratio(l.dividends, l.iac) : kNull),
          Ratio(l.ca, l.cl),
          Ratio(l.ca - l.inventory, l.cl),
          Ratio(l.liab, l.assets),
          Ratio(l.ltdebt, l.ltdebt + l.pref + l.equity),
          l.equity > 0 ? Ratio(l.ltdebt, l.equity) : kNull,
      };
      for (size_t s = 0; s < values.size(); ++s) {
        f.Set(slots_.ratio[s][static_cast<size_t>(p)], values[s]);
      }
    }

    // Multiples: now (the last close over the trailing twelve months, book value at the
    // latest quarter), at the latest fiscal year end, and the mean of the three latest.
    const double price = company_.last_close;
    const double book_now = Cents(quarter_[0].equity / quarter_[0].shares);
    struct Measure {
      double now;
      double Lines::*line;
    };
    const Measure measures[] = {
        {ttm_.epsdc, &Lines::epsdc}, {Cents(ttm_.sales / ttm_.shares), nullptr},
        {book_now, &Lines::bvps},    {ttm_.cfps, &Lines::cfps},
        {ttm_.fcfps, &Lines::fcfps}, {ttm_.dps, &Lines::dps}};
    for (size_t s = 0; s < std::size(measures); ++s) {
      const bool is_yield = s + 1 == std::size(measures);
      auto at_year = [&](int k) {
        const Lines& y = year_[static_cast<size_t>(k)];
        if (!y.present) return kNull;
        const double figure = measures[s].line ? y.*measures[s].line : Cents(y.sales / y.shares);
        if (is_yield) return IsNull(y.price) ? kNull : Percent(figure, y.price);
        return Multiple(y.price, figure);
      };
      const auto& row = slots_.multiple[s];
      f.Set(row[0], at_year(0));
      f.Set(row[1], Cents(Mean({at_year(0), at_year(1), at_year(2)})));
      f.Set(row[2], is_yield ? Percent(measures[s].now, price) : Multiple(price, measures[s].now));
    }
    // The estimate: next year's earnings at the company's growth, give or take.
    const double estimate =
        ttm_.epsdc * (1 + std::clamp(growth_ + 0.05 * random_.Normal(), -0.2, 0.4));
    f.Set(slots_.pe_estimate, Multiple(price, Cents(estimate)));

    data.market_value = price * company_.shares_outstanding;
    data.yield = Percent(ttm_.dps, price);
    data.volatility = volatility_;
    // Institutions: bigger companies have more holders and a bigger share in their hands;
    // they bought more than they sold of the stocks that rose over the quarter.
    const double size = std::log10(std::max(1.0, data.market_value));
    data.institutional_share =
        Cents(100 * std::clamp(0.15 + 0.12 * size + 0.1 * random_.Normal(), 0.02, 0.98));
    data.holders = std::round(std::exp(0.55 * std::log(std::max(1.0, data.market_value)) +
                                       0.3 * random_.Normal())) +
                   1;
    const double traded =
        company_.shares_outstanding * data.institutional_share / 100 * random_.Uniform(0.04, 0.15);
    const double quarter_change = ChangeOver(63);
    const double bought =
        std::exp(1.5 * (IsNull(quarter_change) ? 0 : quarter_change) + 0.25 * random_.Normal());
    f.Set(slots_.instps, std::max(0.001, Millions(traded * bought / (1 + bought))));
    f.Set(slots_.instss, std::max(0.001, Millions(traded / (1 + bought))));
  }

  // The price change over the last `days` trading days as a fraction; a company listed
  // since at least 80 % of them is measured from its first close, a younger one is Null.
  double ChangeOver(size_t days, size_t skip = 0) const {
    if (bars_.size() <= skip) return kNull;
    const size_t end = bars_.size() - 1 - skip;
    if (end < days) {
      if (static_cast<double>(end) < 0.8 * static_cast<double>(days)) return kNull;
      return bars_[end].close / bars_.front().close - 1;
    }
    return bars_[end].close / bars_[end - days].close - 1;
  }

  void Strength(CompanyData& data) const {
    for (size_t w = 0; w < kStrengthDays.size(); ++w) data.change[w] = ChangeOver(kStrengthDays[w]);
    double weighted = 0;
    for (size_t q = 0; q < 4; ++q) {
      const double change = ChangeOver(63, 63 * q);
      if (IsNull(change)) return;
      weighted += (q == 0 ? 0.4 : 0.2) * change;
    }
    data.weighted_change = weighted;
  }

  const DemoWorld& world_;
  const DemoCompany& company_;
  const DemoSecurity& security_;
  size_t index_;
  Random random_;
  const CompanySlots& slots_;

  Bars bars_;
  std::vector<Quarter> quarters_;
  size_t latest_year_ = 0;  // index of the quarter that ends the latest fiscal year
  double scale_ = 1, pe_target_ = 15, ps_target_ = 1, growth_ = 0, volatility_ = 0;
  Lines ttm_, prior_ttm_;
  std::array<Lines, kQuarters> quarter_;
  std::array<Lines, kYears> year_;
};

}  // namespace

namespace fundamentals_data {

struct CompanyMaker::Impl {
  explicit Impl(const Slots& slots) : company_slots(slots) {}
  CompanySlots company_slots;
};

CompanyMaker::CompanyMaker(const DemoWorld& world, const Slots& slots)
    : world_(world), slots_(slots), impl_(std::make_unique<Impl>(slots)) {}

CompanyMaker::~CompanyMaker() = default;

CompanyData CompanyMaker::Make(size_t index, uint64_t stream, int years) const {
  return CompanyModel(world_, index, stream, impl_->company_slots).Make(years);
}

void CompanyMaker::BlankQuarter(Figures& figures, int quarter) const {
  for (const Stem& stem : kStatementStems) {
    figures.Set(slots_(fmt::format("{}_q{}", stem.name, quarter)), kNull);
  }
}

}  // namespace fundamentals_data

}  // namespace demo
