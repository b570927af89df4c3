#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Variant.h"

// The shared procedures of the business-object library's module `library`: opening a
// recordset, turning database values into numbers safely, and converting between dates,
// date codes (year × 10000 + month × 100 + day) and date texts. Each deliverable that uses
// them links its own copy. None of them traps an error: database errors, type mismatches,
// overflows and failed date parses reach the caller.
namespace helpers {

// Opens a client-cursor recordset on the connection: every row read, RecordCount exact,
// positioned on the first row (EOF when there is none). `params` are bound to `?`
// placeholders; values are never put into the SQL text.
std::shared_ptr<ado::Recordset> OpenRecordset(const std::shared_ptr<ado::Connection>& connection,
                                              const std::string& sql,
                                              const std::vector<automation::Variant>& params = {});

// a ÷ b as a Single; 0 when a or b is Null or b is 0 (Empty counts as 0). A quotient beyond
// the Single range is error 6.
float SafeRatio(const automation::Variant& a, const automation::Variant& b);

// 0 for Null; otherwise the value as a Single (Empty gives 0; text that is no number is 13).
float NullToSingle(const automation::Variant& value);

// Turns month/day/year text into year-first order: "12/31/2002" with "-" and "-" gives
// "2002-12-31". Empty text comes back empty; text without "/" gives "11 11 11"; a single "/"
// is error 5.
automation::Variant ReorderDateText(const automation::Variant& text,
                                    const automation::Variant& separator1,
                                    const automation::Variant& separator2);

// The date code of a date; the time of day is ignored.
int32_t LongFromDate(automation::Date d);

// " 2003/ 6/ 5" for 20030605: each number with the blank of its sign position, no leading
// zeros. Codes ≤ 0 give "". A year beyond the 16-bit range is error 6.
std::string DateTextFromLong(int32_t code);

// The date of a code; codes ≤ 0 give day zero (30 December 1899). A code that is no real
// day (month 13, day 0) is error 13.
automation::Date DateFromLong(int32_t code);

// The Friday of the date's Monday-based week (a Saturday gives the day before, a Sunday two
// days before); the time of day is carried along.
automation::Date WeekEndDate(automation::Date d);

// The last calendar day of the date's month; the time of day is carried along.
automation::Date MonthEndDate(automation::Date d);

}  // namespace helpers
