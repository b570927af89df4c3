#include "demo/DemoWorld.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <system_error>
#include <utility>

#include <fmt/format.h>

#include "demo/DemoRandom.h"
#include "demo/ParallelFor.h"
#include "platform/automation/DateCode.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/automation/Text.h"
#include "platform/system/Clock.h"

namespace demo {

namespace {

// ---- The world's vocabulary

struct SectorVocabulary {
  const char* name;
  std::vector<std::string> industries;
  std::vector<std::string> name_words;  // what companies of the sector call themselves
};

const std::vector<SectorVocabulary>& Sectors() {
  static const std::vector<SectorVocabulary> kSectors{
      {"Technology",
       {"Software", "Semiconductors", "Computer Hardware", "IT Services",
        "Communications Equipment"},
       {"Systems", "Technologies", "Software", "Micro", "Networks", "Data", "Digital"}},
      {"Health Care",
       {"Pharmaceuticals", "Biotechnology", "Medical Devices", "Health Care Services"},
       {"Pharmaceuticals", "Therapeutics", "Medical", "Biosciences", "Health", "Diagnostics"}},
      {"Financial",
       {"Banks", "Insurance", "Asset Management", "Consumer Finance",
        "Real Estate Investment Trusts"},
       {"Bancorp", "Financial", "Capital", "Insurance", "Trust", "Bankshares", "Realty"}},
      {"Consumer Cyclical",
       {"Retail", "Restaurants", "Automobiles", "Apparel", "Leisure Products", "Homebuilders"},
       {"Brands", "Stores", "Motors", "Outfitters", "Restaurants", "Homes", "Leisure"}},
      {"Consumer Staples",
       {"Food Products", "Beverages", "Household Products"},
       {"Foods", "Beverage", "Products", "Farms", "Provisions"}},
      {"Energy",
       {"Oil & Gas Producers", "Oilfield Services", "Refining", "Pipelines"},
       {"Energy", "Petroleum", "Resources", "Oil", "Midstream"}},
      {"Industrials",
       {"Aerospace & Defense", "Machinery", "Airlines", "Railroads", "Trucking",
        "Building Products"},
       {"Industries", "Aerospace", "Machinery", "Logistics", "Manufacturing", "Freight"}},
      {"Materials",
       {"Chemicals", "Metals & Mining", "Paper & Packaging", "Construction Materials"},
       {"Materials", "Chemical", "Mining", "Metals", "Packaging"}},
      {"Utilities",
       {"Electric Utilities", "Gas Utilities", "Water Utilities"},
       {"Power", "Electric", "Utilities", "Gas", "Water"}},
      {"Communication Services",
       {"Telecommunications", "Media", "Internet Services", "Entertainment"},
       {"Communications", "Media", "Telecom", "Broadcasting", "Interactive"}},
  };
  return kSectors;
}

// Industry groups cut across sectors.
struct IndustryGroup {
  const char* name;
  std::vector<std::string> industries;
};

const std::vector<IndustryGroup>& IndustryGroups() {
  static const std::vector<IndustryGroup> kGroups{
      {"Rate-Sensitive Group",
       {"Banks", "Real Estate Investment Trusts", "Electric Utilities", "Gas Utilities",
        "Water Utilities", "Homebuilders"}},
      {"Commodity Producers Group",
       {"Oil & Gas Producers", "Metals & Mining", "Chemicals", "Paper & Packaging"}},
      {"Defensive Group",
       {"Food Products", "Beverages", "Household Products", "Pharmaceuticals",
        "Health Care Services"}},
      {"Chips & Hardware Group",
       {"Semiconductors", "Computer Hardware", "Communications Equipment"}},
  };
  return kGroups;
}

const std::vector<std::string> kFirstWords{
    "Alder",     "Aspen",     "Birch",      "Cedar",       "Cypress",   "Elm",      "Hawthorn",
    "Juniper",   "Laurel",    "Maple",      "Oak",         "Pine",      "Redwood",  "Spruce",
    "Willow",    "Summit",    "Harbor",     "Granite",     "Iron",      "Silver",   "Golden",
    "Blue",      "Crimson",   "Emerald",    "Northern",    "Southern",  "Eastern",  "Western",
    "Atlantic",  "Pacific",   "Prairie",    "Meridian",    "Pioneer",   "Keystone", "Liberty",
    "Frontier",  "Beacon",    "Horizon",    "Sterling",    "Cobalt",    "Falcon",   "Osprey",
    "Heron",     "Bison",     "Cascade",    "Canyon",      "Coastal",   "Highland", "Lakeshore",
    "Riverbend", "Stonegate", "Clearwater", "Ashford",     "Bramwell",  "Calloway", "Dunmore",
    "Everly",    "Fairmont",  "Glenwood",   "Hollis",      "Kingsley",  "Lyndon",   "Marlow",
    "Norwood",   "Pembrook",  "Quincy",     "Radley",      "Selwyn",    "Thornton", "Upton",
    "Wexford",   "O'Hara",    "O'Connell",  "Brightwater", "Tidewater", "Redstone", "Larkspur",
    "Windmere",
};
const std::vector<std::string> kSecondWords{
    "Creek", "Ridge", "Valley", "Point", "Bay",   "Field",  "Stone",  "River", "Peak",   "Hill",
    "Park",  "Lake",  "Bridge", "Forge", "Crest", "Grove",  "Mesa",   "Glen",  "Rock",   "Springs",
    "Trail", "Gate",  "Mill",   "Brook", "Haven", "Hollow", "Meadow", "Shore", "Harbor", "Works",
};
const std::vector<std::string> kGenericWords{"Holdings", "Industries", "Enterprises", "Partners",
                                             "Group"};
const std::vector<std::string> kSuffixes{"Inc", "Inc", "Inc", "Corp", "Corp", "Co", "Ltd"};

// The company of the first place always carries an apostrophe in its name, so every world
// exercises quoting in names.
constexpr const char* kApostropheWord = "O'Hara";

std::string CompanyName(Random& random, int sector, bool with_apostrophe) {
  std::string name = with_apostrophe ? kApostropheWord : random.Pick(kFirstWords);
  if (random.Chance(0.5)) name += " " + random.Pick(kSecondWords);
  name += " " + (random.Chance(0.25) ? random.Pick(kGenericWords)
                                     : random.Pick(Sectors()[sector].name_words));
  name += " " + random.Pick(kSuffixes);
  return name;
}

std::string LettersOf(const std::string& word) {
  std::string letters;
  for (char c : word) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') letters += c;
  }
  return letters;
}

// A ticker from the name's initials or first word, else from random letters after its
// first letter, else wholly random; 2 to 4 letters, not yet taken.
std::string Ticker(Random& random, const std::string& name, std::set<std::string>& taken) {
  std::vector<std::string> words;
  for (const std::string& part : automation::SplitAt(name, ' ')) words.push_back(LettersOf(part));
  words.pop_back();  // the legal form
  std::string initials;
  for (const std::string& word : words) initials += word.substr(0, 1);
  std::vector<std::string> candidates;
  if (random.Chance(0.6)) candidates.push_back(initials);
  const int length = random.Chance(0.4) ? 3 : 4;
  candidates.push_back(words[0].substr(0, length));
  candidates.push_back(words[0].substr(0, 7 - length));
  auto letter = [&] { return static_cast<char>('A' + random.Below(26)); };
  for (int attempt = 0; attempt < 40; ++attempt) {
    std::string candidate = words[0].substr(0, 1);
    const int64_t extra = random.Between(1, 3);
    for (int64_t i = 0; i < extra; ++i) candidate += letter();
    candidates.push_back(candidate);
  }
  for (const std::string& candidate : candidates) {
    if (candidate.size() >= 2 && candidate.size() <= 4 && taken.insert(candidate).second) {
      return candidate;
    }
  }
  while (true) {
    std::string candidate(4, ' ');
    for (char& c : candidate) c = letter();
    if (taken.insert(candidate).second) return candidate;
  }
}

int32_t FiscalYearEndMonth(Random& random) {
  const double u = random.Uniform();
  if (u < 0.70) return 12;
  if (u < 0.78) return 6;
  if (u < 0.86) return 9;
  if (u < 0.93) return 3;
  return static_cast<int32_t>(random.Between(1, 11));
}

// ---- Bars

float Cents(double price) {
  return static_cast<float>(std::max(0.01, std::round(price * 100.0) / 100.0));
}

int32_t RoundVolume(double volume) {
  const double lots = std::round(std::max(0.0, volume) / 100.0) * 100.0;
  return static_cast<int32_t>(std::min(lots, 2147483600.0));
}

tc2000::Bar MakeBar(int32_t date, double open, double high, double low, double close,
                    double volume) {
  tc2000::Bar bar;
  bar.date = date;
  bar.open = Cents(open);
  bar.close = Cents(close);
  bar.high = std::max({Cents(high), bar.open, bar.close});
  bar.low = std::min({Cents(low), bar.open, bar.close});
  bar.volume = RoundVolume(volume);
  return bar;
}

constexpr double kTradingDaysPerYear = 252;
constexpr double kGapChance = 1.0 / 400;

// A geometric random walk: the open near the previous close (now and then a gap of 8.5 to
// 20 %), the close a log-normal step from the open, the wicks beyond both. Prices drift back
// towards 2 .. 3000 when they leave it, so long histories stay plausible.
std::vector<tc2000::Bar> WalkBars(const DemoWorld& world, const DemoPriceModel& model) {
  Random random(model.stream);
  const bool gaps = model.kind == DemoPriceModel::Kind::kStock;
  const double sd = model.annual_volatility / std::sqrt(kTradingDaysPerYear);
  const double mu = model.annual_drift / kTradingDaysPerYear - 0.5 * sd * sd;
  std::vector<tc2000::Bar> bars;
  bars.reserve(model.last_day - model.first_day + 1);
  double previous = model.start_price;
  for (size_t day = model.first_day; day <= model.last_day; ++day) {
    double open = previous;
    bool gap = false;
    if (day != model.first_day) {
      if (gaps && random.Chance(kGapChance)) {
        gap = true;
        const double size = random.Uniform(0.085, 0.20);
        open = previous * (random.Chance(0.5) ? 1.0 - size : 1.0 + size);
      } else {
        open = previous * std::exp(0.2 * sd * random.Normal());
      }
    }
    double pull = 0;
    if (open < 2.0) pull = 0.01 * std::log(2.0 / open);
    if (open > 3000.0) pull = 0.01 * std::log(3000.0 / open);
    const double close = open * std::exp(mu + pull + sd * random.Normal());
    const double high = std::max(open, close) * std::exp(0.35 * sd * std::abs(random.Normal()));
    const double low = std::min(open, close) * std::exp(-0.35 * sd * std::abs(random.Normal()));
    const double move = std::min(4.0, std::abs(std::log(close / previous)) / sd);
    const double volume =
        model.mean_volume * std::exp(0.35 * random.Normal()) * (1.0 + 0.5 * move) * (gap ? 2.5 : 1);
    bars.push_back(MakeBar(world.trading_days[day], open, high, low, close, volume));
    previous = close;
  }
  return bars;
}

constexpr double kRateLow = 20.0, kRateHigh = 60.0;

// The ten-year yield × 10: a random walk reflected back from the edges of 20 .. 60.
std::vector<tc2000::Bar> RateBars(const DemoWorld& world, const DemoPriceModel& model) {
  Random random(model.stream);
  auto reflect = [](double x) {
    if (x > kRateHigh - 0.5) x = 2 * (kRateHigh - 0.5) - x;
    if (x < kRateLow + 0.5) x = 2 * (kRateLow + 0.5) - x;
    return std::clamp(x, kRateLow + 0.5, kRateHigh - 0.5);
  };
  std::vector<tc2000::Bar> bars;
  bars.reserve(model.last_day - model.first_day + 1);
  double previous = model.start_price;
  for (size_t day = model.first_day; day <= model.last_day; ++day) {
    const double open =
        day == model.first_day ? previous : reflect(previous + 0.08 * random.Normal());
    const double close = reflect(open + 0.35 * random.Normal());
    const double high =
        std::min(kRateHigh, std::max(open, close) + 0.15 * std::abs(random.Normal()));
    const double low = std::max(kRateLow, std::min(open, close) - 0.15 * std::abs(random.Normal()));
    bars.push_back(MakeBar(world.trading_days[day], open, high, low, close, 0));
    previous = close;
  }
  return bars;
}

// ---- Making the world

int32_t Today() {
  return automation::DateCode::OfDate(kestrova_system::CurrentClock().Now()).Code();
}

// The first day of a history of `years` years that ends on `end`: the day after the same
// date that many years earlier (28 February for 29 February).
int32_t HistoryStart(int32_t end, int32_t years) {
  const automation::DateCode last(end);
  const int year = last.Year() - years;
  const int day = std::min(last.Day(), automation::DaysInMonth(year, last.Month()));
  return automation::DateCode::Of(year, last.Month(), day).NextDay().Code();
}

void CheckOptions(const DemoOptions& options) {
  auto fail = [](const std::string& detail) {
    throw automation::Error::WithDetail(automation::err::kInvalidArgument, detail);
  };
  if (options.companies < 0 || options.companies > DemoOptions::kMaxCompanies) {
    fail(fmt::format("companies {} out of range 0..{}", options.companies,
                     DemoOptions::kMaxCompanies));
  }
  if (options.years < 1 || options.years > DemoOptions::kMaxYears) {
    fail(fmt::format("years {} out of range 1..{}", options.years, DemoOptions::kMaxYears));
  }
}

DemoSecurity IndexSecurity(uint64_t seed, size_t days) {
  DemoSecurity index{kDemoIndexSymbol, "Standard 500 Index", true, 1, -1, {}};
  index.model = {.kind = DemoPriceModel::Kind::kIndex,
                 .start_price = 1000.0,
                 .annual_drift = 0.07,
                 .annual_volatility = 0.17,
                 .mean_volume = 4e8,
                 .stream = Mix(seed ^ 0x1D3E),
                 .first_day = 0,
                 .last_day = days - 1};
  return index;
}

DemoSecurity RateSecurity(uint64_t seed, Random& random, size_t days) {
  DemoSecurity rate{kDemoRateSymbol, "Ten-Year Treasury Yield × 10", true, 2, -1, {}};
  rate.model = {.kind = DemoPriceModel::Kind::kRate,
                .start_price = random.Uniform(25.0, 50.0),
                .stream = Mix(seed ^ 0x7A7E),
                .first_day = 0,
                .last_day = days - 1};
  return rate;
}

void AddCompanies(DemoWorld& world, Random& random) {
  const size_t days = world.trading_days.size();
  const auto count = static_cast<size_t>(world.options.companies);
  std::set<std::string> names, tickers;
  for (size_t i = 0; i < count; ++i) {
    DemoCompany company;
    company.sector = static_cast<int32_t>(random.Below(Sectors().size()));
    company.industry =
        static_cast<int32_t>(random.Below(Sectors()[company.sector].industries.size()));
    company.name = CompanyName(random, company.sector, i == 0);
    for (int attempt = 0; !names.insert(company.name).second; ++attempt) {
      company.name = attempt < 20 ? CompanyName(random, company.sector, false)
                                  : fmt::format("{} {}", company.name, attempt);
    }
    company.ticker = Ticker(random, company.name, tickers);
    company.fiscal_year_end_month = FiscalYearEndMonth(random);
    company.shares_outstanding = random.LogUniform(5.0, 5000.0);

    DemoSecurity security{company.ticker, company.name, true, 0, static_cast<int32_t>(i), {}};
    security.worden = static_cast<int32_t>(world.securities.size() + 1);
    security.model.kind = DemoPriceModel::Kind::kStock;
    security.model.start_price = random.LogUniform(5.0, 200.0);
    security.model.annual_drift = std::clamp(0.06 + 0.12 * random.Normal(), -0.3, 0.4);
    security.model.annual_volatility = random.Uniform(0.15, 0.65);
    security.model.mean_volume = random.LogUniform(2e4, 2e7);
    security.model.stream = Mix(world.options.seed ^ Mix(i + 3));
    security.model.first_day = 0;
    security.model.last_day = days - 1;
    company.worden = security.worden;
    world.companies.push_back(std::move(company));
    world.securities.push_back(std::move(security));
  }

  // About 3 % stopped trading before the end, about 5 % were listed in the last year or two.
  if (count < 2) return;
  std::vector<int32_t> order(count);
  for (size_t i = 0; i < count; ++i) order[i] = static_cast<int32_t>(i);
  order = Sample(random, order, count);
  const auto inactive = std::max<size_t>(1, static_cast<size_t>(std::lround(count * 0.03)));
  const auto recent = std::max<size_t>(1, static_cast<size_t>(std::lround(count * 0.05)));
  const auto last = static_cast<int64_t>(days - 1);
  for (size_t k = 0; k < inactive + recent && k < count; ++k) {
    DemoCompany& company = world.companies[order[k]];
    DemoPriceModel& model = world.securities[company.worden - 1].model;
    if (k < inactive) {
      const int64_t low = std::min<int64_t>(20, last - 1), high = std::max<int64_t>(low, last - 21);
      model.last_day = static_cast<size_t>(random.Between(low, high));
      company.active = false;
      world.securities[company.worden - 1].active = false;
    } else {
      model.first_day = static_cast<size_t>(
          random.Between(std::max<int64_t>(0, last - 504), std::max<int64_t>(0, last - 63)));
    }
  }
}

// The last close and whether the company is at a 52-week high on the world's last day.
void Summarize(DemoWorld& world) {
  ParallelFor(0, world.companies.size(), [&](size_t i) {
    DemoCompany& company = world.companies[i];
    const DemoSecurity& security = world.securities[company.worden - 1];
    const std::vector<tc2000::Bar> bars = DemoBars(world, security);
    company.first_date = bars.front().date;
    company.last_date = bars.back().date;
    company.last_close = bars.back().close;
    const size_t window = std::min<size_t>(252, bars.size());
    float previous_high = 0;
    for (size_t k = bars.size() - window; k + 1 < bars.size(); ++k) {
      previous_high = std::max(previous_high, bars[k].high);
    }
    company.at_52_week_high =
        company.last_date == world.trading_days.back() && bars.back().high >= previous_high;
  });
}

void AddChartLists(DemoWorld& world, Random& random) {
  auto& lists = world.chart_lists;
  std::vector<int32_t> active;
  for (const DemoCompany& company : world.companies) {
    if (company.active) active.push_back(company.worden);
  }

  for (size_t s = 0; s < world.sectors.size(); ++s) {
    tc2000::ChartList sector{world.sectors[s].name, 5, {}};
    for (const DemoCompany& company : world.companies) {
      if (company.sector == static_cast<int32_t>(s)) sector.members.push_back(company.worden);
    }
    lists.push_back(std::move(sector));
    for (size_t n = 0; n < world.sectors[s].industries.size(); ++n) {
      tc2000::ChartList industry{world.sectors[s].industries[n], 4, {}};
      for (const DemoCompany& company : world.companies) {
        if (company.sector == static_cast<int32_t>(s) &&
            company.industry == static_cast<int32_t>(n)) {
          industry.members.push_back(company.worden);
        }
      }
      lists.push_back(std::move(industry));
    }
  }

  lists.push_back({"All Stocks", 0, active});
  lists.push_back({"Watch List", 0, Sample(random, active, 12)});
  lists.push_back({"Analysts' Picks", 0, Sample(random, active, 15)});

  tc2000::ChartList highs{"New Highs", 1, {}};
  for (const DemoCompany& company : world.companies) {
    if (company.at_52_week_high) highs.members.push_back(company.worden);
  }
  lists.push_back(std::move(highs));

  for (const IndustryGroup& group : IndustryGroups()) {
    tc2000::ChartList list{group.name, 6, {}};
    for (const DemoCompany& company : world.companies) {
      const std::string& industry = world.sectors[company.sector].industries[company.industry];
      if (std::find(group.industries.begin(), group.industries.end(), industry) !=
          group.industries.end()) {
        list.members.push_back(company.worden);
      }
    }
    lists.push_back(std::move(list));
  }

  lists.push_back({"My Charts", 7, Sample(random, active, 10)});

  // The largest active companies by market value, largest first.
  std::vector<int32_t> by_value = active;
  auto value = [&](int32_t worden) {
    const DemoCompany& company = world.companies[world.securities[worden - 1].company];
    return static_cast<double>(company.last_close) * company.shares_outstanding;
  };
  std::stable_sort(by_value.begin(), by_value.end(),
                   [&](int32_t a, int32_t b) { return value(a) > value(b); });
  by_value.resize(std::min(by_value.size(), std::clamp<size_t>(active.size() / 10, 1, 50)));
  lists.push_back({"Large Caps", 8, by_value});
}

// Removes a store file with its journal files; a file that is not there is no error.
void RemoveStoreFiles(const std::filesystem::path& path) {
  for (const char* ending : {"", "-wal", "-shm", "-journal"}) {
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(path.string() + ending), ignored);
  }
}

}  // namespace

