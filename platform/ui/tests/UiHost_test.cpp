#include "platform/ui/UiHost.h"

#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace ui {
namespace {

using namespace msgbox;

TEST(ConsoleUiHostTest, WithoutInputPrintsAndAnswersWithDefaults) {
  std::ostringstream out;
  ConsoleUiHost host(out);
  EXPECT_EQ(host.MsgBox("Backup failed"), kOk);
  EXPECT_EQ(host.MsgBox("Replace it?", kYesNo + kDefaultButton2, "Kestrova"), kNo);
  EXPECT_EQ(host.MsgBox("Go?", kOkOnly + kDefaultButton3), kOk);  // no third button
  EXPECT_EQ(out.str(), "Backup failed\nKestrova\nReplace it?\nGo?\n");
  FileDialog proposal;
  proposal.file_name = "a.bkp";
  EXPECT_EQ(host.SaveFileName(proposal), std::nullopt);  // nobody to answer: Cancel
  EXPECT_EQ(host.ChooseColor(255), std::nullopt);
}

TEST(ConsoleUiHostTest, ReadsAnswersFromInput) {
  std::ostringstream out;
  std::istringstream in("no\nmaybe\nr\n\nmy backup\n\n300 0 0\n10 20 30\n");
  ConsoleUiHost host(out, &in);
  EXPECT_EQ(host.MsgBox("Go on?", kYesNo), kNo);
  EXPECT_EQ(host.MsgBox("Again?", kAbortRetryIgnore), kRetry);  // asked again after "maybe"
  EXPECT_EQ(host.MsgBox("Keep?", kOkCancel + kDefaultButton2), kCancel);  // empty: default
  EXPECT_NE(out.str().find("[Abort/Retry/Ignore] (Abort) "), std::string::npos) << out.str();

  FileDialog backup;
  backup.initial_dir = "/data";
  backup.file_name = "Kestrova20240102.bkp";
  backup.default_ext = "bkp";
  EXPECT_EQ(host.SaveFileName(backup), "/data/my backup.bkp");
  EXPECT_EQ(host.SaveFileName(backup), "/data/Kestrova20240102.bkp");  // empty: the proposal
  EXPECT_EQ(host.ChooseColor(0), 10 + 20 * 256 + 30 * 65536);          // 300 is asked again
  // At the end of the input every question is cancelled.
  EXPECT_EQ(host.MsgBox("Continue?", kOkCancel), kCancel);
  EXPECT_EQ(host.OpenFileName(backup), std::nullopt);
  EXPECT_EQ(host.ChooseColor(7), std::nullopt);
}

TEST(ScriptedUiHostTest, RecordsAndAnswersInOrder) {
  ScriptedUiHost host;
  host.AnswerButton(kNo);
  host.AnswerFileName("/tmp/a.bkp");
  host.AnswerColor(0x00FF00);
  EXPECT_EQ(host.MsgBox("First?", kYesNo, "T"), kNo);
  EXPECT_EQ(host.MsgBox("Second?", kYesNo), kYes);  // queue empty: the default
  EXPECT_EQ(host.OpenFileName({}), "/tmp/a.bkp");
  EXPECT_EQ(host.SaveFileName({}), std::nullopt);  // queue empty: Cancel
  EXPECT_EQ(host.ChooseColor(1), 0x00FF00);

  EXPECT_EQ(host.Prompts(), (std::vector<std::string>{"First?", "Second?"}));
  EXPECT_EQ(host.Messages()[0].title, "T");
  EXPECT_EQ(host.Messages()[0].buttons, kYesNo);
  const auto dialogs = host.Dialogs();
  ASSERT_EQ(dialogs.size(), 3u);
  EXPECT_EQ(dialogs[1].kind, ScriptedUiHost::DialogKind::kSave);
  EXPECT_EQ(dialogs[2].initial_color, 1);
}

TEST(CurrentUiHostTest, ThreadHostsNestAndStayOnTheirThread) {
  auto process = std::make_shared<ScriptedUiHost>();
  auto outer = std::make_shared<ScriptedUiHost>();
  auto inner = std::make_shared<ScriptedUiHost>();
  SetProcessUiHost(process);
  {
    ScopedUiHost outer_scope(outer);
    {
      ScopedUiHost inner_scope(inner);
      EXPECT_EQ(CurrentUiHost(), inner);
      std::shared_ptr<UiHost> seen;
      std::thread([&] { seen = CurrentUiHost(); }).join();
      EXPECT_EQ(seen, process);
    }
    EXPECT_EQ(CurrentUiHost(), outer);
  }
  EXPECT_EQ(CurrentUiHost(), process);
  SetProcessUiHost(nullptr);
  EXPECT_NE(CurrentUiHost(), process);  // the console default
}

}  // namespace
}  // namespace ui
