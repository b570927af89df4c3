#include "tools/ImportReport.h"

#include <iterator>
#include <string>

#include <fmt/format.h>

namespace tools {

ImportReport::ImportReport(std::ostream& out, int32_t& bad_lines, int32_t& failed_files)
    : out_(out), bad_lines_(bad_lines), failed_files_(failed_files) {}

void ImportReport::BadLine(std::string_view file, int line, std::string_view reason) {
  Note(file, line, reason);
  ++bad_lines_;
}

void ImportReport::FailedFile(std::string_view file, std::string_view reason) {
  Note(file, reason);
  ++failed_files_;
}

void ImportReport::FileGivenTwice(std::string_view file, std::string_view what,
                                  std::string_view earlier) {
  FailedFile(file, fmt::format("{} come from {} already; file skipped", what, earlier));
}

void ImportReport::Note(std::string_view file, int line, std::string_view text) {
  out_ << file << ':' << line << ": " << text << '\n';
}

void ImportReport::Note(std::string_view file, std::string_view text) {
  out_ << file << ": " << text << '\n';
}

std::optional<std::string> TooManyBadLines(size_t bad_lines, size_t data_lines) {
  if (bad_lines * 10 <= data_lines) return std::nullopt;
  return fmt::format("{} of {} data lines are bad (more than a tenth)", bad_lines, data_lines);
}

ImportSummaryText::ImportSummaryText(std::string_view title, size_t label_width)
    : text_(fmt::format("{}\n", title)), label_width_(label_width) {}

void ImportSummaryText::Line(std::string_view label, std::string_view text) {
  fmt::format_to(std::back_inserter(text_), "  {:<{}}{}\n", fmt::format("{}:", label), label_width_,
                 text);
}

void ImportSummaryText::Remark(std::string_view text) {
  fmt::format_to(std::back_inserter(text_), "  {}\n", text);
}

void ImportSummaryText::BadLines(int64_t count) {
  if (count > 0) Line("bad lines", fmt::format("{} skipped", count));
}

void ImportSummaryText::FailedFiles(int64_t count) {
  if (count > 0) Line("not imported", fmt::format("{} files", count));
}

}  // namespace tools
