#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/automation/Variant.h"

namespace automation {

// A creatable class: its ProgID ("Thalmere.Settings"), its class identifier in braces and
// a factory.
struct ClassInfo {
  std::string prog_id;
  std::string class_id;
  std::function<ObjectRef()> create;
};

// Creates automation objects by ProgID or by class identifier, both matched without regard
// to case. Classes of the platform register themselves; the classes of a server library are
// found in the registration files (registry.d/*.reg, written when the library is built) and
// the library is loaded on first use, so a program linked against nothing of it can create
// its objects. Safe to use from several threads.
class Registry {
 public:
  // The process-wide registry.
  static Registry& Instance();

  Registry() = default;
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  void Register(ClassInfo info);

  // A new object of the class; an unknown name or a library that does not load is error 429.
  ObjectRef CreateObject(std::string_view prog_id_or_class_id);
  bool IsRegistered(std::string_view prog_id_or_class_id);

  // The classes registered so far, in registration order.
  std::vector<ClassInfo> Classes() const;

  // Where registration files are read from: $KESTROVA_REGISTRY_DIR, else
  // <program dir>/../lib/kestrova/registry.d.
  static std::filesystem::path RegistrationDirectory();

  // Writes one line per class, "ProgID ClassID LibraryPath", for a server library.
  static void WriteRegistrationFile(const std::filesystem::path& file,
                                    const std::filesystem::path& library,
                                    const std::vector<ClassInfo>& classes);

  // The symbol every server library exports: registers its classes.
  static constexpr const char* kServerEntry = "KestrovaRegisterServer";
  using ServerEntry = void (*)(Registry&);

 private:
  const ClassInfo* FindLocked(std::string_view name) const;
  void LoadServerFor(std::string_view name);
  void ReadRegistrationFilesLocked();

  mutable std::recursive_mutex mutex_;
  std::vector<ClassInfo> classes_;
  std::unordered_map<std::string, size_t> by_name_;  // folded ProgID and class id
  bool registrations_read_ = false;
  std::unordered_map<std::string, std::filesystem::path> library_of_;  // folded name
  std::unordered_map<std::string, void*> loaded_;                      // library path -> handle
};

// Creates an object through the process-wide registry (the run-time's CreateObject).
ObjectRef CreateObject(std::string_view prog_id_or_class_id);

}  // namespace automation
