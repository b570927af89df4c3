#include "library/Quote.h"

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "platform/automation/Convert.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/net/LocalHttpServer.h"
#include "platform/tc2000/QuoteService.h"
#include "platform/tests/TestEnvironment.h"

namespace thalmere {
namespace {

// A quote service on a loopback port that answers with whatever body the test sets, and
// remembers the request targets it saw.
class FakeQuoteServer {
 public:
  FakeQuoteServer() {
    http_.server().Get("/d/quotes.csv",
                       [this](const httplib::Request& request, httplib::Response& r) {
                         std::unique_lock lock(mutex_);
                         targets_.push_back(request.target);
                         if (hang_) {
                           released_.wait(lock, [this] { return !hang_; });
                           return;
                         }
                         r.set_content(body_, "text/csv");
                       });
    http_.Start();
  }
  ~FakeQuoteServer() {
    Release();
    http_.Stop();
  }
  void SetBody(std::string body) {
    std::lock_guard lock(mutex_);
    body_ = std::move(body);
  }
  void Hang() {
    std::lock_guard lock(mutex_);
    hang_ = true;
  }
  void Release() {
    {
      std::lock_guard lock(mutex_);
      hang_ = false;
    }
    released_.notify_all();
  }
  std::string LastTarget() {
    std::lock_guard lock(mutex_);
    return targets_.empty() ? "" : targets_.back();
  }
  int port() const { return http_.port(); }

 private:
  net::LocalHttpServer http_;
  std::mutex mutex_;
  std::condition_variable released_;
  std::string body_;
  bool hang_ = false;
  std::vector<std::string> targets_;
};

class QuoteTest : public ::testing::Test {
 protected:
  void SetUp() override { PointAt(server_.port(), 300); }

  // Writes the installation configuration that sends quote requests to `port`.
  void PointAt(int port, long total_ms) {
    std::filesystem::create_directories(home_.config() / "Kestrova");
    std::ofstream(home_.config() / "Kestrova" / "kestrova.ini")
        << "[quotes]\nurl = http://127.0.0.1:" << port << "/\nconnect_timeout_ms = 1000\n"
        << "total_timeout_ms = " << total_ms << "\n";
  }

