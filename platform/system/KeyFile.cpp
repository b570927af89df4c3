#include "platform/system/KeyFile.h"

#include <memory>
#include <string>

#include <glib.h>

#include "platform/automation/Error.h"

namespace kestrova_system {

namespace {

struct ErrorDeleter {
  void operator()(GError* e) const { g_error_free(e); }
};
using ErrorOwner = std::unique_ptr<GError, ErrorDeleter>;

struct GFreeDeleter {
  void operator()(void* p) const { g_free(p); }
};
using GText = std::unique_ptr<char, GFreeDeleter>;

bool IsMissing(const GError* error) {
  return g_error_matches(error, G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_GROUP_NOT_FOUND) ||
         g_error_matches(error, G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_KEY_NOT_FOUND);
}

}  // namespace

KeyFile::KeyFile(_GKeyFile* keys, std::filesystem::path file, int32_t error_number)
    : keys_(keys), file_(std::move(file)), error_number_(error_number) {}

KeyFile::KeyFile(KeyFile&& other) noexcept
    : keys_(other.keys_), file_(std::move(other.file_)), error_number_(other.error_number_) {
  other.keys_ = nullptr;
}

KeyFile::~KeyFile() {
  if (keys_) g_key_file_free(keys_);
}

void KeyFile::Fail(const std::string& why) const {
  throw automation::Error(error_number_, file_.string() + ": " + why);
}

KeyFile KeyFile::Load(const std::filesystem::path& file, int32_t error_number) {
  KeyFile loaded(g_key_file_new(), file, error_number);
  GError* raw = nullptr;
  if (!g_key_file_load_from_file(loaded.keys_, file.c_str(), G_KEY_FILE_KEEP_COMMENTS, &raw)) {
    ErrorOwner error(raw);
    if (!g_error_matches(raw, G_FILE_ERROR, G_FILE_ERROR_NOENT)) loaded.Fail(raw->message);
  }
  return loaded;
}

std::optional<std::string> KeyFile::String(const std::string& group, const std::string& key) const {
  GError* raw = nullptr;
  GText value(g_key_file_get_string(keys_, group.c_str(), key.c_str(), &raw));
  ErrorOwner error(raw);
  if (value) return std::string(value.get());
  if (IsMissing(raw)) return std::nullopt;
  Fail("[" + group + "] " + key + ": " + raw->message);
}

std::optional<std::string> KeyFile::RawValue(const std::string& group,
                                             const std::string& key) const {
  GError* raw = nullptr;
  GText value(g_key_file_get_value(keys_, group.c_str(), key.c_str(), &raw));
  ErrorOwner error(raw);
  if (value) return std::string(value.get());
  if (IsMissing(raw)) return std::nullopt;
  Fail("[" + group + "] " + key + ": " + raw->message);
}

void KeyFile::SetString(const std::string& group, const std::string& key,
                        const std::string& value) {
  if (!g_utf8_validate(value.data(), static_cast<gssize>(value.size()), nullptr)) {
    throw automation::Error::WithDetail(automation::err::kInvalidArgument,
                                        "the text for " + key + " is not UTF-8");
  }
  g_key_file_set_string(keys_, group.c_str(), key.c_str(), value.c_str());
}

std::vector<std::string> KeyFile::Groups() const {
  std::vector<std::string> groups;
  gchar** names = g_key_file_get_groups(keys_, nullptr);
  for (gchar** g = names; g && *g; ++g) groups.emplace_back(*g);
  g_strfreev(names);
  return groups;
}

void KeyFile::Save(unsigned mode) const {
  gsize length = 0;
  GText contents(g_key_file_to_data(keys_, &length, nullptr));
  GError* raw = nullptr;
  if (!g_file_set_contents_full(file_.c_str(), contents.get(), static_cast<gssize>(length),
                                G_FILE_SET_CONTENTS_CONSISTENT, static_cast<int>(mode), &raw)) {
    ErrorOwner error(raw);
    Fail(raw->message);
  }
}

}  // namespace kestrova_system
