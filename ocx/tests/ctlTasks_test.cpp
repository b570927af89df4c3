#include "ocx/ctlTasks.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ocx/calclists.h"
#include "ocx/library.h"
#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Convert.h"
#include "platform/helpers/library.h"
#include "platform/tc2000/PriceStore.h"
#include "platform/tests/TestEnvironment.h"
#include "platform/ui/UiHost.h"

namespace kestrova {
namespace {

using automation::Variant;

// Keeps every status line and mouse pointer the control reports, in order.
class TimelineSink : public ui::ControlSink {
 public:
  void StateChanged(const ui::ControlState& patch) override {
    std::lock_guard lock(mutex_);
    for (const auto& [child, properties] : patch) {
      for (const auto& [name, value] : properties) {
        if ((child == "lblStatus" && name == "caption") ||
            (child == "UserControl" && name == "mousepointer") ||
            (child == "pgProgress" && name == "value")) {
          timeline.push_back(child + "=" + automation::CStr(value));
        }
      }
    }
  }
  void EventRaised(std::string_view, const std::vector<Variant>&) override {}
  void HandlerFailed(const automation::Error& error) override {
    std::lock_guard lock(mutex_);
    failures.push_back(error.Description());
  }
  std::mutex mutex_;
  std::vector<std::string> timeline;
  std::vector<std::string> failures;
};

class ctlTasksTest : public ::testing::Test {
 protected:
  // Batch runs that record their order, drive the status like the real ones and fail when
  // told to.
  ctlTasks::Runs Recording() {
    auto calc = [this](std::string name) {
      return [this, name](const automation::ObjectRef& tasks) {
        ran_.push_back(name);
        if (name == fail_) throw automation::Error(ado::errors::kDatabase, name + " broke");
        tasks->CallWith("updStatus", "Working on " + name);
        const automation::ObjectRef bar = tasks->Call("getProgressBar").Object();
        bar->Let("Max", Variant(int32_t{2}));
        bar->Let("Value", Variant(int32_t{1}));
        bar->Let("Value", Variant(int32_t{2}));
        tasks->Call("Done");
      };
    };
    return {calc("lists"), calc("eva"), calc("composites"),
            [this](const std::string& file) {
              ran_.push_back("backup " + file);
              // Into the test's own folder, not the one the tests were started from.
              BackupDatabaseTo(file.empty() ? file : (home_.root() / file).string());
            },
            [this](const std::string& file) { ran_.push_back("restore " + file); }};
  }

  std::shared_ptr<ctlTasks> Make() {
    auto control = std::make_shared<ctlTasks>(Recording());
    control->Connect(sink_, host_);
    return control;
  }
  Variant Prop(ctlTasks& control, const std::string& child, const std::string& property) {
    control.WaitIdle();
    return control.State()[child][property];
  }
  void Tick(ctlTasks& control, const char* box) {
    control.PostEvent(box, "click", Variant(int32_t{1}), "value");
  }