  testing_support::ScopedTempHome home_;
  FakeQuoteServer server_;
  Quote quote_;
};

constexpr const char* kAbcLine =
    "\"ABC\",125.5,\"6/5/2003\",\"4:01pm\",+1.25,124.25,124.5,126.0,124.0,5349200";

TEST_F(QuoteTest, OneLineOfTenFieldsGivesOneEntry) {
  server_.SetBody(std::string(kAbcLine) + "\n");
  quote_.Let("Symbol", automation::Variant("ABC"));
  EXPECT_EQ(quote_.Symbol(), "ABC");
  EXPECT_EQ(quote_.LastPrice(), 125.5f);
  EXPECT_EQ(quote_.TradeDate(), "6/5/2003");
  EXPECT_EQ(quote_.TradeTime(), "4:01pm");
  EXPECT_EQ(quote_.PriceChange(), 1.25f);
  EXPECT_EQ(quote_.PreviousPrice(), 124.25f);
  EXPECT_EQ(quote_.OpenPrice(), 124.5f);
  EXPECT_EQ(quote_.HighPrice(), 126.0f);
  EXPECT_EQ(quote_.LowPrice(), 124.0f);
  EXPECT_EQ(quote_.Volume(), 5349200.0f);
  EXPECT_EQ(quote_.Get("BOF"), automation::Variant(false));
  EXPECT_EQ(quote_.Get("EOF"), automation::Variant(false));
  EXPECT_EQ(server_.LastTarget(), "/d/quotes.csv?s=ABC&f=sl1d1t1c1pohgv&e=.csv");
  quote_.Call("MoveNext");
  EXPECT_TRUE(quote_.EOF_());
  EXPECT_EQ(quote_.LastPrice(), 125.5f);  // the values stay
}

TEST_F(QuoteTest, LinesWithOtherFieldCountsAreSkippedAndBadNumbersReadZero) {
  server_.SetBody(
      "\"NINE\",1,\"d\",\"t\",1,1,1,1,1\n"
      "\"ELEVEN\",\"Big, Inc\",1,\"d\",\"t\",1,1,1,1,1,1\n"
      "\"XYZ\",N/A,\"N/A\",\"N/A\",N/A,N/A,abc,N/A,N/A,N/A\r\n"
      "\"AB\"C\",2,\"d\",\"t\",0,0,0,0,0,7\r\n");
  quote_.Let("Symbol", automation::Variant("NINE+ELEVEN+XYZ+QUOTE"));
  EXPECT_EQ(quote_.Symbol(), "XYZ");
  EXPECT_EQ(quote_.LastPrice(), 0.0f);
  EXPECT_EQ(quote_.OpenPrice(), 0.0f);
  EXPECT_EQ(quote_.TradeTime(), "N/A");
  quote_.MoveNext();
  EXPECT_EQ(quote_.Symbol(), "ABC\"");  // the third quote stays
  EXPECT_EQ(quote_.Volume(), 7.0f);     // a carriage return does not spoil the number
  quote_.MoveNext();
  EXPECT_TRUE(quote_.EOF_());
  EXPECT_FALSE(quote_.BOF());
}

TEST_F(QuoteTest, AnEmptyAnswerKeepsThePreviousValues) {
  server_.SetBody(std::string(kAbcLine) + "\n");
  quote_.SetSymbol("ABC");
  server_.SetBody("");
  quote_.SetSymbol("NONE");
  EXPECT_TRUE(quote_.BOF());
  EXPECT_TRUE(quote_.EOF_());
  EXPECT_EQ(quote_.Symbol(), "NONE");
  EXPECT_EQ(quote_.LastPrice(), 125.5f);
}

TEST_F(QuoteTest, MoveNextOnANewObjectSetsEof) {
  Quote fresh;
  EXPECT_FALSE(fresh.EOF_());
  EXPECT_FALSE(fresh.BOF());
  fresh.MoveNext();
  EXPECT_TRUE(fresh.EOF_());
}

TEST_F(QuoteTest, TwoLinesForOneSymbolAreADuplicateKey) {
  server_.SetBody("\"XYZ\",1,\"d\",\"t\",0,0,0,0,0,0\n\"MSFT\",1,\"d\",\"t\",0,0,0,0,0,0\n");
  quote_.SetSymbol("XYZ+MSFT");
  server_.SetBody(std::string(kAbcLine) + "\n" + kAbcLine + "\n");
  try {
    quote_.SetSymbol("ABC");
    FAIL();
  } catch (const automation::Error& e) {
    EXPECT_EQ(e.Number(), automation::err::kDuplicateKey);
  }
  EXPECT_TRUE(quote_.EOF_());
  quote_.MoveNext();  // the half-read answer gives nothing to step onto
  EXPECT_TRUE(quote_.EOF_());
}

TEST_F(QuoteTest, UnsafeCharactersAreEscapedAndSeparatorsKept) {
  server_.SetBody("");
  quote_.SetSymbol("^DJI,BRK B+a&b");
  EXPECT_EQ(server_.LastTarget(), "/d/quotes.csv?s=%5EDJI,BRK%20B+a&b&f=sl1d1t1c1pohgv&e=.csv");
}

TEST_F(QuoteTest, FailedTransfersAreErrorsOfTheAssignment) {
  server_.Hang();
  try {
    quote_.SetSymbol("ABC");
    FAIL() << "a server that never answers must time out";
  } catch (const automation::Error& e) {
    EXPECT_EQ(e.Number(), automation::err::kNetwork);
  }
  EXPECT_TRUE(quote_.BOF());
  EXPECT_TRUE(quote_.EOF_());
  server_.Release();

  // A port nobody listens on: bind one, then close it.
  int closed_port = 0;
  {
    httplib::Server probe;
    closed_port = probe.bind_to_any_port("127.0.0.1");
  }
  PointAt(closed_port, 2000);
  EXPECT_THROW(quote_.SetSymbol("ABC"), automation::Error);
}

// Thalmere.Quote, created by ProgID as the pages create it, steps through the answer of the
// system's own quote service: one entry a symbol asked for, in the order asked, an unknown one
// included.
TEST(QuoteServiceTest, SteppingThroughTheLocalQuoteService) {
  testing_support::ScopedTempHome home;
  auto book = std::make_shared<tc2000::QuoteBook>();
  book->Set("MSFT", "25.10", "6/5/2003", "4:00pm", "-0.20", "25.30", "25.2", "25.5", "25", "100");
  book->Set("ABC", "10", "6/5/2003", "4:00pm", "0", "10", "10", "10", "10", "5");
  net::LocalHttpServer http;
  tc2000::AddQuoteService(http.server(), book);
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
}  // namespace thalmere
