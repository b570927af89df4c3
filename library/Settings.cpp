#include "library/Settings.h"

#include <cstdlib>
#include <string>

#include <fmt/format.h>

#include "platform/automation/Convert.h"
#include "platform/automation/DateTime.h"
#include "platform/system/Clock.h"
#include "platform/system/Paths.h"

namespace thalmere {

using automation::Variant;

namespace {

constexpr std::string_view kBackupFileProperty = "DefaultDatabaseBackupFile";

}  // namespace

const std::vector<Settings::Definition>& Settings::Definitions() {
  // Colours are red + 256 × green + 65536 × blue.
  static const std::vector<Definition> definitions = {
      {"AlertEmailAddrTo", "AlertEmailAddrTo", Kind::kString, ""},
      {"AlertEmailAddrFrom", "AlertEmailAddrFrom", Kind::kString, ""},
      {"AlertEmailNameTo", "AlertEmailNameTo", Kind::kString, ""},
      {"AlertEmailNameFrom", "AlertEmailNameFrom", Kind::kString, ""},
      {"AlertEmailServer", "SMTP Server", Kind::kString, ""},
      {"AlertEmailAuthMethod", "SMTP Auth Method", Kind::kString, "None"},
      {"AlertEmailAuthUser", "SMTP Auth User", Kind::kString, ""},
      {"AlertEmailAuthPassword", "SMTP Auth Password", Kind::kString, ""},
      {"ChartShowShortMA", "Chart Show Short MA", Kind::kBoolean, "True"},
      {"ChartShowMediumMA", "Chart Show Medium MA", Kind::kBoolean, "True"},
      {"ChartShowLongMA", "Chart Show Long MA", Kind::kBoolean, "True"},
      {"ChartMAShortColor", "Chart MA Short Color", Kind::kLong, "255"},
      {"ChartMAMediumColor", "Chart MA Medium Color", Kind::kLong, "65280"},
      {"ChartMALongColor", "Chart MA Long Color", Kind::kLong, "16711680"},
      {"ChartMAShortDays", "Chart MA Short Days", Kind::kLong, "12"},
      {"ChartMAMediumDays", "Chart MA Medium Days", Kind::kLong, "26"},
      {"ChartMALongDays", "Chart MA Long Days", Kind::kLong, "50"},
      {"ChartPriceColor", "Chart Price Color", Kind::kLong, "0"},
      {"ChartBGColor", "Chart BG Color", Kind::kLong, "12237498"},
      {"ChartUpCandleColor", "Chart UpCandle Color", Kind::kLong, "47616"},
      {"ChartDownCandleColor", "Chart DownCandle Color", Kind::kLong, "186"},
      {"ChartUpVolumeColor", "Chart UpVolume Color", Kind::kLong, "47616"},
      {"ChartDownVolumeColor", "Chart DownVolume Color", Kind::kLong, "186"},
      {"SQLServerInstanceName", "SQLServerInstanceName", Kind::kString, "KESTROVA"},
      {kBackupFileProperty, "DefaultDatabaseBackupFile", Kind::kString, ""},
  };
  return definitions;
}

const Settings::Definition& Settings::DefinitionOf(std::string_view property) {
  const std::string folded = automation::FoldCase(property);
  for (const Definition& d : Definitions()) {
    if (automation::FoldCase(d.property) == folded) return d;
  }
  throw automation::Error::WithDetail(automation::err::kNoSuchMember,
                                      "Settings." + std::string(property));
}

Settings::Settings() : store_("Kestrova", "1.0") {}

std::string Settings::DefaultBackupFile() {
  const automation::DateParts today = automation::SplitDate(kestrova_system::CurrentClock().Now());
  const std::string stamp = fmt::format("{:04}{:02}{:02}", today.year, today.month, today.day);
  const char* variable = std::getenv("Kestrova");
  // On this platform there is no drive root to fall back to; the user's data folder is the
  // place a backup can always be written.
  std::string folder = variable && *variable ? variable : kestrova_system::DataDirectory().string();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder + "backup/Kestrova" + stamp + ".bkp";
}

Variant Settings::Read(std::string_view property) const {
  const Definition& d = DefinitionOf(property);
  std::optional<std::string> stored = store_.Read(std::string(d.key));
  if (!stored) {
    if (d.property == kBackupFileProperty) return Variant(DefaultBackupFile());
    stored = std::string(d.default_text);
  }
  const Variant text(*stored);
  switch (d.kind) {
    case Kind::kBoolean:
      return Variant(automation::CBool(text));
    case Kind::kLong:
      return Variant(automation::CLng(text));
    case Kind::kString:
      break;
  }
  return text;
}

void Settings::Write(std::string_view property, const Variant& value) const {
  const Definition& d = DefinitionOf(property);
  std::string text;
  switch (d.kind) {
    case Kind::kBoolean:
      text = automation::CBool(value) ? "True" : "False";
      break;
    case Kind::kLong:
      text = std::to_string(automation::CLng(value));
      break;
    case Kind::kString:
      text = automation::CStr(value);
      break;
  }
  store_.Write(std::string(d.key), text);
}

const automation::MemberTable& Settings::Members() const {
  static const automation::MemberTable table = [] {
    automation::MemberTable t;
    for (const Definition& d : Definitions()) {
      const std::string_view property = d.property;
      t.Add(automation::Member{
          std::string(property),
          [property](automation::Dispatch& self, automation::Args args) {
            if (!args.empty()) {
              throw automation::Error::WithDetail(automation::err::kWrongArguments,
                                                  "Settings." + std::string(property));
            }
            return static_cast<Settings&>(self).Read(property);
          },
          [property](automation::Dispatch& self, automation::Args args, Variant& value) {
            if (!args.empty()) {
              throw automation::Error::WithDetail(automation::err::kWrongArguments,
                                                  "Settings." + std::string(property));
            }
            static_cast<Settings&>(self).Write(property, value);
          }});
    }
    return t;
  }();
  return table;
}

}  // namespace thalmere
