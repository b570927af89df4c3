#pragma once

#include <string>
#include <string_view>

#include "platform/automation/Dispatch.h"
#include "platform/settings_store/SettingsStore.h"

namespace thalmere {

// Thalmere.Settings: the user's options (alert e-mail, chart look, database instance, default
// backup file), kept in the per-user settings store of application "Kestrova", section
// "1.0". The object holds nothing itself: every read goes to the store and every write goes
// straight back, so all objects and programs see the same values. Values are stored as text:
// strings unchanged, booleans as True/False, numbers as decimal text. A missing key reads as
// its default (without writing it); a stored text that does not convert to the property's
// type is error 13.
class Settings : public automation::Dispatch {
 public:
  enum class Kind { kString, kBoolean, kLong };

  // One property: its automation name, its key in the store, its type and default.
  struct Definition {
    std::string_view property;
    std::string_view key;
    Kind kind;
    std::string_view default_text;  // as it would be stored
  };

  // Every property, in the order of the interface.
  static const std::vector<Definition>& Definitions();
  // The definition of a property by name (without regard to case); unknown is error 438.
  static const Definition& DefinitionOf(std::string_view property);

  Settings();

  std::string_view ClassName() const override { return "Settings"; }
  const automation::MemberTable& Members() const override;

  // The property's value as its type (String, Boolean or Long).
  automation::Variant Read(std::string_view property) const;
  // Converts the value to the property's type and stores its text.
  void Write(std::string_view property, const automation::Variant& value) const;

  // DefaultDatabaseBackupFile when none is stored: the folder named by the environment
  // variable "Kestrova" + "backup/Kestrova" + today as yyyymmdd + ".bkp", with one "/"
  // between folder and "backup". Without the variable the folder is the user's data
  // folder of the system ($XDG_DATA_HOME/kestrova).
  static std::string DefaultBackupFile();

 private:
  settings_store::SettingsStore store_;
};

}  // namespace thalmere
