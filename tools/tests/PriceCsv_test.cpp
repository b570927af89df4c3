#include "tools/PriceCsv.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tools {
namespace {

const std::vector<ColumnRule> kRules{{"Symbol", {"symbol", "ticker"}},
                                     {"Name", {"name", "companyname"}, false},
                                     {"Active", {"active"}, false}};

TEST(PriceCsvTest, FindsColumnsByHeaderNamesWhateverTheirSpelling) {
  struct Case {
    std::vector<std::string> header;
    std::optional<std::vector<size_t>> positions;
    std::string error;
  };
  const size_t none = std::string::npos;
  for (const Case& c : {
           Case{{"Company Name", "TICKER", "x"}, std::vector<size_t>{1, 0, none}, ""},
           Case{{"active", "sym_bol", "Name"}, std::vector<size_t>{1, 2, 0}, ""},
           Case{{"Name", "Active"},
                std::nullopt,
                "no header row Symbol (missing Symbol); file skipped"},
           Case{{"Symbol", "Ticker"}, std::nullopt, "the header names the Symbol column twice"},
       }) {
    std::string error;
    EXPECT_EQ(FindColumns(c.header, kRules, error), c.positions) << c.header.front();
    EXPECT_EQ(error, c.error) << c.header.front();
  }
  EXPECT_EQ(HeaderKey(" Adj_Close "), "adjclose");
}

TEST(PriceCsvTest, TakesOnlyLinesWithTheHeadersNumberOfFields) {
  std::string reason;
  EXPECT_EQ(DataFields({3, "\"A,B\",2"}, 2, reason), (std::vector<std::string>{"A,B", "2"}));
  EXPECT_FALSE(DataFields({4, "A,2,3"}, 2, reason));
  EXPECT_EQ(reason, "3 fields where the header has 2");
  EXPECT_FALSE(DataFields({5, "\"A,2"}, 2, reason));
  EXPECT_EQ(reason, "a quoted field is not closed");
}

TEST(PriceCsvTest, ReadsSymbolsFlagsAndRequiredValues) {
  for (const char* symbol : {"A", "BRK.B", "TNX--X", "ABCDEFGHIJKL"}) {
    EXPECT_TRUE(IsValidSymbol(symbol)) << symbol;
  }
  for (const char* symbol : {"", "A B", "A,B", "A\"B", "ABCDEFGHIJKLM", "\x7F"}) {
    EXPECT_FALSE(IsValidSymbol(symbol)) << symbol;
  }
  for (const char* yes : {"1", "-1", "TRUE", "Yes", "y"}) EXPECT_EQ(ParseActive(yes), true);
  for (const char* no : {"0", "False", "NO", "n"}) EXPECT_EQ(ParseActive(no), false);
  for (const char* neither : {"", "2", "maybe", " 1"})
    EXPECT_EQ(ParseActive(neither), std::nullopt);

  std::string reason;
  EXPECT_EQ(Required("12.5", "Close", reason), "12.5");
  EXPECT_FALSE(Required("", "Close", reason));
  EXPECT_EQ(reason, "missing Close");
  EXPECT_FALSE(Required("NULL", "Close", reason));
  EXPECT_EQ(reason, "Close is null");
  EXPECT_EQ(ParseDateCode("1/5/2024"), 20240105);
  EXPECT_EQ(DateText(20240105), "2024-01-05");
}

}  // namespace
}  // namespace tools
