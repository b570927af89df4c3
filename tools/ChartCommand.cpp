#include "tools/ChartCommand.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "platform/automation/Dispatch.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/automation/Variant.h"
#include "platform/tc2000/PriceStore.h"

namespace tools {

namespace {

using automation::Variant;

// Some 250 trading days make a year: more than 100,000 days are a typing error.
constexpr int32_t kMostDays = 100000;
// The sizes the chart component draws, in pixels.
constexpr int32_t kSmallestSide = 16;
constexpr int32_t kLargestSide = 10000;

struct Options {
  std::string symbol;
  std::string chart = "price";
  std::string days = "260";
  std::string frequency = "daily";
  std::string size = "1000x600";
  std::string out;
};

// Control characters as '?', so that a message stays one line whatever was typed.
std::string Printable(std::string_view text) {
  std::string shown(text);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return shown;
}

// A whole number from `least` to `most` written with digits alone; nullopt for anything
// else, a number too large for any type included.
std::optional<int32_t> WholeNumberIn(std::string_view text, int32_t least, int32_t most) {
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || text.front() == '-' || error != std::errc() ||
      end != text.data() + text.size() || value < least || value > most) {
    return std::nullopt;
  }
  return value;
}

// A command line the chart cannot be drawn from; its text is the whole message, in plain
// words, without an error number.
struct Refusal : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void Refuse(const std::string& why) { throw Refusal(why); }

// "1000x600" as width and height, each from 16 to 10000; anything else is an error naming
// the text.
std::pair<int32_t, int32_t> ParseSize(const std::string& text) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) Refuse("--size \"" + text + "\" is not WIDTHxHEIGHT, e.g. 1000x600");
  const auto width =
      WholeNumberIn(std::string_view(text).substr(0, x), kSmallestSide, kLargestSide);
  const auto height =
      WholeNumberIn(std::string_view(text).substr(x + 1), kSmallestSide, kLargestSide);
  if (!width || !height) {
    Refuse(fmt::format("--size \"{}\": width and height are whole numbers of pixels from {} to {}",
                       text, kSmallestSide, kLargestSide));
  }
  return {*width, *height};
}

int32_t ParseDays(const std::string& text) {
  const auto days = WholeNumberIn(text, 1, kMostDays);
  if (!days) {
    Refuse(
        fmt::format("--days \"{}\" is not a number of trading days from 1 to {}", text, kMostDays));
  }
  return *days;
}

// The ticker as the price store spells it, found without regard to case; an unknown one is
// an error naming it and the store.
std::string KnownTicker(const std::string& ticker) {
  const std::filesystem::path path = tc2000::PriceStore::DefaultPath();
  const auto store = tc2000::PriceStore::OpenForReading(path);
  const int32_t worden = store->WordenNumFromSymbol(ticker);
  const auto security = worden != 0 ? store->FindSecurity(worden) : std::nullopt;
  if (!security) {
    Refuse(fmt::format("no ticker \"{}\" in the price store {}", ticker, path.string()));
  }
  return security->symbol;
}

// The PDFChart member that gives the bytes for a file name: JPEG, PNG or PDF.
std::string MemberForFile(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".jpg" || extension == ".jpeg") return "JPEG";
  if (extension == ".png") return "PNG";
  if (extension == ".pdf") return "PDF";
  throw automation::Error::WithDetail(
      automation::err::kInvalidArgument,
      "cannot tell the format of \"" + path.string() + "\": use .jpg, .jpeg, .png or .pdf");
}

void Run(const Options& options) {
  const std::string member = MemberForFile(options.out);
  const auto [width, height] = ParseSize(options.size);
  const int32_t days = ParseDays(options.days);
  // The chart object draws a placeholder for a ticker it does not know, as the pages want;
  // asked for by name on the command line, an unknown ticker is an error instead.
  const std::string ticker = KnownTicker(options.symbol);
  const automation::ObjectRef chart = automation::CreateObject("Thalmere.PDFChart");
  chart->Let("days", Variant(days));
  chart->Let("Chart", Variant(options.chart));
  chart->Let("Width", Variant(width));
  chart->Let("Height", Variant(height));
  chart->Let("Frequency", Variant(options.frequency));
  chart->Let("Symbol", Variant(ticker));
  const Variant bytes = chart->Get(member);
  const auto& data = std::get<std::vector<uint8_t>>(bytes.Array().storage());
  std::ofstream file(options.out, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  file.close();
  if (!file) {
    throw automation::Error::WithDetail(automation::err::kFileAccess,
                                        "cannot write " + options.out);
  }
}

}  // namespace

void AddChartCommand(CLI::App& app) {
  static Options options;
  CLI::App* command = app.add_subcommand(
      "chart",
      "Draw one company's chart: price (candles, volume and averages), pc (price to cash "
      "flow), pb (price to book) or ps (price to sales); written as JPEG, PNG or PDF by the "
      "output file's extension.");
  command->add_option("symbol", options.symbol, "the ticker, in any case")->required();
  command->add_option("--chart", options.chart, "price, pc, pb or ps")
      ->check(CLI::IsMember({"price", "pc", "pb", "ps"}))
      ->capture_default_str();
  command->add_option("--days", options.days, "trading days of history, from 1")
      ->capture_default_str();
  command->add_option("--frequency", options.frequency, "daily or weekly (the price chart)")
      ->check(CLI::IsMember({"daily", "weekly"}))
      ->capture_default_str();
  command->add_option("--size", options.size, "WIDTHxHEIGHT in pixels")->capture_default_str();
  command->add_option("--out", options.out, "the file to write: .jpg, .jpeg, .png or .pdf")
      ->required();
  command->callback([] {
    try {
      Run(options);
    } catch (const std::exception& e) {
      fmt::print(stderr, "kestrova chart {}: {}\n", Printable(options.symbol), Printable(e.what()));
      throw CLI::RuntimeError(1);
    }
  });
}

}  // namespace tools
