#include "tools/PriceCsv.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

// The header line gives the fields each data line must have and where each rule's field is;
// a header whose quote is not closed has none of the columns.
TEST(PriceCsvTest, ReadsTheHeaderLineAgainstTheRules) {
  std::string error;
  const auto columns = ReadHeader({1, "Company Name,\"TICKER\",x,y"}, kRules, error);
  ASSERT_TRUE(columns) << error;
  EXPECT_EQ(columns->header_size, 4u);
  EXPECT_TRUE(columns->Has(1));
  EXPECT_FALSE(columns->Has(2));
  EXPECT_EQ(columns->Field({"Acme Inc", "ACME", "1", "2"}, 0), "ACME");
  EXPECT_FALSE(ReadHeader({1, "\"Symbol,Name"}, kRules, error));
  EXPECT_EQ(error, "no header row Symbol (missing Symbol); file skipped");
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

  EXPECT_EQ(MissingValue("12.5", "Close"), std::nullopt);
  EXPECT_EQ(MissingValue("", "Close"), "missing Close");
  EXPECT_EQ(MissingValue("NULL", "Close"), "Close is null");
  EXPECT_EQ(ParseDateCode("1/5/2024"), 20240105);
  EXPECT_EQ(DateText(20240105), "2024-01-05");
}

// Each field check gives the reason the report names, or nothing and the value read; a
// failed check leaves the value as it was.
TEST(PriceBarChecksTest, FieldsGiveTheirValueOrTheReason) {
  constexpr int32_t kToday = 20240628;
  struct DateCase {
    const char* field;
    std::optional<std::string> reason;
    int32_t date;
  };
  for (const DateCase& c : {
           DateCase{"2024-06-28", std::nullopt, 20240628},
           DateCase{"1/5/2024", std::nullopt, 20240105},
           DateCase{"", "missing Date", -1},
           DateCase{"null", "Date is null", -1},
           DateCase{"2024-02-30", "bad date \"2024-02-30\"", -1},
           DateCase{"2024-07-01", "date 2024-07-01 is after today", -1},
       }) {
    int32_t date = -1;
    EXPECT_EQ(ReadBarDate(c.field, kToday, date), c.reason) << c.field;
    EXPECT_EQ(date, c.date) << c.field;
  }

  struct NumberCase {
    const char* field;
    std::optional<std::string> reason;
    double value;
  };
  const std::string range = "is out of range: prices are above 0 and at most 1e+15";
  for (const NumberCase& c : {
           NumberCase{"10.5", std::nullopt, 10.5}, NumberCase{"+1e15", std::nullopt, 1e15},
           NumberCase{"", "missing High", -1}, NumberCase{"1O", "High is not a number: \"1O\"", -1},
           NumberCase{"nan", "High is not a number: \"nan\"", -1},
           NumberCase{"0", "High \"0\" " + range, -1},
           NumberCase{"-10", "High \"-10\" " + range, -1},
           NumberCase{"1.1e15", "High \"1.1e15\" " + range, -1},
           NumberCase{"1e-50", "High \"1e-50\" " + range, -1},  // 0 as a Single
       }) {
    double price = -1;
    EXPECT_EQ(ReadPrice(c.field, "High", price), c.reason) << c.field;
    EXPECT_EQ(price, c.value) << c.field;
  }
  for (const NumberCase& c : {
           NumberCase{"0", std::nullopt, 0},
           NumberCase{"3000000000.4", std::nullopt, 3000000000.4},
           NumberCase{"NULL", "Volume is null", -1},
           NumberCase{"1e3x", "Volume is not a number: \"1e3x\"", -1},
           NumberCase{"-5", "Volume \"-5\" is negative", -1},
       }) {
    double volume = -1;
    EXPECT_EQ(ReadVolume(c.field, volume), c.reason) << c.field;
    EXPECT_EQ(volume, c.value) << c.field;
  }
}

TEST(PriceBarChecksTest, OpenAndCloseLieWithinTheDaysRange) {
  struct Case {
    BarPrices prices;
    std::optional<std::string> reason;
  };
  for (const Case& c : {
           Case{{10, 11, 9, 10.5}, std::nullopt}, Case{{9, 11, 9, 11}, std::nullopt},
           Case{{5, 5, 5, 5}, std::nullopt}, Case{{10, 9, 11, 10}, "High 9 is below Low 11"},
           Case{{12, 11, 9, 10}, "Open 12 is outside Low 9 .. High 11"},
           Case{{8.5, 11, 9, 10}, "Open 8.5 is outside Low 9 .. High 11"},
           Case{{10, 11, 9, 8.5}, "Close 8.5 is outside Low 9 .. High 11"},
           Case{{12, 11, 9, 12}, "Open 12 is outside Low 9 .. High 11"},  // the first named
       }) {
    EXPECT_EQ(CheckDayRange(c.prices), c.reason)
        << c.prices.open << " " << c.prices.high << " " << c.prices.low << " " << c.prices.close;
  }
}

}  // namespace
}  // namespace tools
