// The CSV reader of the importers: the limit check, both ways of cutting a file into
// records, and the readers of the values in the fields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

#include "tools/CsvText.h"

namespace {

void ReadValues(const std::string& field) {
  (void)tools::ParseNumber(field);
  (void)tools::ParseWholeNumber(field);
  for (const auto digits : {tools::IsoDayDigits::kOneOrTwo, tools::IsoDayDigits::kTwo}) {
    if (const auto day = tools::ParseCsvDay(field, digits)) {
      if (day->month < 1 || day->month > 12 || day->day < 1 || day->day > 31) __builtin_trap();
    }
  }
  // What a report shows of a field is one line of bounded length.
  const std::string shown = tools::ShownField(field);
  if (shown.size() > 45) __builtin_trap();
  for (const char c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) __builtin_trap();
  }
}

// The input as a file, for the line reader: an in-memory file reached by its /proc name.
std::string InputFile(std::string_view bytes) {
  static const int fd = memfd_create("csv", 0);
  if (fd < 0 || ftruncate(fd, 0) != 0 ||
      pwrite(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) {
    std::abort();
  }
  return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  std::string error;
  if (const auto lines = tools::ReadCsvLines(InputFile(text), error)) {
    for (const tools::CsvLine& line : *lines) {
      if (line.text.size() > tools::kMaxCsvRecordBytes) __builtin_trap();
      if (const auto fields = tools::SplitCsvLine(line.text)) {
        if (fields->size() > tools::kMaxCsvFields) __builtin_trap();
        for (const std::string& field : *fields) ReadValues(field);
      }
    }
  }

  if (tools::CsvLimitExceeded(text)) return 0;
  tools::CsvReader reader(text);
  tools::CsvRecord record;
  bool unclosed = false;
  int last_line = 0;
  while (reader.Next(record, unclosed)) {
    if (record.line <= last_line || record.fields.size() > tools::kMaxCsvFields) __builtin_trap();
    last_line = record.line;
    for (const std::string& field : record.fields) ReadValues(field);
    if (unclosed) break;
  }
  return 0;
}
