#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

// What the CSV importers tell their user: one line on the message stream for each problem,
// counted in the run's summary, and the summary the import commands print when the run is
// done. Both importers report alike: "FILE:LINE: reason" for a line that is skipped, "FILE:
// reason" for a file, and the same refusal of a file that is mostly bad.
namespace tools {

// The problem lines of one import run. Each line goes to `out` as it is found; the bad lines
// and failed files are counted in the two counters, which the run's summary holds and which
// must outlive the report.
class ImportReport {
 public:
  ImportReport(std::ostream& out, int32_t& bad_lines, int32_t& failed_files);

  // "FILE:LINE: reason" for a line that is skipped; counted as a bad line.
  void BadLine(std::string_view file, int line, std::string_view reason);
  // "FILE: reason" for a file that is not imported at all; counted as a failed file.
  void FailedFile(std::string_view file, std::string_view reason);
  // A failed file that holds what an earlier file of the run gave already: "FILE: `what`
  // come from EARLIER already; file skipped" (`what` as "the bars of IBM").
  void FileGivenTwice(std::string_view file, std::string_view what, std::string_view earlier);
  // "FILE:LINE: text" and "FILE: text", counted as neither; the caller keeps its own count.
  void Note(std::string_view file, int line, std::string_view text);
  void Note(std::string_view file, std::string_view text);

 private:
  std::ostream& out_;
  int32_t& bad_lines_;
  int32_t& failed_files_;
};

// A file in which more than a tenth of the data lines are bad is more likely the wrong file,
// or a broken one, than data to replace what is stored. The start of the refusal ("3 of 20
// data lines are bad (more than a tenth)") when the file is such a one, else nullopt.
std::optional<std::string> TooManyBadLines(size_t bad_lines, size_t data_lines);

// The summary an import command prints on stdout when it is done: a title line, then one
// line a figure, "  " and the label with a colon, padded to `label_width`, then the text.
class ImportSummaryText {
 public:
  ImportSummaryText(std::string_view title, size_t label_width);

  void Line(std::string_view label, std::string_view text);
  // "  text", without a label.
  void Remark(std::string_view text);
  // The lines every importer ends with, each only when its count is not 0: the lines
  // skipped ("bad lines: 3 skipped") and the files not imported ("not imported: 2 files").
  void BadLines(int64_t count);
  void FailedFiles(int64_t count);

  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  size_t label_width_;
};

}  // namespace tools
