#include "tools/ChartCommand.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/automation/Dispatch.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/automation/Variant.h"

namespace tools {

namespace {

using automation::Variant;

struct Options {
  std::string symbol;
  std::string chart = "price";
  int32_t days = 260;
  std::string frequency = "daily";
  std::string size = "1000x600";
  std::string out;
};

// "1000x600" as width and height; anything else is an error naming the text.
std::pair<int32_t, int32_t> ParseSize(const std::string& text) {
  const size_t x = text.find_first_of("xX");
  int32_t width = 0, height = 0;
  const char* end = text.data() + text.size();
  const bool ok = x != std::string::npos &&
                  std::from_chars(text.data(), text.data() + x, width).ptr == text.data() + x &&
                  std::from_chars(text.data() + x + 1, end, height).ptr == end && x > 0 &&
                  x + 1 < text.size();
  if (!ok) {
    throw automation::Error::WithDetail(automation::err::kInvalidArgument,
                                        "size \"" + text + "\" is not WIDTHxHEIGHT");
  }
  return {width, height};
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
  const automation::ObjectRef chart = automation::CreateObject("Thalmere.PDFChart");
  chart->Let("days", Variant(options.days));
  chart->Let("Chart", Variant(options.chart));
  chart->Let("Width", Variant(width));
  chart->Let("Height", Variant(height));
  chart->Let("Frequency", Variant(options.frequency));
  chart->Let("Symbol", Variant(options.symbol));
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
  command->add_option("symbol", options.symbol, "the ticker")->required();
  command->add_option("--chart", options.chart, "price, pc, pb or ps")
      ->check(CLI::IsMember({"price", "pc", "pb", "ps"}))
      ->capture_default_str();
  command->add_option("--days", options.days, "trading days of history")
      ->check(CLI::NonNegativeNumber)
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
      fmt::print(stderr, "kestrova chart {}: {}\n", options.symbol, e.what());
      throw CLI::RuntimeError(1);
    }
  });
}

}  // namespace tools
