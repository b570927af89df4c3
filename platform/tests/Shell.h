#pragma once

#include <string>

namespace testing_support {

// What a command run by /bin/sh printed on stdout, and how it ended.
struct ShellRun {
  int status = -1;  // the exit status; -1 when it could not start or did not exit normally
  std::string output;
};

// Runs `command` with /bin/sh and waits for it. Redirect stderr in the command to see it.
ShellRun RunShell(const std::string& command);

// What `command` prints on stdout, whatever its exit status.
std::string Shell(const std::string& command);

}  // namespace testing_support
