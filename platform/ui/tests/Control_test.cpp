#include "platform/ui/Control.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/automation/Convert.h"
#include "platform/ui/UiHost.h"
#include "platform/ui/tests/RecordingSink.h"

namespace ui {
namespace {

using automation::Variant;

using testing_support::RecordingSink;

// A control whose handlers record what they saw and do what the child's name says.
class TestControl : public Control {
 public:
  TestControl() { SetMany({{"txtName", {{"text", Variant("start")}}}}); }
  ~TestControl() override { Close(); }

  void Disable(const std::string& child) { Set(child, "enabled", Variant(false)); }

  std::vector<std::string> seen;
  std::thread::id handler_thread;
  std::atomic<bool> release{false};

 protected:
  void HandleEvent(const std::string& child, const std::string& event, Variant&) override {
    handler_thread = std::this_thread::get_id();
    seen.push_back(child + "." + event + "=" + Text(child));
    if (child == "btnFail") throw automation::Error(automation::err::kOverflow, "too big");
    if (child == "btnAsk") CurrentUiHost()->MsgBox("asked");
    if (child == "btnEcho") Set("lblEcho", "caption", Variant(Text("txtName")));
    if (child == "btnRaise") RaiseControlEvent("OnChange");
    if (child == "btnLong") {
      while (!release) {
        ThrowIfStopping();
        std::this_thread::yield();
      }
    }
  }
};

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override { control_.Connect(sink_, host_); }
  std::shared_ptr<RecordingSink> sink_ = std::make_shared<RecordingSink>();
  std::shared_ptr<ScriptedUiHost> host_ = std::make_shared<ScriptedUiHost>();
  TestControl control_;
};

TEST_F(ControlTest, EventsRunInOrderOnTheControlsThreadWithItsHost) {
  control_.PostEvent("txtName", "change", Variant("typed"), "text");
  control_.PostEvent("btnEcho", "click");
  control_.PostEvent("btnAsk", "click");
  control_.PostEvent("btnRaise", "click");
  control_.WaitIdle();

  EXPECT_EQ(control_.seen, (std::vector<std::string>{"txtName.change=typed", "btnEcho.click=",
                                                     "btnAsk.click=", "btnRaise.click="}));
  EXPECT_NE(control_.handler_thread, std::this_thread::get_id());
  EXPECT_EQ(host_->Prompts(), std::vector<std::string>{"asked"});
  EXPECT_EQ(sink_->EventNames(), std::vector<std::string>{"OnChange"});
  // The typed text is not echoed back to the page; the label it produced is.
  const std::vector<ControlState> patches = sink_->Patches();
  ASSERT_EQ(patches.size(), 1u);
  EXPECT_EQ(patches[0], (ControlState{{"lblEcho", {{"caption", Variant("typed")}}}}));
  EXPECT_EQ(control_.State().at("txtName").at("text"), Variant("typed"));
}

TEST_F(ControlTest, OnlyWhatAUserCanChangeComesFromThePage) {
  control_.PostEvent("txtName", "change", Variant("x"), "caption");  // not the user's to set
  control_.PostEvent("btnOff", "click");
  control_.WaitIdle();
  EXPECT_EQ(control_.State().at("txtName").count("caption"), 0u);
  EXPECT_EQ(control_.seen.size(), 2u);

  control_.seen.clear();
  control_.Disable("btnOff");
  control_.PostEvent("btnOff", "click");
  control_.PostEvent("btnOff", "change", Variant("typed"), "text");
  control_.WaitIdle();
  EXPECT_TRUE(control_.seen.empty());
  EXPECT_EQ(control_.State().at("btnOff").count("text"), 0u);
}

TEST_F(ControlTest, AFailingHandlerIsReportedAndLaterEventsStillRun) {
  control_.PostEvent("btnFail", "click");
  control_.PostEvent("btnEcho", "click");
  control_.WaitIdle();
  EXPECT_EQ(sink_->ErrorNumbers(), std::vector<int32_t>{automation::err::kOverflow});
  EXPECT_EQ(control_.seen.size(), 2u);
}

TEST_F(ControlTest, InvokeRunsAfterQueuedEventsAndRethrows) {
  control_.PostEvent("txtName", "change", Variant("first"), "text");
  EXPECT_EQ(control_.Invoke([&] { return Variant(control_.State().at("txtName").at("text")); }),
            Variant("first"));
  EXPECT_THROW(control_.Invoke([]() -> Variant {
    throw automation::Error(automation::err::kTypeMismatch, "bad");
  }),
               automation::Error);
}

TEST_F(ControlTest, CloseStopsALongRunAndDropsWhatWaits) {
  control_.PostEvent("btnLong", "click");
  control_.PostEvent("btnEcho", "click");
  while (control_.seen.empty()) std::this_thread::yield();
  control_.Close();
  EXPECT_EQ(control_.seen.size(), 1u);          // the echo never ran
  EXPECT_EQ(sink_->ErrorNumbers().size(), 1u);  // the long run ended as a failure
  control_.PostEvent("btnEcho", "click");
  EXPECT_THROW(control_.Invoke([] { return Variant(); }), automation::Error);
  EXPECT_EQ(control_.seen.size(), 1u);
}

}  // namespace
}  // namespace ui
