#include "platform/automation/Registry.h"

#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "platform/automation/Dispatch.h"
#include "platform/automation/Error.h"

namespace automation {

Registry& Registry::Instance() {
  static Registry* registry = new Registry();  // never destroyed: objects may outlive main
  return *registry;
}

void Registry::Register(ClassInfo info) {
  std::lock_guard lock(mutex_);
  const size_t index = classes_.size();
  by_name_[FoldCase(info.prog_id)] = index;
  if (!info.class_id.empty()) by_name_[FoldCase(info.class_id)] = index;
  classes_.push_back(std::move(info));
}

const ClassInfo* Registry::FindLocked(std::string_view name) const {
  auto it = by_name_.find(FoldCase(name));
  return it == by_name_.end() ? nullptr : &classes_[it->second];
}

std::vector<ClassInfo> Registry::Classes() const {
  std::lock_guard lock(mutex_);
  return classes_;
}

std::filesystem::path Registry::RegistrationDirectory() {
  if (const char* dir = std::getenv("KESTROVA_REGISTRY_DIR"); dir && *dir) return dir;
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return exe.parent_path().parent_path() / "lib" / "kestrova" / "registry.d";
}

void Registry::WriteRegistrationFile(const std::filesystem::path& file,
                                     const std::filesystem::path& library,
                                     const std::vector<ClassInfo>& classes) {
  // The library path is stored relative to the file when it can be, so that a build or an
  // installation can be moved as a whole.
  const std::filesystem::path absolute = std::filesystem::absolute(library);
  const std::filesystem::path relative =
      absolute.lexically_relative(std::filesystem::absolute(file).parent_path());
  const std::string stored = relative.empty() ? absolute.string() : relative.string();
  const std::filesystem::path temporary = file.string() + ".tmp";
  {
    std::ofstream out(temporary);
    out << "# Classes of " << library.filename().string() << ": ProgID ClassID Library\n";
    for (const ClassInfo& c : classes) {
      out << c.prog_id << ' ' << (c.class_id.empty() ? "-" : c.class_id) << ' ' << stored << '\n';
    }
    out.close();
    if (!out) throw Error::WithDetail(err::kFileAccess, "cannot write " + temporary.string());
  }
  std::filesystem::rename(temporary, file);
}

void Registry::ReadRegistrationFilesLocked() {
  registrations_read_ = true;
  const std::filesystem::path dir = RegistrationDirectory();
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (entry.path().extension() != ".reg") continue;
    std::ifstream in(entry.path());
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream fields(line);
      std::string prog_id, class_id, library;
      fields >> prog_id >> class_id;
      std::getline(fields >> std::ws, library);
      if (prog_id.empty() || library.empty()) continue;
      std::filesystem::path path(library);
      if (path.is_relative()) path = dir / path;
      library_of_[FoldCase(prog_id)] = path;
      if (class_id != "-") library_of_[FoldCase(class_id)] = path;
    }
  }
}

void Registry::LoadServerFor(std::string_view name) {
  if (!registrations_read_) ReadRegistrationFilesLocked();
  auto it = library_of_.find(FoldCase(name));
  if (it == library_of_.end()) return;
  const std::string path = it->second.lexically_normal().string();
  if (loaded_.count(path)) return;
  // Functions are bound on their first call: a command that creates one class of a large
  // server library does not pay for resolving every function of it and its dependencies.
  // The libraries are built with this program, so no call can find its symbol missing.
  void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_GLOBAL);
  if (!handle) {
    const char* why = dlerror();
    throw Error::WithDetail(err::kCannotCreateObject,
                            std::string(name) + ": " + (why ? why : path));
  }
  loaded_[path] = handle;  // server libraries stay loaded for the life of the process
  auto entry = reinterpret_cast<ServerEntry>(dlsym(handle, kServerEntry));
  if (!entry) {
    throw Error::WithDetail(err::kCannotCreateObject,
                            std::string(name) + ": " + path + " is not a server library");
  }
  entry(*this);
}

ObjectRef Registry::CreateObject(std::string_view name) {
  std::function<ObjectRef()> factory;
  {
    std::lock_guard lock(mutex_);
    const ClassInfo* info = FindLocked(name);
    if (!info) {
      LoadServerFor(name);
      info = FindLocked(name);
    }
    if (!info) {
      throw Error::WithDetail(err::kCannotCreateObject,
                              "no class is registered as '" + std::string(name) + "'");
    }
    factory = info->create;
  }
  return factory();
}

bool Registry::IsRegistered(std::string_view name) {
  std::lock_guard lock(mutex_);
  if (FindLocked(name)) return true;
  if (!registrations_read_) ReadRegistrationFilesLocked();
  return library_of_.count(FoldCase(name)) > 0;
}

ObjectRef CreateObject(std::string_view name) { return Registry::Instance().CreateObject(name); }

}  // namespace automation
