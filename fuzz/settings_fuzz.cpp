// The settings file reader: a settings.ini of any bytes, read through the store as every
// program reads it. The file lives in memory; the store reaches it by its /proc name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/automation/Error.h"
#include "platform/settings_store/SettingsStore.h"
#include "platform/system/KeyFile.h"

namespace {

// The keys the programs read, and a few that no program has.
constexpr const char* kKeys[] = {"SMTP Server",
                                 "SMTP Auth Method",
                                 "SMTP Auth User",
                                 "SMTP Auth Password",
                                 "AlertEmailAddrTo",
                                 "Chart MA Short Color",
                                 "DefaultDatabaseBackupFile",
                                 "",
                                 "a=b",
                                 "[x]"};

// The settings folder of this process: XDG_CONFIG_HOME in a temporary folder.
std::filesystem::path SettingsFile() {
  static const std::filesystem::path file = [] {
    char folder[] = "/tmp/kestrova-fuzz-XXXXXX";
    if (mkdtemp(folder) == nullptr) std::abort();
    setenv("XDG_CONFIG_HOME", folder, 1);
    std::filesystem::create_directories(std::filesystem::path(folder) / "Kestrova");
    return std::filesystem::path(folder) / "Kestrova" / "settings.ini";
  }();
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path file = SettingsFile();
  {
    FILE* out = std::fopen(file.c_str(), "wb");
    if (out == nullptr) std::abort();
    std::fwrite(data, 1, size, out);
    std::fclose(out);
  }
  const settings_store::SettingsStore store("Kestrova", "1.0");
  try {
    for (const char* key : kKeys) (void)store.Read(key);
    const auto keys = kestrova_system::KeyFile::Load(file, automation::err::kFileAccess);
    for (const std::string& group : keys.Groups()) {
      for (const char* key : kKeys) {
        try {
          (void)keys.String(group, key);
        } catch (const automation::Error&) {
        }
        (void)keys.RawValue(group, key);
      }
    }
    // A file that reads can be written to, and keeps what was written.
    store.Write("SMTP Server", "mail.example:587");
    if (store.Read("SMTP Server") != "mail.example:587") __builtin_trap();
  } catch (const automation::Error&) {
    // An unreadable file is an error the programs report; reading on is not expected.
  }
  return 0;
}
