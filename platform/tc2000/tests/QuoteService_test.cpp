#include "platform/tc2000/QuoteService.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "platform/net/LocalHttpServer.h"
#include "platform/tc2000/PriceStore.h"
#include "platform/tests/TestEnvironment.h"

namespace tc2000 {
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

// The route answers a request as a quote client sends it: one line a symbol, in the order
// asked and whatever the separators, as CSV.
TEST(QuoteServiceTest, AnswersTheRequestOverHttp) {
  auto book = std::make_shared<QuoteBook>();
  book->Set("MSFT", "25.10", "6/5/2003", "4:00pm", "-0.20", "25.30", "25.2", "25.5", "25", "100");
  net::LocalHttpServer http;
  AddQuoteService(http.server(), book);
  httplib::Client client("127.0.0.1", http.Start());
  const auto answer = client.Get("/d/quotes.csv?s=msft,nope+MSFT&f=sl1d1t1c1pohgv&e=.csv");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_EQ(answer->get_header_value("Content-Type").rfind("text/csv", 0), 0u);
  const std::string msft = "\"MSFT\",25.10,\"6/5/2003\",\"4:00pm\",-0.20,25.30,25.2,25.5,25,100\n";
  EXPECT_EQ(answer->body, msft + "\"nope\"" + kUnknownFields + msft);
}

TEST(PriceStoreQuotesTest, TheLatestBarAnswersAndTheRestIsUnknown) {
  testing_support::ScopedTempHome home;
  const std::filesystem::path path = PriceStore::DefaultPath();
  {
    auto store = PriceStore::OpenForWriting(path);
    const std::vector<Bar> two = {{20261203, 10.0f, 10.5f, 9.5f, 10.25f, 1000},
                                  {20261204, 10.3f, 11.0f, 10.1f, 10.75f, 2500}};
    store->ReplaceBars(store->UpsertSecurity("ABC", "Abc Inc", true), two);
    const std::vector<Bar> one = {{20261204, 5.0f, 5.0f, 5.0f, 5.0f, 7}};
    store->ReplaceBars(store->UpsertSecurity("ONE", "One", true), one);
    store->UpsertSecurity("NOBARS", "No bars", true);
  }
  const PriceStoreQuotes quotes(path);
  struct Case {
    const char* asked;
    const char* line;
  };
  for (const Case& c : {
           Case{"abc", R"("ABC",10.75,"12/4/2026","4:00pm",0.5,10.25,10.3,11,10.1,2500)"},
           Case{"ONE ", R"("ONE",5,"12/4/2026","4:00pm",0,5,5,5,5,7)"},
           Case{"NOBARS", R"("NOBARS",N/A,"N/A","N/A",N/A,N/A,N/A,N/A,N/A,N/A)"},
           Case{"XYZ", R"("XYZ",N/A,"N/A","N/A",N/A,N/A,N/A,N/A,N/A,N/A)"},
       }) {
    EXPECT_EQ(quotes.AnswerLine(c.asked), c.line) << c.asked;
  }
  // A store that is not there knows no symbol.
  EXPECT_EQ(PriceStoreQuotes(home.root() / "missing.db").AnswerLine("ABC"),
            R"("ABC",N/A,"N/A","N/A",N/A,N/A,N/A,N/A,N/A,N/A)");
}

}  // namespace
}  // namespace tc2000
