#include "web/QuoteService.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/automation/Convert.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/Registry.h"
#include "platform/net/LocalHttpServer.h"
#include "platform/tests/TestEnvironment.h"

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

// Thalmere.Quote, created by ProgID as the pages create it, steps through the service's answer:
// one entry a symbol asked for, in the order asked, an unknown one included.
TEST(QuoteServiceTest, SteppingThroughTheLocalQuoteService) {
  testing_support::ScopedTempHome home;
  auto book = std::make_shared<QuoteBook>();
  book->Set("MSFT", "25.10", "6/5/2003", "4:00pm", "-0.20", "25.30", "25.2", "25.5", "25", "100");
  book->Set("ABC", "10", "6/5/2003", "4:00pm", "0", "10", "10", "10", "10", "5");
  net::LocalHttpServer http;
  AddQuoteService(http.server(), book);
  const int port = http.Start();
  std::filesystem::create_directories(home.config() / "Kestrova");
  std::ofstream(home.config() / "Kestrova" / "kestrova.ini")
      << "[quotes]\nurl = http://127.0.0.1:" << port << "/\ntotal_timeout_ms = 5000\n";

  const automation::ObjectRef quote = automation::CreateObject("Thalmere.Quote");
  std::vector<std::string> seen;
  for (quote->Let("Symbol", automation::Variant("msft,ABC+nope"));
       !automation::CBool(quote->Get("EOF")); quote->Call("MoveNext")) {
    seen.push_back(automation::CStr(quote->Get("Symbol")));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"MSFT", "ABC", "nope"}));
}

}  // namespace
}  // namespace web
