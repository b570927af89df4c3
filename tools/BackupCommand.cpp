#include "tools/BackupCommand.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include <fmt/format.h>

#include "ocx/library.h"
#include "platform/ui/UiHost.h"

namespace tools {

namespace {

// The console, counting the message boxes: backup and restore show one for a failure and
// none otherwise.
class CountingConsoleHost : public ui::UiHost {
 public:
  int32_t MsgBox(std::string_view prompt, int32_t buttons, std::string_view title) override {
    ++messages_;
    return console_.MsgBox(prompt, buttons, title);
  }
  std::optional<std::string> SaveFileName(const ui::FileDialog& dialog) override {
    return console_.SaveFileName(dialog);
  }
  std::optional<std::string> OpenFileName(const ui::FileDialog& dialog) override {
    return console_.OpenFileName(dialog);
  }
  std::optional<int32_t> ChooseColor(int32_t initial) override {
    return console_.ChooseColor(initial);
  }

  int messages() const { return messages_; }

 private:
  ui::ConsoleUiHost console_{std::cout};
  int messages_ = 0;
};

int Run(bool restore, const std::string& file) {
  auto host = std::make_shared<CountingConsoleHost>();
  {
    ui::ScopedUiHost scope(host);
    if (restore) {
      kestrova::RestoreDatabaseFrom(file);
    } else {
      kestrova::BackupDatabaseTo(file);
    }
  }
  if (host->messages() > 0) return 1;
  const std::string where = std::filesystem::absolute(file).lexically_normal().string();
  if (restore) {
    fmt::print("Restored the system database from {}\n", where);
  } else {
    fmt::print("Backed up the system database to {}\n", where);
  }
  return 0;
}

void AddCommand(CLI::App& app, bool restore) {
  auto file = std::make_shared<std::string>();
  CLI::App* command = app.add_subcommand(
      restore ? "restore" : "backup",
      restore ? "Restore the system database from a backup file made by `kestrova backup` or "
                "the maintenance page; the database is left alone when the file is no such backup"
              : "Back up the system database to a file; an existing file is replaced only when "
                "the new backup is complete");
  command->add_option("file", *file, "The backup file (by convention *.bkp)")->required();
  command->callback([file, restore] { throw CLI::RuntimeError(Run(restore, *file)); });
}

}  // namespace

void AddBackupCommands(CLI::App& app) {
  AddCommand(app, false);
  AddCommand(app, true);
}

}  // namespace tools
