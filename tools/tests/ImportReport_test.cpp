#include "tools/ImportReport.h"

#include <optional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace tools {
namespace {

TEST(ImportReportTest, WritesOneLineAProblemAndCountsBadLinesAndFailedFiles) {
  std::ostringstream out;
  int32_t bad_lines = 0;
  int32_t failed_files = 0;
  ImportReport report(out, bad_lines, failed_files);
  report.BadLine("a.csv", 3, "missing Close");
  report.BadLine("a.csv", 7, "bad date \"x\"");
  report.Note("a.csv", 9, "volume 3e9 is beyond the 32-bit range");
  report.FailedFile("b.csv", "no good rows");
  report.FileGivenTwice("B.CSV", "the bars of B", "b.csv");
  report.Note("c.csv", "2 header names are no column");
  EXPECT_EQ(out.str(),
            "a.csv:3: missing Close\n"
            "a.csv:7: bad date \"x\"\n"
            "a.csv:9: volume 3e9 is beyond the 32-bit range\n"
            "b.csv: no good rows\n"
            "B.CSV: the bars of B come from b.csv already; file skipped\n"
            "c.csv: 2 header names are no column\n");
  EXPECT_EQ(bad_lines, 2);
  EXPECT_EQ(failed_files, 2);
}

TEST(ImportReportTest, RefusesAFileWithMoreThanATenthBad) {
  struct Case {
    size_t bad, data;
    bool refused;
  };
  for (const Case& c : {Case{0, 0, false}, Case{0, 5, false}, Case{1, 10, false}, Case{1, 9, true},
                        Case{2, 20, false}, Case{3, 20, true}, Case{20, 21, true}}) {
    const std::optional<std::string> refusal = TooManyBadLines(c.bad, c.data);
    EXPECT_EQ(refusal.has_value(), c.refused) << c.bad << " of " << c.data;
    if (refusal) {
      EXPECT_EQ(*refusal, std::to_string(c.bad) + " of " + std::to_string(c.data) +
                              " data lines are bad (more than a tenth)");
    }
  }
}

TEST(ImportSummaryTextTest, LinesUpTheLabelsAndLeavesOutEmptyCounts) {
  ImportSummaryText text("Imported into /tmp/store.db:", 16);
  text.Line("price files", "2 (40 bars)");
  text.BadLines(0);
  text.FailedFiles(0);
  text.Line("securities.csv", "3 securities");
  text.BadLines(4);
  text.Remark("no table stored");
  text.FailedFiles(1);
  EXPECT_EQ(text.Text(),
            "Imported into /tmp/store.db:\n"
            "  price files:    2 (40 bars)\n"
            "  securities.csv: 3 securities\n"
            "  bad lines:      4 skipped\n"
            "  no table stored\n"
            "  not imported:   1 files\n");

  // A label longer than its column is followed by its text at once.
  ImportSummaryText narrow("Imported fundamentals from csv:", 14);
  narrow.Line("si_ci", "2 rows (SIPStatic)");
  narrow.Line("a_long_table_name", "1 rows (SIPUser)");
  narrow.FailedFiles(2);
  EXPECT_EQ(narrow.Text(),
            "Imported fundamentals from csv:\n"
            "  si_ci:        2 rows (SIPStatic)\n"
            "  a_long_table_name:1 rows (SIPUser)\n"
            "  not imported: 2 files\n");
}

}  // namespace
}  // namespace tools
