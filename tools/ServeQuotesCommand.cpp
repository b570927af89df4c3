#include "tools/ServeQuotesCommand.h"

#include <dlfcn.h>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include <fmt/format.h>

namespace tools {

namespace {

struct Options {
  std::string quotes_file;
  int port = 8642;
};

// The service module: in the library folder beside the program's folder (lib/ beside bin/).
std::filesystem::path ServiceModule() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return exe.parent_path().parent_path() / "lib" / kServeQuotesModuleFile;
}

int Run(const Options& options) {
  const std::filesystem::path module = ServiceModule();
  // Stays loaded until the process ends: the service runs until then.
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    fmt::print(stderr, "kestrova: cannot load the quote service: {}\n",
               why ? why : module.string());
    return 1;
  }
  using Entry = int (*)(const char*, int);
  auto serve = reinterpret_cast<Entry>(dlsym(handle, kServeQuotesEntry));
  if (!serve) {
    fmt::print(stderr, "kestrova: cannot load the quote service: {} has no {}\n", module.string(),
               kServeQuotesEntry);
    return 1;
  }
  return serve(options.quotes_file.c_str(), options.port);
}

}  // namespace

void AddServeQuotesCommand(CLI::App& app) {
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand("serve-quotes", "Run the local CSV quote service");
  command
      ->add_option(
          "--quotes", options->quotes_file,
          "File of quote lines: SYMBOL,last,date,time,change,previous,open,high,low,volume")
      ->required()
      ->check(CLI::ExistingFile);
  command
      ->add_option("--port", options->port,
                   "Port on 127.0.0.1, 1 to 65535; 0 takes a free port (the line printed at the "
                   "start names it)")
      ->capture_default_str();
  command->callback([options] { throw CLI::RuntimeError(Run(*options)); });
}

}  // namespace tools
