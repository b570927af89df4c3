#include "web/WebServer.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "platform/tc2000/PriceStore.h"
#include "platform/tests/TestEnvironment.h"
#include "web/Session.h"

namespace web {
namespace {

// A server of our own on a free port, and a client that talks to it as our pages do.
class WebServerTest : public ::testing::Test {
 protected:
  WebServerTest() {
    tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());  // an empty market
    WebServerOptions options;
    options.port = 0;
    options.web_root = DefaultWebRoot();
    options.access_log = false;
    options.quotes = std::make_shared<tc2000::QuoteBook>();
    server_ = std::make_unique<WebServer>(options);
    port_ = server_->Bind();
    thread_ = std::thread([this] { server_->Run(); });
    client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
    client_->set_read_timeout(10, 0);
    while (!client_->Get("/favicon.ico")) std::this_thread::yield();
    headers_ = {{"X-Kestrova-Token", server_->token()}};
    headers_.emplace("X-Kestrova-Session", Post("/api/sessions", Json::object())["session"]);
  }
  ~WebServerTest() override {
    server_->Stop();
    thread_.join();
  }

  Json Post(const std::string& path, const Json& body) {
    auto answer = client_->Post(path.c_str(), headers_, body.dump(), "application/json");
    EXPECT_TRUE(answer) << path;
    return answer ? Json::parse(answer->body) : Json();
  }
  Json Call(int64_t id, const std::string& member, const std::string& kind, Json args) {
    return Post("/api/objects/" + std::to_string(id),
                {{"member", member}, {"kind", kind}, {"args", std::move(args)}});
  }

  testing_support::ScopedTempHome home_;
  std::unique_ptr<WebServer> server_;
  int port_ = 0;
  std::thread thread_;
  std::unique_ptr<httplib::Client> client_;
  httplib::Headers headers_;
};

TEST_F(WebServerTest, MembersAreCalledByNameWithByReferenceResultsAndErrors) {
  const Json settings = Post("/api/objects", {{"progid", "thalmere.settings"}});
  ASSERT_EQ(settings["class"], "Settings");
  const int64_t id = settings["id"];
  EXPECT_EQ(Call(id, "ChartMAShortDays", "get", Json::array())["result"], 12);
  Call(id, "chartmashortdays", "let", {20});
  EXPECT_EQ(Call(id, "ChartMAShortDays", "get", Json::array())["result"], 20);

  // Quotes.isActive trims the caller's argument: the page gets it back.
  const Json created = Post("/api/objects", {{"progid", "Thalmere.Quotes"}});
  ASSERT_TRUE(created.contains("id")) << created.dump();
  const int64_t quotes = created["id"];
  const Json active = Call(quotes, "isActive", "call", {"  NOSUCH  "});
  EXPECT_EQ(active["byref"][0], "  NOSUCH");  // its trailing blanks gone

  const Json missing = Call(id, "NoSuchMember", "get", Json::array());
  EXPECT_EQ(missing["error"]["number"], 438);
  const Json bad = Post("/api/objects", {{"progid", "Nobody.Nothing"}});
  EXPECT_EQ(bad["error"]["number"], 429);

  // Released objects are gone; another page cannot reach this page's objects.
  auto released = client_->Delete(("/api/objects/" + std::to_string(id)).c_str(), headers_);
  ASSERT_TRUE(released);
  EXPECT_EQ(Call(id, "ChartMAShortDays", "get", Json::array())["error"]["number"], 91);
  headers_.erase("X-Kestrova-Session");
  headers_.emplace("X-Kestrova-Session", Post("/api/sessions", Json::object())["session"]);
  EXPECT_EQ(Call(quotes, "isActive", "call", {"X"})["error"]["number"], 91);
}

// A second server on a port in use, or a port out of range, is refused in one line; it never
// shares the port with the first one.
TEST_F(WebServerTest, APortInUseOrOutOfRangeIsRefused) {
  for (int port : {port_, 99999, -5}) {
    WebServerOptions options;
    options.port = port;
    options.web_root = DefaultWebRoot();
    options.access_log = false;
    options.quotes = std::make_shared<tc2000::QuoteBook>();
    WebServer second(options);
    try {
      second.Bind();
      ADD_FAILURE() << "port " << port << " was bound";
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find(std::to_string(port)), std::string::npos)
          << error.what();
    }
  }
}

TEST(SessionTest, ClosingAPageCancelsItsDialogAndMergesNothingAfter) {
  auto session = std::make_shared<Session>("s");
  std::optional<int32_t> color = 1;
  std::thread asking([&] { color = session->ui_host().ChooseColor(5); });
  std::vector<StreamMessage> asked;
  while (asked.empty()) asked = *session->Take(std::chrono::milliseconds(100));
  EXPECT_EQ(asked[0].event, "ui");
  EXPECT_EQ(asked[0].data["kind"], "color");
  session->Close();
  asking.join();
  EXPECT_EQ(color, std::nullopt);
  EXPECT_EQ(session->ui_host().MsgBox("after", ui::msgbox::kOkCancel), ui::msgbox::kCancel);
}

TEST(SessionTest, PatchesOfOneControlMergeWhileTheStreamIsBehind) {
  Session session("s");
  session.Push("state", {{"control", 1}, {"patch", {{"pgProgress", {{"value", 1}}}}}});
  session.Push("state",
               {{"control", 1},
                {"patch", {{"pgProgress", {{"value", 2}}}, {"lblStatus", {{"caption", "x"}}}}}});
  session.Push("event", {{"control", 1}, {"name", "OnStatus"}});
  session.Push("state", {{"control", 1}, {"patch", {{"pgProgress", {{"value", 3}}}}}});
  const std::vector<StreamMessage> sent = *session.Take(std::chrono::milliseconds(0));
  ASSERT_EQ(sent.size(), 3u);  // the event keeps its place between the patches
  EXPECT_EQ(sent[0].data["patch"]["pgProgress"]["value"], 2);
  EXPECT_EQ(sent[0].data["patch"]["lblStatus"]["caption"], "x");
  EXPECT_EQ(sent[2].data["patch"]["pgProgress"]["value"], 3);
}

TEST(SessionTest, AReloadedPageTakesTheStreamOver) {
  Session session("s");
  const int64_t old_stream = session.StreamOpened();
  const int64_t new_stream = session.StreamOpened();
  session.Push("event", {{"control", 1}, {"name", "OnChange"}});
  EXPECT_EQ(session.Take(std::chrono::milliseconds(0), old_stream), std::nullopt);
  EXPECT_EQ(session.Take(std::chrono::milliseconds(0), new_stream)->size(), 1u);
  // Taken back before its new stream opens: the stream of the page that went is done at once.
  session.Resume();
  EXPECT_EQ(session.Take(std::chrono::milliseconds(0), new_stream), std::nullopt);
}

}  // namespace
}  // namespace web
