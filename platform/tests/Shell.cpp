#include "platform/tests/Shell.h"

#include <cstdio>
#include <memory>
#include <sys/wait.h>

namespace testing_support {

namespace {

struct PipeCloser {
  void operator()(FILE* pipe) const { pclose(pipe); }
};

}  // namespace

ShellRun RunShell(const std::string& command) {
  ShellRun run;
  std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
  if (!pipe) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) run.output.append(buffer, n);
  // Closing waits for the command, and only then is its status known.
  const int raw = pclose(pipe.release());
  if (raw != -1 && WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
  return run;
}

std::string Shell(const std::string& command) { return RunShell(command).output; }

}  // namespace testing_support
