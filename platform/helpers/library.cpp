#include "platform/helpers/library.h"

#include <string>

#include "platform/automation/Convert.h"
#include "platform/automation/DateCode.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"

namespace helpers {

using automation::Date;
using automation::Variant;

std::shared_ptr<ado::Recordset> OpenRecordset(const std::shared_ptr<ado::Connection>& connection,
                                              const std::string& sql,
                                              const std::vector<Variant>& params) {
  if (!connection)
    throw automation::Error::WithDetail(automation::err::kObjectNotSet,
                                        "OpenRecordset without a connection");
  auto recordset = ado::Recordset::Create();
  recordset->Open(sql, connection, params);
  return recordset;
}

float SafeRatio(const Variant& a, const Variant& b) {
  if (a.IsNull() || b.IsNull()) return 0;
  const double divisor = automation::CDbl(b);
  if (divisor == 0) return 0;
  return automation::DivideSingle(automation::CSng(a), automation::CSng(b));
}

float NullToSingle(const Variant& value) {
  if (value.IsNull()) return 0;
  return automation::CSng(value);
}

Variant ReorderDateText(const Variant& text_value, const Variant& separator1,
                        const Variant& separator2) {
  const std::string text = automation::CStr(text_value);
  if (text.empty()) return text_value;
  const size_t first = text.find('/');
  const size_t last = text.rfind('/');
  if (first == std::string::npos) return Variant("11 11 11");
  // The month lies between the two slashes; with one slash it would have a negative length.
  if (first == last) {
    throw automation::Error::WithDetail(automation::err::kInvalidArgument,
                                        "date text \"" + text + "\" has a single \"/\"");
  }
  const std::string year = text.size() > 4 ? text.substr(text.size() - 4) : text;
  return Variant(year + automation::CStr(separator1) + text.substr(0, first) +
                 automation::CStr(separator2) + text.substr(first + 1, last - first - 1));
}

int32_t LongFromDate(Date d) { return automation::DateCode::OfDate(d).Code(); }

std::string DateTextFromLong(int32_t code) {
  if (code <= 0) return "";
  const automation::DateCode day(code);
  const int16_t year = automation::CInt(Variant(day.Year()));
  return automation::Str(Variant(year)) + "/" + automation::Str(Variant(day.Month())) + "/" +
         automation::Str(Variant(day.Day()));
}

Date DateFromLong(int32_t code) {
  // Four-digit years, the codes every series carries, are read directly; the text route,
  // which gives the same day, stays for the rest (two-digit years and the like).
  if (code >= 10000101) {
    if (auto d = automation::DateCode(code).ToDate()) return *d;
  }
  const std::string text = DateTextFromLong(code);
  if (text.empty()) return Date{0};
  return automation::CDate(Variant(text));
}

Date WeekEndDate(Date d) { return automation::AddDays(d, 5 - automation::IsoWeekday(d)); }

Date MonthEndDate(Date d) {
  const automation::DateParts p = automation::SplitDate(d);
  return automation::AddDays(d, automation::DaysInMonth(p.year, p.month) - p.day);
}

}  // namespace helpers
