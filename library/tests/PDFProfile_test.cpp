#include "library/PDFProfile.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/fundamentals/FundamentalsSchema.h"
#include "platform/helpers/library.h"
#include "platform/pdf/tests/PdfReadBack.h"
#include "platform/tc2000/PriceStore.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/Shell.h"
#include "platform/tests/TestEnvironment.h"
#include "platform/ui/UiHost.h"

namespace thalmere {
namespace {

namespace fs = std::filesystem;
using automation::Variant;
using pdf_testing::TextIn;
using pdf_testing::Word;
using testing_support::TestEngine;
using Values = std::vector<std::pair<std::string, Variant>>;

Variant Day(int year, int month, int day) { return Variant(automation::DateOf(year, month, day)); }

// A hand-made company ACME (C1) whose figures make the computed cells easy to tell:
// net income 5 after -10 (growth 150.0), capital of equity alone, cash of 1,000 over 400
// shares, cash flow 12.5 less capital expenditures 4.0; a share count of 0 and a Null one;
// no si_gr, si_perc or si_mlt row.
class PDFProfileTest : public testing_support::EngineTest {
 protected:
  void SetUp() override {
    if (!UseDataSources({"SIPStatic", "SIPDbf", "Ledra"})) {
      GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
    }
    // A year of weekdays for the weekly chart.
    std::vector<tc2000::Bar> bars;
    for (automation::Date d = automation::DateOf(2025, 12, 1); bars.size() < 260;
         d = automation::AddDays(d, 1)) {
      if (automation::IsoWeekday(d) > 5) continue;
      const float close = 50 + static_cast<float>(bars.size() % 20);
      bars.push_back({helpers::LongFromDate(d), close - 1, close + 2, close - 2, close, 1000});
    }
    auto store = tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());
    store->ReplaceBars(store->UpsertSecurity("ACME", "Acme Anvils & Sons", true), bars);

    static_ = sources_->Open("SIPStatic");
    dbf_ = sources_->Open("SIPDbf");
    ledra_ = sources_->Open("Ledra");
    fundamentals::CreateFundamentalsTables(*static_, "SIPStatic");
    fundamentals::CreateFundamentalsTables(*dbf_, "SIPDbf");
    std::string composite = "create table si_composite (company_id char(10), ticker char(10)";
    for (const char* column : {"composite", "rscore", "epswavg", "compeps", "rswavg", "comprs",
                               "smrwavg", "compsmr", "instwavg", "compinst", "instpratio",
                               "compipurch", "accdist", "compacdst", "indrs", "compindrs"}) {
      composite += std::string(", ") + column + " numeric(10,0)";
    }
    ledra_->Execute(composite + ")");
    ledra_->Execute(
        "create table si_eva (company_id char(10), period char(3), leva numeric(12,2))");

    Insert(static_, "si_ci",
           {{"company_id", Variant("C1")},
            {"ticker", Variant("ACME")},
            {"company", Variant("Acme Anvils & Sons")},
            {"exchange", Variant("N")},
            {"ind_2_dig", Variant("10")},
            {"ind_3_dig", Variant("101")},
            {"business", Variant("Anvils and hammers for every workshop.")}});
    Insert(static_, "si_mgdsc", {{"mg_code", Variant("10")}, {"mg_desc", Variant("Industrials")}});
    Insert(static_, "si_mgdsc", {{"mg_code", Variant("101")}, {"mg_desc", Variant("Hand Tools")}});
    Values dates{{"company_id", Variant("C1")}, {"perend_q1", Day(2026, 9, 30)}};
    for (int k = 1; k <= 5; ++k)
      dates.emplace_back("perend_y" + std::to_string(k), Day(2026 - k, 12, 31));
    Insert(static_, "si_date", dates);
    Insert(static_, "si_isa",
           {{"company_id", Variant("C1")},
            {"netinc_12m", Variant(8.0)},
            {"netinc_y1", Variant(5.0)},
            {"netinc_y2", Variant(-10.0)},
            {"sales_y1", Variant(110.0)},
            {"sales_y2", Variant(100.0)},
            {"epsdc_12m", Variant(1.25)}});
    Values isq{{"company_id", Variant("C1")}};
    for (int q = 5; q <= 8; ++q) isq.emplace_back("netinc_q" + std::to_string(q), Variant(1.0));
    Insert(static_, "si_isq", isq);
    Insert(static_, "si_bsa",
           {{"company_id", Variant("C1")},
            {"equity_y1", Variant(50.0)},
            {"cash_y1", Variant(12345.0)}});
    Values bsq{{"company_id", Variant("C1")}, {"cash_q1", Variant(1000.0)}};
    for (int q = 1; q <= 4; ++q) bsq.emplace_back("equity_q" + std::to_string(q), Variant(40.0));
    Insert(static_, "si_bsq", bsq);
    Insert(static_, "si_cfa",
           {{"company_id", Variant("C1")},
            {"ncc_y1", Variant(12.5)},
            {"ce_y1", Variant(4.0)},
            {"ncc_y2", Variant(7.0)}});
    Insert(dbf_, "si_psd",
           {{"company_id", Variant("C1")},
            {"shr_aq1", Variant(400.0)},
            {"shr_ay1", Variant(1.0)},
            {"shr_ay2", Variant(0.0)}});
    Insert(dbf_, "si_rat", {{"company_id", Variant("C1")}, {"roe_12m", Variant(12.5)}});
    Insert(ledra_, "si_composite",
           {{"company_id", Variant("C1")},
            {"composite", Variant(80)},
            {"compeps", Variant(79)},
            {"compindrs", Variant(99)},
            {"rscore", Variant(55)}});
    Insert(ledra_, "si_eva",
           {{"company_id", Variant("C1")}, {"period", Variant("12m")}, {"leva", Variant(800.0)}});
    Insert(ledra_, "si_eva",
           {{"company_id", Variant("C1")}, {"period", Variant("y1")}, {"leva", Variant(30.0)}});
  }

