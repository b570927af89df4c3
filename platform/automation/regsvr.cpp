// kestrova-regsvr LIBRARY FILE: loads a server library, asks it for its classes and writes
// the registration file through which the registry finds them later.
#include <cstdio>
#include <dlfcn.h>
#include <exception>

#include "platform/automation/Registry.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kestrova-regsvr LIBRARY REGISTRATION-FILE\n");
    return 2;
  }
  try {
    void* handle = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      std::fprintf(stderr, "kestrova-regsvr: %s\n", dlerror());
      return 1;
    }
    auto entry = reinterpret_cast<automation::Registry::ServerEntry>(
        dlsym(handle, automation::Registry::kServerEntry));
    if (!entry) {
      std::fprintf(stderr, "kestrova-regsvr: %s has no %s\n", argv[1],
                   automation::Registry::kServerEntry);
      return 1;
    }
    automation::Registry classes;
    entry(classes);
    automation::Registry::WriteRegistrationFile(argv[2], argv[1], classes.Classes());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kestrova-regsvr: %s\n", e.what());
    return 1;
  }
}
