// The kestrova program as a user runs it: exit status and what it says on stderr.
#include <cctype>
#include <filesystem>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "platform/tc2000/PriceStore.h"
#include "platform/tests/Shell.h"
#include "platform/tests/TestEnvironment.h"

namespace tools {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string errors;  // stderr
};

class CommandLineTest : public ::testing::Test {
 protected:
  // Runs kestrova with `arguments` (words without quotes or blanks of their own).
  Outcome Run(const std::string& arguments) {
    // stderr into the pipe, stdout away.
    const testing_support::ShellRun run =
        testing_support::RunShell(fmt::format("{} {} 2>&1 >/dev/null", KESTROVA_CLI, arguments));
    return {run.status, run.output};
  }

  testing_support::ScopedTempHome home_;
};

TEST_F(CommandLineTest, MisuseIsOnePlainLineAndStatusOne) {
  ASSERT_EQ(Run("demo-data --companies 3 --years 1").status, 0);
  const std::string ticker = tc2000::PriceStore::OpenForReading(tc2000::PriceStore::DefaultPath())
                                 ->AllSecurities()
                                 .front()
                                 .symbol;
  const fs::path out = home_.root() / "chart.png";
  const std::string to = " --out " + out.string();
  struct Case {
    std::string arguments;
    std::string said;
  };
  const Case cases[] = {
      {"frobnicate", "kestrova: unknown command 'frobnicate'"},
      {"import-prices " + (home_.root() / "missing").string(), "Directory does not exist"},
      {"import-fundamentals " + (home_.root() / "missing").string(), "Directory does not exist"},
      {"chart " + ticker + " --days -5" + to, "--days \"-5\" is not a number of trading days"},
      {"chart " + ticker + " --days 0" + to, "--days \"0\" is not a number of trading days"},
      {"chart " + ticker + " --size 4294967312x600" + to,
       "--size \"4294967312x600\": width and height are whole numbers of pixels"},
      {"chart NOSUCH" + to, "kestrova chart NOSUCH: no ticker \"NOSUCH\" in the price store"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Run(c.arguments);
    EXPECT_EQ(outcome.status, 1) << c.arguments;
    EXPECT_NE(outcome.errors.find(c.said), std::string::npos) << outcome.errors;
    EXPECT_EQ(outcome.errors.find('\n'), outcome.errors.size() - 1) << outcome.errors;
    EXPECT_FALSE(fs::exists(out)) << c.arguments;
  }
}

// Tickers are taken without regard to case: the lower-case one draws the same ratio chart.
TEST_F(CommandLineTest, ChartTakesTickersInAnyCase) {
  ASSERT_EQ(Run("demo-data --companies 3 --years 1").status, 0);
  const std::string ticker = tc2000::PriceStore::OpenForReading(tc2000::PriceStore::DefaultPath())
                                 ->AllSecurities()
                                 .front()
                                 .symbol;
  std::string lower = ticker;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const fs::path upper_png = home_.root() / "upper.png";
  const fs::path lower_png = home_.root() / "lower.png";
  ASSERT_EQ(Run("chart " + ticker + " --chart pb --out " + upper_png.string()).status, 0);
  ASSERT_EQ(Run("chart " + lower + " --chart pb --out " + lower_png.string()).status, 0);
  EXPECT_EQ(testing_support::FileBytes(lower_png), testing_support::FileBytes(upper_png));
}

}  // namespace
}  // namespace tools
