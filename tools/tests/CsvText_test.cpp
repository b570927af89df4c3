#include "tools/CsvText.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/tc2000/PriceStore.h"
#include "platform/tests/TestEnvironment.h"
#include "tools/FundamentalsImport.h"
#include "tools/PriceImport.h"

namespace tools {
namespace {

namespace fs = std::filesystem;

std::string Commas(size_t count) { return std::string(count, ','); }

TEST(CsvValueTest, ReadsNumbersAsTheFilesWriteThem) {
  struct Case {
    const char* text;
    std::optional<double> number;
    std::optional<int32_t> whole;
  };
  for (const Case& c : {
           Case{"12", 12, 12},
           Case{"+12", 12, 12},
           Case{"-0.5", -0.5, std::nullopt},
           Case{"+1e3", 1000, std::nullopt},
           Case{"2147483648", 2147483648.0, std::nullopt},
           Case{"", std::nullopt, std::nullopt},
           Case{"+", std::nullopt, std::nullopt},
           Case{"+-5", std::nullopt, std::nullopt},
           Case{"++5", std::nullopt, std::nullopt},
           Case{" 5", std::nullopt, std::nullopt},
           Case{"5x", std::nullopt, std::nullopt},
           Case{"inf", std::nullopt, std::nullopt},
       }) {
    EXPECT_EQ(ParseNumber(c.text), c.number) << c.text;
    EXPECT_EQ(ParseWholeNumber(c.text), c.whole) << c.text;
  }
}

TEST(CsvLimitTest, NamesTheFirstLimitARecordPasses) {
  const size_t longest = kMaxCsvRecordBytes;
  struct Case {
    std::string name;
    std::string text;
    std::optional<std::string> refusal;
  };
  const Case cases[] = {
      {"longest line", std::string(longest, 'a') + "\nb\n", std::nullopt},
      {"longest line, CR LF, at the end", "b\r\n" + std::string(longest, 'a') + "\r", std::nullopt},
      {"longest line and a byte", std::string(longest, 'a') + "b\r\n",
       "line 1 is longer than 1048576 bytes"},
      {"one byte more", "a\n" + std::string(longest + 1, 'a'),
       "line 2 is longer than 1048576 bytes"},
      {"quoted record over lines",
       "a\n\"" + std::string(longest / 2, 'x') + "\n" + std::string(longest / 2, 'x') + "\"\n",
       "the record from line 2 is longer than 1048576 bytes"},
      {"most fields", Commas(kMaxCsvFields - 1), std::nullopt},
      {"one field more", "Date\nx" + Commas(kMaxCsvFields), "line 2 has more than 10000 fields"},
      {"commas in quotes", "\"" + Commas(kMaxCsvFields) + "\",b", std::nullopt},
      {"doubled quote keeps the field open", "\"a\"\"" + Commas(kMaxCsvFields) + "\"",
       std::nullopt},
      // A quote inside a field is a character: the commas after it count.
      {"quote inside a field", "a\"" + Commas(kMaxCsvFields), "line 1 has more than 10000 fields"},
      // An unclosed quote holds the rest of the text as one record.
      {"unclosed quote", "a\n\"" + std::string(longest, '\n'),
       "the record from line 2 is longer than 1048576 bytes"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CsvLimitExceeded(c.text), c.refusal) << c.name;
  }
}

class CsvFileLimitTest : public ::testing::Test {
 protected:
  fs::path Write(const std::string& name, const std::string& text) {
    fs::create_directories(home_.data());
    const fs::path path = home_.data() / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  testing_support::ScopedTempHome home_;
};

TEST_F(CsvFileLimitTest, BothReadersRefuseAFileBeyondALimit) {
  struct Case {
    std::string name;
    std::string text;
    std::string refusal;  // empty: read
  };
  const Case cases[] = {
      {"header of commas", Commas(50u << 20), "line 1 has more than 10000 fields"},
      {"endless line", "Date,Close\r\n1,2\r\n" + std::string(3u << 20, 'x'),
       "line 3 is longer than 1048576 bytes"},
      {"longest line with CR LF", "a,b\r\n" + std::string(kMaxCsvRecordBytes, 'y') + "\r\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = Write("limits.csv", c.text);
    std::string error;
    const auto lines = ReadCsvLines(path, error);
    EXPECT_EQ(lines.has_value(), c.refusal.empty());
    if (lines) {
      EXPECT_EQ(lines->back().text.size(), kMaxCsvRecordBytes);
    }
    EXPECT_EQ(error, c.refusal);
    error.clear();
    const auto text = ReadCsvFile(path, error);
    EXPECT_EQ(text.has_value(), c.refusal.empty());
    EXPECT_EQ(error, c.refusal);
  }
}

// What the importers print about such a file is one short line naming it and the limit.
TEST_F(CsvFileLimitTest, ImportersReportTheLimitOnOneLine) {
  const fs::path prices = home_.data() / "prices";
  const fs::path fundamentals = home_.data() / "fundamentals";
  fs::create_directories(prices);
  fs::create_directories(fundamentals);
  std::string header = "Date,Open,High,Low,Close,Volume";
  for (int i = 0; i < 100000; ++i) header += ",c" + std::to_string(i);
  std::ofstream(prices / "KB.csv") << header << "\n2024-01-02,1,2,0.5,1.5,100\n";
  std::ofstream(fundamentals / "si_ci.csv") << "company_id,ticker" << header.substr(4) << "\n";

  std::ostringstream price_messages;
  const auto store = tc2000::PriceStore::OpenForWriting(home_.data() / "tc2000.db");
  const PriceImportSummary price_summary = ImportPrices(prices, *store, price_messages, {});
  EXPECT_EQ(price_summary.failed_files, 1);
  EXPECT_EQ(price_summary.bars, 0);

  std::ostringstream fundamentals_messages;
  const FundamentalsImportSummary fundamentals_summary =
      ImportFundamentals(fundamentals, fundamentals_messages);
  EXPECT_EQ(fundamentals_summary.failed_files, 1);

  for (const std::string& messages : {price_messages.str(), fundamentals_messages.str()}) {
    EXPECT_LT(messages.size(), 300u) << messages.substr(0, 300);
    EXPECT_EQ(messages.find('\n'), messages.size() - 1) << messages.substr(0, 300);
    EXPECT_NE(messages.find("line 1 has more than 10000 fields"), std::string::npos) << messages;
  }
}

}  // namespace
}  // namespace tools