  testing_support::ScopedTempHome home_;
  std::shared_ptr<TimelineSink> sink_ = std::make_shared<TimelineSink>();
  std::shared_ptr<ui::ScriptedUiHost> host_ = std::make_shared<ui::ScriptedUiHost>();
  std::vector<std::string> ran_;
  std::string fail_;
};

TEST_F(ctlTasksTest, StartsIdleWithTheDefaultBackupFile) {
  auto control = Make();
  EXPECT_EQ(Prop(*control, "frmStatus", "visible"), Variant(false));
  EXPECT_EQ(Prop(*control, "pgProgress", "visible"), Variant(false));
  EXPECT_NE(automation::CStr(Prop(*control, "txtBackupFileName", "text")).find("Kestrova"),
            std::string::npos);
  EXPECT_EQ(Prop(*control, "txtRestoreFileName", "text"), Variant(""));
  EXPECT_EQ(Prop(*control, "btnPerformTasks", "caption"), Variant("Perform Selected Tasks"));
}

TEST_F(ctlTasksTest, SelectedTasksRunInTheirFixedOrderAndTheBoxesAreCleared) {
  auto control = Make();
  control->PostEvent("txtRestoreFileName", "change", Variant("in.bkp"), "text");
  control->PostEvent("txtBackupFileName", "change", Variant("out.bkp"), "text");
  for (const char* box :
       {"chkRestore", "chkBackup", "chkCalcComposite", "chkCalcEVA", "chkCalcLists"}) {
    Tick(*control, box);
  }
  control->PostEvent("btnPerformTasks", "click");
  control->WaitIdle();
  EXPECT_EQ(ran_, (std::vector<std::string>{"lists", "eva", "composites", "backup out.bkp",
                                            "restore in.bkp"}));
  for (const char* box :
       {"chkCalcLists", "chkCalcEVA", "chkCalcComposite", "chkBackup", "chkRestore"}) {
    EXPECT_EQ(Prop(*control, box, "value"), Variant(int32_t{0})) << box;
  }
  EXPECT_EQ(sink_->timeline.front(), "UserControl=11");
  EXPECT_EQ(sink_->timeline.back(), "UserControl=0");
  EXPECT_NE(std::find(sink_->timeline.begin(), sink_->timeline.end(), "lblStatus=Working on eva"),
            sink_->timeline.end());
  EXPECT_EQ(Prop(*control, "frmStatus", "visible"), Variant(false));
  EXPECT_EQ(host_->Dialogs().size(), 0u);  // both names were filled

  // Nothing ticked: only the pointer moves.
  sink_->timeline.clear();
  control->PostEvent("btnPerformTasks", "click");
  control->WaitIdle();
  EXPECT_EQ(sink_->timeline, (std::vector<std::string>{"UserControl=11", "UserControl=0"}));
}

TEST_F(ctlTasksTest, AFailedRunShowsItsErrorAndLeavesThePageUsable) {
  auto control = Make();
  fail_ = "eva";
  for (const char* box : {"chkCalcLists", "chkCalcEVA", "chkCalcComposite"}) Tick(*control, box);
  control->PostEvent("btnPerformTasks", "click");
  control->WaitIdle();
  EXPECT_EQ(ran_, (std::vector<std::string>{"lists", "eva"}));
  const std::string status = automation::CStr(Prop(*control, "lblStatus", "caption"));
  EXPECT_NE(status.find("Calculate EVA Values failed"), std::string::npos) << status;
  EXPECT_NE(status.find("eva broke"), std::string::npos) << status;
  EXPECT_EQ(Prop(*control, "lblStatus", "error"), Variant(true));
  EXPECT_EQ(Prop(*control, "frmStatus", "visible"), Variant(true));
  EXPECT_EQ(Prop(*control, "UserControl", "mousepointer"), Variant(ui::kPointerDefault));
  EXPECT_EQ(Prop(*control, "btnPerformTasks", "enabled"), Variant(true));
  // The completed task is unticked; the failed one and the one after it wait for a retry.
  EXPECT_EQ(Prop(*control, "chkCalcLists", "value"), Variant(int32_t{0}));
  EXPECT_EQ(Prop(*control, "chkCalcEVA", "value"), Variant(int32_t{1}));
  EXPECT_EQ(Prop(*control, "chkCalcComposite", "value"), Variant(int32_t{1}));
  EXPECT_TRUE(sink_->failures.empty());  // handled in the panel, not raised

  // A "Now!" run that fails ends the same way.
  control->PostEvent("btnCalcEVANow", "click");
  EXPECT_EQ(Prop(*control, "btnCalcEVANow", "enabled"), Variant(true));
  EXPECT_EQ(Prop(*control, "lblStatus", "error"), Variant(true));
}

TEST_F(ctlTasksTest, BackupNowWithNoNameAsksAndACancelGivesTheLibraryMessage) {
  auto control = Make();
  control->PostEvent("txtBackupFileName", "change", Variant(""), "text");
  host_->AnswerFileName(std::nullopt);
  control->PostEvent("btnBackupNow", "click");
  control->WaitIdle();
  ASSERT_EQ(host_->Dialogs().size(), 1u);
  EXPECT_EQ(host_->Dialogs()[0].kind, ui::ScriptedUiHost::DialogKind::kSave);
  EXPECT_EQ(host_->Dialogs()[0].file.filter, "Kestrova Backup (*.bkp)|*.bkp");
  EXPECT_EQ(host_->Prompts(), std::vector<std::string>{std::string(kNoBackupFileName)});
  EXPECT_EQ(Prop(*control, "frmStatus", "visible"), Variant(false));

  // Ticking the box with a name opens nothing; ticking it with none asks.
  control->PostEvent("txtBackupFileName", "change", Variant("x.bkp"), "text");
  Tick(*control, "chkBackup");
  control->PostEvent("chkBackup", "click", Variant(int32_t{0}), "value");
  control->PostEvent("txtRestoreFileName", "change", Variant(""), "text");
  host_->AnswerFileName("/tmp/chosen.bkp");
  Tick(*control, "chkRestore");
  EXPECT_EQ(Prop(*control, "txtRestoreFileName", "text"), Variant("/tmp/chosen.bkp"));
  ASSERT_EQ(host_->Dialogs().size(), 2u);
  EXPECT_EQ(host_->Dialogs()[1].kind, ui::ScriptedUiHost::DialogKind::kOpen);
}

TEST_F(ctlTasksTest, TheProgressBarRefusesValuesOutsideItsRange) {
  auto control = Make();
  automation::ObjectRef bar = control->getProgressBar();
  bar->Let("Max", Variant(int32_t{10}));
  bar->Let("Value", Variant(int32_t{10}));
  EXPECT_EQ(testing_support::ErrorNumberOf([&] { bar->Let("Value", Variant(int32_t{11})); }), 380);
  bar->Let("Max", Variant(int32_t{5}));  // pulls the value back in
  EXPECT_EQ(automation::CLng(bar->Get("Value")), 5);
  EXPECT_EQ(testing_support::ErrorNumberOf([&] { bar->Let("Min", Variant(int32_t{6})); }), 380);
}

// Stops the control the moment a run reports its second status, as a server shutting down
// does: the run must end as a failure and leave the table it was rebuilding as it was.
class StopOnSecondStatus : public ui::ControlSink {
 public:
  ctlTasks* control = nullptr;
  void StateChanged(const ui::ControlState& patch) override {
    auto it = patch.find("lblStatus");
    if (it != patch.end() && it->second.count("caption") && ++statuses_ == 2) control->Close();
  }
  void EventRaised(std::string_view, const std::vector<Variant>&) override {}
  void HandlerFailed(const automation::Error&) override {}