  static void Insert(const std::shared_ptr<ado::Connection>& connection, const std::string& table,
                     const Values& values) {
    std::string columns, marks;
    std::vector<Variant> params;
    for (const auto& [column, value] : values) {
      columns += (columns.empty() ? "" : ", ") + column;
      marks += marks.empty() ? "?" : ", ?";
      params.push_back(value);
    }
    connection->Execute("insert into " + table + " (" + columns + ") values (" + marks + ")",
                        params);
  }

  // The profile of `ticker` written to `name` in the test's folder, through a late-bound
  // profile object as the pages create it.
  fs::path Profile(const std::string& ticker, const std::string& name = "profile.pdf",
                   automation::ObjectRef profile = nullptr) {
    const fs::path path = home_.root() / name;
    host_->AnswerFileName(path.string());
    if (!profile) profile = automation::CreateObject("Thalmere.PDFProfile");
    profile->CallWith("OpenProfile", ticker);
    return path;
  }

  // Numbers in the American format unless a test says otherwise.
  testing_support::ScopedEnv locale_{"LC_ALL", "en_US.UTF-8"};
  std::shared_ptr<ado::Connection> static_, dbf_, ledra_;
  std::shared_ptr<ui::ScriptedUiHost> host_ = std::make_shared<ui::ScriptedUiHost>();
  ui::ScopedUiHost scoped_host_{host_};
};

// The text of a cell (page units).
std::string Cell(const std::vector<Word>& words, double left, double top, double width,
                 double height) {
  return TextIn(words, left, top, left + width, top + height);
}

TEST_P(PDFProfileTest, PlacesEveryTitleLabelAndHeading) {
  const fs::path pdf = Profile("ACME");
  const std::vector<Word> words = pdf_testing::WordsOf(pdf);
  struct Case {
    double left, top, right, bottom;
    const char* text;
  };
  const Case cases[] = {
      {25, 40, 791, 62, "Profile for Acme Anvils & Sons"},
      {25, 65, 175, 80, "Symbol: ACME"},
      {175, 65, 325, 80, "Exchange: NYSE"},
      {325, 65, 525, 80, "Sector: Industrials"},
      {525, 65, 785, 80, "Industry: Hand Tools"},
      {25, 80, 785, 150, "Anvils and hammers for every workshop."},
      {25, 150, 785, 165, "Thalmere Composite"},
      {150, 165, 225, 190, "Overall"},
      {625, 165, 705, 190, "Accumulation Distribution"},
      {705, 165, 785, 190, "Industry RS"},
      {25, 190, 150, 202, "Composite"},
      {25, 202, 150, 214, "Score"},
      {25, 218, 400, 233, "Management Effectiveness"},
      {150, 233, 200, 258, "TTM"},
      {200, 233, 250, 258, "2025 12-31"},
      {350, 233, 400, 258, "2022 12-31"},
      {25, 258, 150, 270, "Return on Equity"},
      {25, 414, 150, 426, "Net Inc Gr."},
      {25, 426, 150, 438, "Sales Growth"},
      {25, 468, 400, 483, "Growth"},
      {25, 483, 150, 498, "Period"},
      {350, 483, 400, 498, "7 Year"},
      {25, 498, 400, 510, "Growth Rates"},
      {25, 510, 150, 522, "Sales"},
      {25, 618, 150, 630, "Dividends"},
      {25, 630, 400, 645, "Percentile Ranks"},
      {25, 645, 150, 657, "Sales Gr."},
      {25, 693, 150, 705, "Rel. Str. (04, 13, 26, 52, 4q)"},
      {25, 720, 400, 735, "Weekly Chart"},
      {410, 218, 785, 233, "Valuation Ratios"},
      {410, 233, 535, 258, "Price Ratio"},
      {685, 233, 735, 258, "1Yr. Est"},
      {410, 258, 535, 270, "PE"},
      {410, 318, 535, 330, "Yield"},
      {410, 342, 785, 357, "Per Share Data"},
      {535, 357, 585, 382, "2026 9-30"},
      {410, 382, 535, 397, "EVA"},
      {410, 487, 535, 502, "EPS from Continuing Ops"},
      {410, 502, 785, 517, "Income Statement Annual"},
      {410, 542, 535, 554, "Sales"},
      {410, 674, 535, 686, "Dividend"},
      {410, 710, 785, 725, "Balance Sheet Annual"},
      {535, 725, 585, 750, "2025 12-31"},
      {735, 725, 785, 750, "2021 12-31"},
      {410, 750, 535, 762, "Cash"},
      {410, 846, 535, 858, "Liabilities & Equity"},
      {410, 876, 785, 891, "Cash Flow Annual"},
      {410, 916, 535, 928, "Cash from Operations"},
      {410, 976, 535, 988, "Free Cash Flow / Share"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextIn(words, c.left, c.top, c.right, c.bottom), c.text)
        << "at " << c.left << ", " << c.top;
  }
  // Nothing runs off the laid-out page (785 wide, 1,000 high).
  for (const Word& w : words) {
    EXPECT_LE(w.x_max / pdf_testing::kPointsPerUnit, 786) << w.text;
    EXPECT_LE(w.y_max / pdf_testing::kPointsPerUnit, 1001) << w.text;
  }
}

TEST_P(PDFProfileTest, ComputesItsFiguresAndShowsMissingOnesAsZero) {
  const std::vector<Word> words = pdf_testing::WordsOf(Profile("ACME"));
  struct Case {
    double left, top, width, height;
    const char* text;
    const char* what;
  };
  const Case cases[] = {
      {150, 258, 50, 12, "12.5", "a ratio as its plain number"},
      {150, 282, 50, 12, "20.0", "trailing return on capital: 8 over equity averaging 40"},
      {200, 282, 50, 12, "10.0", "return on capital from equity alone"},
      {250, 282, 50, 12, "0.0", "no capital at all"},
      {150, 414, 50, 12, "100.0", "trailing net income 8 after 4 in the prior four quarters"},
      {200, 414, 50, 12, "150.0", "net income 5 after -10"},
      {200, 426, 50, 12, "10.0", "sales 110 after 100"},
      {150, 510, 50, 12, "0.0", "no si_gr row"},
      {150, 645, 50, 12, "0", "no si_perc row"},
      {150, 681, 50, 12, "", "the net income ranks have no trailing column"},
      {535, 258, 50, 12, "0.0", "no si_mlt row"},
      {685, 270, 50, 12, "", "only PE has an estimate"},
      {535, 382, 50, 15, "2.00", "EVA 800 over 400 shares"},
      {585, 382, 50, 15, "30.00", "EVA of year 1"},
      {635, 382, 50, 15, "", "no EVA row for year 2"},
      {535, 397, 50, 15, "2.50", "cash 1,000 over 400 shares"},
      {585, 397, 50, 15, "12,345.00", "digit grouping"},
      {635, 397, 50, 15, "0.00", "a share count of 0"},
      {685, 397, 50, 15, "0.00", "a Null share count"},
      {535, 487, 50, 15, "1.25", "EPS as its plain number"},
      {585, 952, 50, 12, "8.5", "free cash flow 12.5 less 4.0"},
      {635, 952, 50, 12, "7.0", "free cash flow without capital expenditures"},
      {535, 952, 50, 12, "0.0", "free cash flow of nothing"},
      {150, 190, 75, 12, "80", "a percentile as read"},
      {305, 190, 80, 12, "", "a Null percentile"},
      {150, 202, 75, 12, "55", "a score as read"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cell(words, c.left, c.top, c.width, c.height), c.text) << c.what;
  }
}

TEST_P(PDFProfileTest, DrawsEmptySectionsForRowsAndTablesThatAreMissing) {
  for (const char* table : {"si_bsq", "si_isq", "si_rat", "si_date", "si_cfa", "si_psd"}) {
    (table == std::string("si_psd") || table == std::string("si_rat") ? dbf_ : static_)
        ->Execute(std::string("delete from ") + table);
  }
  ledra_->Execute("drop table si_composite");
  ledra_->Execute("drop table si_eva");
  const fs::path pdf = Profile("ACME");
  ASSERT_TRUE(fs::exists(pdf));
  const std::vector<Word> words = pdf_testing::WordsOf(pdf);
  EXPECT_EQ(Cell(words, 25, 190, 760, 24), "Composite Score") << "blank ratings";
  EXPECT_EQ(Cell(words, 410, 382, 375, 15), "EVA") << "no EVA figures";
  EXPECT_EQ(Cell(words, 410, 397, 375, 15), "Cash 0.00 0.00 0.00 0.00");
  EXPECT_EQ(Cell(words, 25, 258, 375, 12), "Return on Equity 0 0 0 0 0");
  EXPECT_EQ(Cell(words, 150, 233, 250, 25), "TTM") << "no period ends: empty headings";
  EXPECT_EQ(Cell(words, 25, 414, 375, 12), "Net Inc Gr. 0.0 150.0 0.0 0.0 0.0");

  // The tables as a system database has them before its first batch runs: there, but empty.
  ledra_->Execute("create table si_composite (company_id char(10), composite numeric(10,0))");
  ledra_->Execute("create table si_eva (company_id char(10), period char(3), leva numeric(12,2))");
  const std::vector<Word> empty_tables = pdf_testing::WordsOf(Profile("ACME", "empty.pdf"));
  EXPECT_EQ(Cell(empty_tables, 25, 190, 760, 24), "Composite Score");
  EXPECT_EQ(Cell(empty_tables, 410, 382, 375, 15), "EVA");
}

TEST_P(PDFProfileTest, FindsTheTickerWithoutTrailingBlanksAndBindsIt) {
  Insert(static_, "si_ci",
         {{"company_id", Variant("C2")},
          {"ticker", Variant("O'B")},
          {"company", Variant("O'Brien Pipes")}});
  EXPECT_EQ(
      pdf_testing::TextIn(pdf_testing::WordsOf(Profile("ACME  ", "blanks.pdf")), 25, 40, 791, 62),
      "Profile for Acme Anvils & Sons");
  EXPECT_EQ(pdf_testing::TextIn(pdf_testing::WordsOf(Profile("O'B", "quote.pdf")), 25, 40, 791, 62),
            "Profile for O'Brien Pipes");
}

TEST_P(PDFProfileTest, AnUnknownTickerOrACancelledDialogWritesNothing) {
  auto profile = std::make_shared<PDFProfile>();
  profile->OpenProfile("NONE");
  EXPECT_TRUE(host_->Dialogs().empty()) << "no dialog for an unknown ticker";
  EXPECT_EQ(profile->FileName(), "");

  host_->AnswerFileName(std::nullopt);
  profile->OpenProfile("ACME");
  ASSERT_EQ(host_->Dialogs().size(), 1u);
  EXPECT_EQ(host_->Dialogs()[0].file.filter, "Adobe Acrobat (*.pdf)|*.pdf");
  EXPECT_EQ(profile->FileName(), "");
  EXPECT_FALSE(fs::exists(home_.root() / "profile.pdf"));

  // A file that cannot be written is the engine's error, and no file is named.
  host_->AnswerFileName((home_.root() / "missing" / "p.pdf").string());
  EXPECT_EQ(testing_support::ErrorNumberOf([&] { profile->OpenProfile("ACME"); }),
            automation::err::kFileAccess);
  EXPECT_EQ(profile->FileName(), "");
}

TEST_P(PDFProfileTest, TwoProfilesInARowFromOneObjectAreAlike) {
  const automation::ObjectRef profile = automation::CreateObject("Thalmere.PDFProfile");
  const fs::path first = Profile("ACME", "first.pdf", profile);
  const fs::path second = Profile("ACME", "second.pdf", profile);
  EXPECT_EQ(automation::CStr(profile->Get("FileName")), second.string());
  const std::string text = testing_support::Shell("pdftotext -layout '" + first.string() + "' -");
  EXPECT_NE(text.find("Thalmere Composite"), std::string::npos);
  EXPECT_EQ(text, testing_support::Shell("pdftotext -layout '" + second.string() + "' -"));
}

// An object keeps its data sources open from one profile to the next, yet never reads one
// from a place it no longer leads to: elsewhere by datasources.ini, or a file made anew.
TEST_P(PDFProfileTest, AReusedObjectFollowsADataSourceToWhereItNowLeads) {
  if (pg()) GTEST_SKIP() << "a file made anew is SQLite's case";
  const automation::ObjectRef profile = automation::CreateObject("Thalmere.PDFProfile");
  auto Title = [&](const std::string& name) {
    return TextIn(pdf_testing::WordsOf(Profile("ACME", name, profile)), 25, 40, 791, 62);
  };
  EXPECT_EQ(Title("first.pdf"), "Profile for Acme Anvils & Sons");

  // A copy of the fundamentals with the company renamed.
  const std::string original = ado::ResolveDataSource("SIPStatic").path;
  const fs::path copy = home_.root() / "copy.db";
  auto Copy = [&](const std::string& company) {
    testing_support::Shell("sqlite3 '" + original + "' \".backup '" + copy.string() + "'\"");
    testing_support::Shell("sqlite3 '" + copy.string() + "' \"update si_ci set company = '" +
                           company + "'\"");
  };
  Copy("Acme Copied");
  fs::create_directories(ado::DataSourcesFile().parent_path());
  std::ofstream(ado::DataSourcesFile())
      << "[SIPStatic]\ndriver = sqlite\npath = " << copy.string() << "\n";
  EXPECT_EQ(Title("elsewhere.pdf"), "Profile for Acme Copied");

  // The copy made anew in its place, as a new demo world is.
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(copy.string() + suffix);
  Copy("Acme Made Anew");
  EXPECT_EQ(Title("anew.pdf"), "Profile for Acme Made Anew");
}

TEST_P(PDFProfileTest, PercentilesOf80AndAboveAreRedAndTheColourIsBlackAfter) {
  const pdf_testing::Raster page = pdf_testing::Render(Profile("ACME"));
  EXPECT_GT(page.RedIn(150, 190, 225, 202), 5) << "80 is red";
  EXPECT_EQ(page.RedIn(225, 190, 305, 202), 0) << "79 is black";
  EXPECT_GT(page.InkIn(225, 190, 305, 202), 5);
  EXPECT_GT(page.RedIn(705, 190, 785, 202), 5) << "99 is red";
  // Nothing after the percentiles is red (but for the chart's volume bars).
  EXPECT_EQ(page.RedIn(0, 202, 816, 735), 0);
  EXPECT_EQ(page.RedIn(405, 735, 816, 1056), 0);

  // Drawn on its own into a caller's document, the block leaves y 40 further down and the
  // engine's text colour black although its last percentile was red.
  const automation::ObjectRef engine =
      automation::CreateObject("{1DC59A34-1EDD-440A-B21F-CB8857C112E5}");
  engine->Call("BeginDocument");
  auto composite = helpers::OpenRecordset(ledra_, "select * from si_composite");
  Variant args[] = {Variant(engine), Variant(25), Variant(150), Variant(composite)};
  automation::CreateObject("Thalmere.PDFProfile")->Get("GenComposite", args);
  EXPECT_EQ(automation::CLng(args[1]), 25);
  EXPECT_EQ(automation::CLng(args[2]), 190);
  EXPECT_EQ(automation::CLng(engine->Get("TextColor")), 0);
  // Without a row (Nothing) the block is drawn all the same.
  Variant empty[] = {Variant(engine), Variant(25), Variant(300), Variant(automation::ObjectRef())};
  automation::CreateObject("Thalmere.PDFProfile")->Get("GenComposite", empty);
  EXPECT_EQ(automation::CLng(empty[2]), 340);
}

TEST_P(PDFProfileTest, FollowsTheRegionalNumberFormat) {
  testing_support::ScopedEnv german("LC_ALL", "de_DE.UTF-8");
  const std::vector<Word> words = pdf_testing::WordsOf(Profile("ACME"));
  EXPECT_EQ(Cell(words, 585, 397, 50, 15), "12.345,00");
  EXPECT_EQ(Cell(words, 535, 397, 50, 15), "2,50");
  EXPECT_EQ(Cell(words, 200, 414, 50, 12), "150,0");
  EXPECT_EQ(Cell(words, 150, 258, 50, 12), "12,5");
}

INSTANTIATE_TEST_SUITE_P(Engines, PDFProfileTest, testing_support::BothEngines(),
                         testing_support::EngineParamName());

}  // namespace
}  // namespace thalmere
