#include "tools/PriceImport.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "platform/automation/DateCode.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/automation/Text.h"
#include "platform/system/Clock.h"
#include "tools/CsvText.h"
#include "tools/ImportReport.h"
#include "tools/PriceCsv.h"

namespace tools {

namespace {

using automation::TrimBlanks;

constexpr const char* kSecuritiesFile = "securities.csv";
constexpr const char* kChartListsFile = "chartlists.csv";
constexpr int64_t kMaxVolume = std::numeric_limits<int32_t>::max();

// ---- securities.csv

struct SecurityRow {
  std::string symbol;
  std::optional<std::string> name;  // none: keep the stored name, or the symbol for a new one
  bool active = true;
};

void ImportSecurities(const std::filesystem::path& path, tc2000::PriceStore& store,
                      ImportReport& report, PriceImportSummary& summary) {
  const std::string file = path.string();
  std::string error;
  const auto lines = ReadCsvLines(path, error);
  if (!lines) return report.FailedFile(file, error);
  if (lines->empty()) return;

  enum { kSymbol, kName, kActive };
  const auto columns = ReadHeader(lines->front(),
                                  {{"Symbol", {"symbol", "ticker"}},
                                   {"Name", {"name", "companyname"}, false},
                                   {"Active", {"active"}, false}},
                                  error);
  if (!columns) return report.FailedFile(file, error);

  std::vector<SecurityRow> rows;
  std::unordered_map<std::string, int> first_line;
  for (size_t i = 1; i < lines->size(); ++i) {
    const CsvLine& line = (*lines)[i];
    std::string reason;
    const auto fields = DataFields(line, columns->header_size, reason);
    if (!fields) {
      report.BadLine(file, line.number, reason);
      continue;
    }
    SecurityRow row;
    row.symbol = automation::UpperCase(columns->Field(*fields, kSymbol));
    if (row.symbol.empty()) {
      report.BadLine(file, line.number, "missing Symbol");
      continue;
    }
    if (!IsValidSymbol(row.symbol)) {
      report.BadLine(file, line.number, fmt::format("{} is no symbol", ShownField(row.symbol)));
      continue;
    }
    if (columns->Has(kName) && !columns->Field(*fields, kName).empty()) {
      row.name = columns->Field(*fields, kName);
    }
    if (columns->Has(kActive) && !columns->Field(*fields, kActive).empty()) {
      const auto active = ParseActive(columns->Field(*fields, kActive));
      if (!active) {
        report.BadLine(file, line.number,
                       fmt::format("Active must be 1/0, true/false, yes/no or Y/N, not {}",
                                   ShownField(columns->Field(*fields, kActive))));
        continue;
      }
      row.active = *active;
    }
    const auto [seen, added] = first_line.emplace(row.symbol, line.number);
    if (!added) {
      report.BadLine(file, line.number,
                     fmt::format("{} again (first on line {})", row.symbol, seen->second));
      continue;
    }
    rows.push_back(std::move(row));
  }
  if (rows.empty()) {
    if (lines->size() > 1) report.FailedFile(file, "no good rows; the securities are unchanged");
    return;
  }

  try {
    tc2000::StoreTransaction transaction(store);
    for (const SecurityRow& row : rows) {
      std::string name = row.name.value_or(row.symbol);
      if (!row.name) {
        if (const auto stored = store.FindSecurity(store.WordenNumFromSymbol(row.symbol))) {
          name = stored->name;
        }
      }
      store.UpsertSecurity(row.symbol, name, row.active);
    }
    transaction.Commit();
    summary.securities += static_cast<int32_t>(rows.size());
  } catch (const automation::Error& e) {
    report.FailedFile(file, fmt::format("not stored, the securities are unchanged: {}", e.what()));
  }
}

// ---- <SYMBOL>.csv

// The file's good bars ascending by date, none dated after `today` (a date code); nullopt
// when its header is not one of bars. A volume beyond the store's range is reported, counted
// in `clamped_volumes` and stored as the largest it holds.
std::optional<std::vector<tc2000::Bar>> ReadBars(const std::string& file,
                                                 const std::vector<CsvLine>& lines, int32_t today,
                                                 ImportReport& report, int32_t& clamped_volumes,
                                                 std::string& error) {
  enum { kDate, kOpen, kHigh, kLow, kClose, kVolume };
  const auto columns = ReadHeader(lines.front(),
                                  {{"Date", {"date", "timestamp"}},
                                   {"Open", {"open"}},
                                   {"High", {"high"}},
                                   {"Low", {"low"}},
                                   {"Close", {"close"}},
                                   {"Volume", {"volume"}}},
                                  error);
  if (!columns) return std::nullopt;

  std::vector<tc2000::Bar> bars;
  std::unordered_map<int32_t, int> first_line;
  for (size_t i = 1; i < lines.size(); ++i) {
    const CsvLine& line = lines[i];
    std::string fields_fault;
    const auto fields = DataFields(line, columns->header_size, fields_fault);
    auto field = [&](int column) -> const std::string& { return columns->Field(*fields, column); };
    // The checks in the order a reader takes the line; the first fault is the one reported.
    std::optional<std::string> fault;
    int32_t date = 0;
    BarPrices prices;
    double volume = 0;
    if (!fields) fault = std::move(fields_fault);
    if (!fault) fault = ReadBarDate(field(kDate), today, date);
    if (!fault) fault = ReadPrice(field(kOpen), "Open", prices.open);
    if (!fault) fault = ReadPrice(field(kHigh), "High", prices.high);
    if (!fault) fault = ReadPrice(field(kLow), "Low", prices.low);
    if (!fault) fault = ReadPrice(field(kClose), "Close", prices.close);
    if (!fault) fault = CheckDayRange(prices);
    if (!fault) fault = ReadVolume(field(kVolume), volume);
    if (!fault) {
      const auto [seen, added] = first_line.emplace(date, line.number);
      if (!added) {
        fault = fmt::format("duplicate date {} (first on line {})", DateText(date), seen->second);
      }
    }
    if (fault) {
      report.BadLine(file, line.number, *fault);
      continue;
    }

    double shares = std::round(volume);
    if (shares > static_cast<double>(kMaxVolume)) {
      report.Note(file, line.number,
                  fmt::format("volume {} is beyond the 32-bit range, stored as {}", field(kVolume),
                              kMaxVolume));
      ++clamped_volumes;
      shares = static_cast<double>(kMaxVolume);
    }
    tc2000::Bar bar;
    bar.date = date;
    bar.open = static_cast<float>(prices.open);
    bar.high = static_cast<float>(prices.high);
    bar.low = static_cast<float>(prices.low);
    bar.close = static_cast<float>(prices.close);
    bar.volume = static_cast<int32_t>(shares);
    bars.push_back(bar);
  }
  std::sort(bars.begin(), bars.end(),
            [](const tc2000::Bar& a, const tc2000::Bar& b) { return a.date < b.date; });
  return bars;
}

void ImportBars(const std::filesystem::path& path, const std::string& symbol, int32_t today,
                const PriceImportOptions& options, tc2000::PriceStore& store, ImportReport& report,
                PriceImportSummary& summary) {
  const std::string file = path.string();
  std::string error;
  const auto lines = ReadCsvLines(path, error);
  if (!lines) return report.FailedFile(file, error);
  if (lines->empty()) return report.FailedFile(file, "empty; file skipped");
  const auto bars = ReadBars(file, *lines, today, report, summary.clamped_volumes, error);
  if (!bars) return report.FailedFile(file, error);
  if (bars->empty()) {
    return report.FailedFile(file,
                             fmt::format("no good bars; the bars of {} are unchanged", symbol));
  }
  // Every data line is a good bar or a reported bad line.
  const size_t data_lines = lines->size() - 1;
  const auto refusal = TooManyBadLines(data_lines - bars->size(), data_lines);
  if (refusal && !options.accept_bad_lines) {
    return report.FailedFile(file, fmt::format("{}; the bars of {} are unchanged "
                                               "(--accept-bad-lines imports the good ones)",
                                               *refusal, symbol));
  }

  try {
    tc2000::StoreTransaction transaction(store);
    int32_t worden = store.WordenNumFromSymbol(symbol);
    if (worden == 0) worden = store.UpsertSecurity(symbol, symbol, true);
    store.ReplaceBars(worden, *bars);
    transaction.Commit();
    ++summary.price_files;
    summary.bars += static_cast<int64_t>(bars->size());
  } catch (const automation::Error& e) {
    report.FailedFile(
        file, fmt::format("not stored, the bars of {} are unchanged: {}", symbol, e.what()));
  }
}

// ---- chartlists.csv

void ImportChartLists(const std::filesystem::path& path, tc2000::PriceStore& store,
                      ImportReport& report, PriceImportSummary& summary) {
  const std::string file = path.string();
  std::string error;
  const auto lines = ReadCsvLines(path, error);
  if (!lines) return report.FailedFile(file, error);
  if (lines->empty()) return report.FailedFile(file, "empty; the chart lists are unchanged");

  enum { kList, kType, kSymbol };
  const auto columns = ReadHeader(lines->front(),
                                  {{"List", {"list", "listname", "name"}},
                                   {"Type", {"type", "listtype"}},
                                   {"Symbol", {"symbol"}}},
                                  error);
  if (!columns) return report.FailedFile(file, error);

  struct ListInFile {
    tc2000::ChartList list;
    int line = 0;  // where it first appeared
    std::unordered_map<int32_t, int> member_lines;
  };
  std::vector<ListInFile> lists;
  std::map<std::string, size_t> index_by_name;
  int good_rows = 0;
  for (size_t i = 1; i < lines->size(); ++i) {
    const CsvLine& line = (*lines)[i];
    std::string reason;
    const auto fields = DataFields(line, columns->header_size, reason);
    if (!fields) {
      report.BadLine(file, line.number, reason);
      continue;
    }
    const std::string& name = columns->Field(*fields, kList);
    const std::string& type_text = columns->Field(*fields, kType);
    const std::string symbol = automation::UpperCase(columns->Field(*fields, kSymbol));
    if (name.empty()) {
      report.BadLine(file, line.number, "missing List");
      continue;
    }
    const auto type = ParseWholeNumber(type_text);
    if (!type) {
      report.BadLine(file, line.number,
                     fmt::format("Type must be a whole number, not {}", ShownField(type_text)));
      continue;
    }
    const auto found = index_by_name.find(name);
    if (found != index_by_name.end() && lists[found->second].list.type != *type) {
      const ListInFile& earlier = lists[found->second];
      report.BadLine(file, line.number,
                     fmt::format("list {} has type {} (line {}), not {}", ShownField(name),
                                 earlier.list.type, earlier.line, *type));
      continue;
    }
    int32_t worden = 0;
    if (!symbol.empty()) {
      worden = store.WordenNumFromSymbol(symbol);
      if (worden == 0) {
        report.BadLine(file, line.number, fmt::format("unknown symbol {}", ShownField(symbol)));
        continue;
      }
    }
    if (found == index_by_name.end()) {
      index_by_name.emplace(name, lists.size());
      lists.push_back({tc2000::ChartList{name, *type, {}}, line.number, {}});
    }
    ListInFile& list = lists[index_by_name.at(name)];
    if (worden != 0) {
      const auto [seen, added] = list.member_lines.emplace(worden, line.number);
      if (!added) {
        report.BadLine(file, line.number,
                       fmt::format("{} is in list {} already (line {})", symbol, ShownField(name),
                                   seen->second));
        continue;
      }
      list.list.members.push_back(worden);
    }
    ++good_rows;
  }
  // A file whose every row was bad says nothing about the lists wanted; the stored ones stay.
  if (good_rows == 0 && lines->size() > 1) {
    return report.FailedFile(file, "no good rows; the chart lists are unchanged");
  }

  std::vector<tc2000::ChartList> chart_lists;
  int32_t members = 0;
  for (ListInFile& list : lists) {
    members += static_cast<int32_t>(list.list.members.size());
    chart_lists.push_back(std::move(list.list));
  }
  try {
    tc2000::StoreTransaction transaction(store);
    store.ReplaceChartLists(chart_lists);
    transaction.Commit();
    summary.chart_lists += static_cast<int32_t>(chart_lists.size());
    summary.list_members += members;
  } catch (const automation::Error& e) {
    report.FailedFile(file, fmt::format("not stored, the chart lists are unchanged: {}", e.what()));
  }
}

}  // namespace

PriceImportSummary ImportPrices(const std::filesystem::path& folder, tc2000::PriceStore& store,
                                std::ostream& messages, const PriceImportOptions& options) {
  PriceImportSummary summary;
  ImportReport report(messages, summary.bad_lines, summary.failed_files);
  const int32_t today = automation::DateCode::OfDate(kestrova_system::CurrentClock().Now()).Code();

  std::optional<std::filesystem::path> securities, chart_lists;
  std::vector<std::filesystem::path> price_files;
  for (const std::filesystem::path& path : CsvFilesIn(folder)) {
    const std::string name = path.filename().string();
    if (automation::EqualsIgnoringCase(name, kSecuritiesFile)) {
      securities = path;
    } else if (automation::EqualsIgnoringCase(name, kChartListsFile)) {
      chart_lists = path;
    } else {
      price_files.push_back(path);
    }
  }
  std::sort(price_files.begin(), price_files.end());

  if (securities) ImportSecurities(*securities, store, report, summary);

  // Two files whose names differ only in case hold the same symbol; the first one counts.
  std::map<std::string, std::string> file_of_symbol;
  for (const std::filesystem::path& path : price_files) {
    const std::string symbol = automation::UpperCase(TrimBlanks(path.stem().string()));
    if (!IsValidSymbol(symbol)) {
      report.FailedFile(path.string(),
                        fmt::format("{} is no symbol (1 to 12 characters without blanks, commas "
                                    "or quotes); file skipped",
                                    ShownField(path.stem().string())));
      continue;
    }
    const auto [earlier, added] = file_of_symbol.emplace(symbol, path.filename().string());
    if (!added) {
      report.FileGivenTwice(path.string(), "the bars of " + symbol, earlier->second);
      continue;
    }
    ImportBars(path, symbol, today, options, store, report, summary);
  }

  if (chart_lists) ImportChartLists(*chart_lists, store, report, summary);
  return summary;
}

}  // namespace tools
