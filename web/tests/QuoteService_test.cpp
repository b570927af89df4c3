#include "web/QuoteService.h"

#include <gtest/gtest.h>

#include <string>

namespace web {
namespace {

const std::string kUnknownFields = ",N/A,\"N/A\",\"N/A\",N/A,N/A,N/A,N/A,N/A,N/A\n";

// A symbol echoed back stays within its own line: control characters of the request show as
// %XX, everything else as it came.
TEST(QuoteServiceTest, EchoedSymbolsKeepToTheirLine) {
  QuoteBook book;
  book.Set("ABC", "10", "6/5/2003", "4:00pm", "0", "10", "10", "10", "10", "5");
  struct Case {
    std::string symbols;
    std::string answer;
  };
  const Case cases[] = {
      {"abc+X\n\"FAKE\"",
       "\"ABC\",10,\"6/5/2003\",\"4:00pm\",0,10,10,10,10,5\n\"X%0A\"FAKE\"\"" + kUnknownFields},
      {std::string("\r\t\x7f\x01Z", 5), "\"%0D%09%7F%01Z\"" + kUnknownFields},
      {std::string("N\0UL", 4), "\"N%00UL\"" + kUnknownFields},
      {"Z\xc3\xbcrich", "\"Z\xc3\xbcrich\"" + kUnknownFields},
  };
  for (const Case& c : cases) EXPECT_EQ(QuotesCsvAnswer(book, c.symbols), c.answer) << c.symbols;
}

}  // namespace
}  // namespace web