 private:
  int statuses_ = 0;
};

TEST_F(ctlTasksTest, ARunStoppedByTheServerLeavesItsTableWhole) {
  {
    auto store = tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());
    const int32_t a = store->UpsertSecurity("AAA", "A", true);
    const int32_t b = store->UpsertSecurity("BBB", "B", true);
    store->ReplaceChartLists(std::vector<tc2000::ChartList>{{"Tech", 5, {a, b}}, {"Mine", 7, {b}}});
  }
  auto ledra = ado::Connection::Create();
  ledra->OpenSource(ado::ResolveDataSource("Ledra"), true);
  auto count = [&] {
    return automation::CLng(
        helpers::OpenRecordset(ledra, "select count(*) from listmbrs")->Field(0));
  };
  CalcLists(std::make_shared<ctlTasks>(Recording()));  // the table as a finished run left it
  const int32_t before = count();
  ASSERT_EQ(before, 3);

  {
    auto store = tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());
    store->ReplaceChartLists(
        std::vector<tc2000::ChartList>{{"Tech", 5, {1}}, {"Two", 7, {1}}, {"Three", 7, {2}}});
  }
  ctlTasks::Runs runs = Recording();
  runs.lists = CalcLists;
  auto control = std::make_shared<ctlTasks>(runs);
  auto stopper = std::make_shared<StopOnSecondStatus>();
  stopper->control = control.get();
  control->Connect(stopper, host_);
  control->PostEvent("btnCalcListsNow", "click");
  control->WaitIdle();
  control->Close();
  EXPECT_EQ(count(), before);
}

}  // namespace
}  // namespace kestrova