// ---- World

DemoWorld MakeDemoWorld(DemoOptions options) {
  CheckOptions(options);
  options.end_date = LatestTradingDay(options.end_date == 0 ? Today() : options.end_date);
  const int32_t start = HistoryStart(options.end_date, options.years);
  if (start < 19710101) {
    throw automation::Error::WithDetail(
        automation::err::kInvalidArgument,
        fmt::format("a history of {} years to {} would start before 1971", options.years,
                    options.end_date));
  }

  DemoWorld world;
  world.options = options;
  world.trading_days = TradingDays(start, options.end_date);
  for (const SectorVocabulary& sector : Sectors()) {
    world.sectors.push_back({sector.name, sector.industries});
  }

  Random random(Mix(options.seed));
  world.securities.push_back(IndexSecurity(options.seed, world.trading_days.size()));
  world.securities.push_back(RateSecurity(options.seed, random, world.trading_days.size()));
  AddCompanies(world, random);
  Summarize(world);
  AddChartLists(world, random);
  return world;
}

std::vector<tc2000::Bar> DemoBars(const DemoWorld& world, const DemoSecurity& security) {
  return security.model.kind == DemoPriceModel::Kind::kRate ? RateBars(world, security.model)
                                                            : WalkBars(world, security.model);
}

int64_t WriteDemoStore(const DemoWorld& world, const std::filesystem::path& path,
                       const std::function<void(size_t done, size_t total)>& progress) {
  auto check = [&](const std::error_code& error, const char* what) {
    if (error) {
      throw automation::Error::WithDetail(
          automation::err::kFileAccess,
          fmt::format("cannot {} for {}: {}", what, path.string(), error.message()));
    }
  };
  const std::filesystem::path temporary = path.string() + ".tmp";
  std::error_code error;
  if (path.has_parent_path()) {
    std::filesystem::create_directories(path.parent_path(), error);
    check(error, "create the folder");
  }
  RemoveStoreFiles(temporary);

  // Removes the half-written store unless it was put in place.
  struct TemporaryStore {
    std::filesystem::path path;
    bool kept = false;
    ~TemporaryStore() {
      if (!kept) RemoveStoreFiles(path);
    }
  } guard{temporary};

  int64_t bars_written = 0;
  {
    auto store = tc2000::PriceStore::OpenForWriting(temporary);
    store->Begin();
    for (const DemoSecurity& security : world.securities) {
      const int32_t worden = store->UpsertSecurity(security.symbol, security.name, security.active);
      if (worden != security.worden) {
        throw automation::Error::WithDetail(
            automation::err::kInvalidArgument,
            fmt::format("the new store gave {} the Worden number {}, not {}", security.symbol,
                        worden, security.worden));
      }
    }
    store->Commit();

    // A few hundred securities a transaction; each batch's bars are drawn on all cores.
    constexpr size_t kBatch = 250;
    const size_t total = world.securities.size();
    std::vector<std::vector<tc2000::Bar>> batch;
    for (size_t first = 0; first < total; first += kBatch) {
      const size_t count = std::min(kBatch, total - first);
      batch.assign(count, {});
      ParallelFor(0, count,
                  [&](size_t i) { batch[i] = DemoBars(world, world.securities[first + i]); });
      store->Begin();
      for (size_t i = 0; i < count; ++i) {
        store->ReplaceBars(world.securities[first + i].worden, batch[i]);
        bars_written += static_cast<int64_t>(batch[i].size());
      }
      store->Commit();
      if (progress) progress(first + count, total);
    }
    store->ReplaceChartLists(world.chart_lists);
  }

  // The old store's journal files must not outlive it: SQLite would read them as the new
  // store's.
  for (const char* ending : {"-wal", "-shm"}) {
    std::filesystem::remove(std::filesystem::path(path.string() + ending), error);
    check(error, "remove the old journal");
  }
  std::filesystem::rename(temporary, path, error);
  check(error, "put the new store in place");
  guard.kept = true;
  return bars_written;
}

}  // namespace demo
