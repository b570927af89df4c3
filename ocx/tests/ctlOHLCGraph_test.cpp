#include "ocx/ctlOHLCGraph.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ocx/frmOHLCOptions.h"
#include "platform/automation/Convert.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Registry.h"
#include "platform/chart/tests/DecodedPicture.h"
#include "platform/helpers/library.h"
#include "platform/tc2000/PriceStore.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/TestEnvironment.h"
#include "platform/ui/UiHost.h"

namespace kestrova {
namespace {

using automation::Variant;
using testing_support::ErrorNumberOf;

constexpr int32_t kLastDay = 20261204;  // a Friday

// `count` weekdays ending on kLastDay, oldest first; the close of day i is closes(i).
template <class F>
std::vector<tc2000::Bar> Weekdays(int count, F closes) {
  std::vector<int32_t> codes;
  for (automation::Date d = helpers::DateFromLong(kLastDay); static_cast<int>(codes.size()) < count;
       d = automation::AddDays(d, -1)) {
    if (automation::IsoWeekday(d) <= 5) codes.insert(codes.begin(), helpers::LongFromDate(d));
  }
  std::vector<tc2000::Bar> bars;
  for (int i = 0; i < count; ++i) {
    const float close = closes(i);
    bars.push_back({codes[i], close - 1, close + 2, close - 2, close, 1000 + i});
  }
  return bars;
}

double Day(int32_t code) { return helpers::DateFromLong(code).value; }

// A price store with ACME (400 rising days) and FLAT (five days closing 10, 10, 9, 9, 11),
// and the fundamentals of ACME: seven fiscal years, every book value per share of year k
// being k, the oldest year ending 30 June 2025, so older prices have no ratio.
class ctlOHLCGraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto store = tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());
    acme_ = Weekdays(400, [](int i) { return 50 + 0.25f * static_cast<float>(i); });
    store->ReplaceBars(store->UpsertSecurity("ACME", "Acme Anvils", true), acme_);
    const float flat[] = {10, 10, 9, 9, 11};
    store->ReplaceBars(store->UpsertSecurity("FLAT", "Flat Rock", true),
                       Weekdays(5, [&](int i) { return flat[i]; }));

    auto fundamentals = sources_.Open("SIPStatic");
    fundamentals->Execute("create table si_ci (ticker varchar(10), company_id varchar(10))");
    fundamentals->Execute("insert into si_ci values ('ACME', 'C1')");
    std::string dates, books, values;
    for (int k = 1; k <= 7; ++k) {
      dates += ", perend_y" + std::to_string(k) + " date";
      books += ", bvps_y" + std::to_string(k) + " real";
      values += ", " + std::to_string(k);
    }
    fundamentals->Execute("create table si_date (company_id varchar(10)" + dates + ")");
    std::vector<Variant> row{Variant("C1")};
    for (int32_t code : {20260630, 20260331, 20251231, 20250930, 20250829, 20250731, 20250630}) {
      row.push_back(Variant(helpers::DateFromLong(code)));
    }
    fundamentals->Execute("insert into si_date values (?, ?, ?, ?, ?, ?, ?, ?)", row);
    fundamentals->Execute("create table si_bsa (company_id varchar(10)" + books + ")");
    fundamentals->Execute("insert into si_bsa values ('C1'" + values + ")");
    sources_.Open("SIPDbf");
  }

  static void Setting(const char* name, Variant value) {
    automation::CreateObject("Thalmere.Settings")->Let(name, value);
  }

  std::shared_ptr<ctlOHLCGraph> Draw(const std::string& chart, int32_t days,
                                     const std::string& symbol = "ACME",
                                     const std::string& frequency = "daily") {
    auto c = std::make_shared<ctlOHLCGraph>();
    c->Connect(nullptr, host_);
    c->Let("Days", Variant(days));
    c->Let("Chart", Variant(chart));
    c->Let("Frequency", Variant(frequency));
    c->Let("Symbol", Variant(symbol));
    return c;
  }

  static const chart::Series& SeriesOf(const ctlOHLCGraph& c, size_t i) {
    return const_cast<chart::Chart&>(c.CurrentChart()).SeriesAt(i);
  }
  static std::string HeaderOf(const ctlOHLCGraph& c) { return c.CurrentChart().Header().at(0); }
  static Variant Prop(ui::Control& c, const std::string& child, const std::string& property) {
    c.WaitIdle();
    return c.State()[child][property];
  }

  testing_support::ScopedTempHome home_;
  testing_support::ScopedEnv locale_{"LC_ALL", "en_US.UTF-8"};
  testing_support::ScopedTestDataSources sources_{testing_support::TestEngine::kSqlite,
                                                  {"SIPStatic", "SIPDbf"}};
  std::shared_ptr<ui::ScriptedUiHost> host_ = std::make_shared<ui::ScriptedUiHost>();
  std::vector<tc2000::Bar> acme_;
};

// What leaves the chart empty, and that an empty chart no longer names the stock drawn
// before it.
TEST_F(ctlOHLCGraphTest, NothingToDrawLeavesTheChartEmpty) {
  struct Case {
    const char* chart;
    int32_t days;
    const char* symbol;
    const char* header;
  };
  for (const Case& c :
       {Case{"price", 0, "ACME", "Kestrova Chart"}, Case{"price", 100, "", "Kestrova Chart"},
        Case{"Price", 100, "ACME", "Kestrova Chart"},
        Case{"price", 100, "NOPE", "Unable to Pull Quotes from TC2000"}}) {
    auto control = Draw("price", 100);
    ASSERT_EQ(control->CurrentChart().SeriesCount(), 6u);
    control->Let("Days", Variant(c.days));
    control->Let("Chart", Variant(c.chart));
    control->Let("Symbol", Variant(c.symbol));
    EXPECT_EQ(control->CurrentChart().SeriesCount(), 0u) << c.chart << " " << c.days;
    EXPECT_EQ(HeaderOf(*control), c.header) << c.chart << " " << c.days << " " << c.symbol;
    EXPECT_EQ(automation::CStr(Prop(*control, "tchChart", "caption")), c.header);
  }
}

TEST_F(ctlOHLCGraphTest, MembersKeepWhatTheyAreGivenAndOnlySymbolDraws) {
  auto control = Draw("price", 100);
  EXPECT_EQ(automation::CStr(control->Get("Frequency")), "daily");
  for (const char* ignored : {"Weekly", "WEEKLY", "", "monthly"}) {
    control->Let("Frequency", Variant(ignored));
    EXPECT_EQ(automation::CStr(control->Get("Frequency")), "daily") << ignored;
  }
  control->Let("Frequency", Variant("weekly"));
  EXPECT_EQ(automation::CStr(control->Get("Frequency")), "weekly");

  const size_t candles = SeriesOf(*control, 0).Points().size();
  control->Let("Days", Variant(int32_t{20}));
  control->Let("Chart", Variant("pb"));
  control->Let("Width", Variant(int32_t{300}));
  control->Let("Height", Variant(int32_t{200}));
  EXPECT_EQ(SeriesOf(*control, 0).Points().size(), candles) << "no redraw before Symbol";
  EXPECT_EQ(automation::CLng(control->Get("Days")), 20);
  EXPECT_EQ(automation::CStr(control->Get("Chart")), "pb");
  EXPECT_EQ(automation::CStr(control->Get("Symbol")), "ACME");
  control->Call("ReDraw");
  EXPECT_EQ(control->CurrentChart().Width(), 1000) << "Width and Height writes change nothing";
  EXPECT_EQ(control->CurrentChart().Height(), 600);

  control->PostEvent(
      "UserControl", "resize",
      Variant(automation::SafeArray(std::vector<Variant>{Variant(640), Variant(360)}, 0)));
  EXPECT_EQ(automation::CLng(Prop(*control, "tchChart", "width")), 640);
  EXPECT_EQ(control->CurrentChart().Height(), 360);
  const testing_support::Picture jpeg = testing_support::DecodeJpeg([&] {
    const Variant bytes = control->Get("JPEG");
    return std::get<std::vector<uint8_t>>(bytes.Array().storage());
  }());
  EXPECT_EQ(jpeg.width, 640);
  EXPECT_EQ(jpeg.height, 360);
}

// Days 100 with a long average of 200 loads 300 days: the 200-day average exists and, like
// the candles and the other lines, starts on the 100th most recent day.
TEST_F(ctlOHLCGraphTest, TheLongAverageCoversTheWholeWindow) {
  Setting("ChartMALongDays", Variant(int32_t{200}));
  Setting("ChartShowMediumMA", Variant(false));
  auto control = Draw("price", 100);
  const double first = Day(acme_[acme_.size() - 100].date);
  EXPECT_EQ(HeaderOf(*control), "ACME (Acme Anvils)");
  const chart::Series& candles = SeriesOf(*control, 0);
  ASSERT_EQ(candles.Points().size(), 100u);
  EXPECT_EQ(candles.Points().front().x, first);
  EXPECT_EQ(candles.Points().back().x, Day(kLastDay));
  EXPECT_EQ(candles.UpColor(), 47616);
  EXPECT_EQ(candles.DownColor(), 186);
  EXPECT_EQ(SeriesOf(*control, 1).Points().size(), 100u);
  EXPECT_TRUE(SeriesOf(*control, 3).Points().empty()) << "the medium average is hidden";
  for (size_t line : {2u, 4u, 5u}) {
    const auto& points = SeriesOf(*control, line).Points();
    ASSERT_EQ(points.size(), 100u) << "line " << line;
    EXPECT_EQ(points.front().x, first) << "line " << line;
  }
  // The last 200-day average of a close rising by 0.25 a day.
  const auto& long_line = SeriesOf(*control, 4).Points();
  EXPECT_NEAR(long_line.back().value, 50 + 0.25 * (399 - 99.5), 1e-3);
  EXPECT_EQ(long_line.back().color, 16711680);
  EXPECT_EQ(SeriesOf(*control, 5).Points().back().color, 0) << "volume average in the price colour";
}

// The plot shades from the background less RGB(32, 32, 32) at the top to the background at
// the bottom; a background too dark for that gives black at the top, not a stray colour.
TEST_F(ctlOHLCGraphTest, TheShadeOfADarkBackgroundIsBlack) {
  for (const auto& [background, top] : {std::pair{0xBABABA, 0x9A9A9A}, std::pair{0x101010, 0}}) {
    Setting("ChartBGColor", Variant(int32_t{background}));
    auto control = Draw("xyz", 100);  // the frame and plot alone
    const Variant bytes = control->Get("JPEG");
    const testing_support::Picture p =
        testing_support::DecodeJpeg(std::get<std::vector<uint8_t>>(bytes.Array().storage()));
    const chart::PlotLayout& plot = control->CurrentChart().LastLayout();
    EXPECT_TRUE(testing_support::Near(
        p.At(static_cast<int>(plot.left) + 20, static_cast<int>(plot.top) + 2), top, 12))
        << std::hex << background;
  }
}

// A day closing level with the day before gets an up bar; the first drawn day compares with
// the loaded day before it.
TEST_F(ctlOHLCGraphTest, VolumeBarsAreDownOnlyBelowThePreviousClose) {
  Setting("ChartMALongDays", Variant(int32_t{2}));
  auto control = Draw("price", 3, "FLAT");  // loads 5 days, draws 9, 9, 11
  const auto& bars = SeriesOf(*control, 1).Points();
  ASSERT_EQ(bars.size(), 3u);
  EXPECT_EQ(bars[0].color, 186) << "9 after 10";
  EXPECT_EQ(bars[1].color, 47616) << "9 after 9";
  EXPECT_EQ(bars[2].color, 47616) << "11 after 9";
}

// The first weekly candle is the week holding the first daily day, the whole week of it.
TEST_F(ctlOHLCGraphTest, WeeklyStartsWithTheWholeWeekOfTheFirstDay) {
  auto control = Draw("price", 3, "ACME", "weekly");  // Wednesday to Friday of the last week
  const auto& candles = SeriesOf(*control, 0).Points();
  ASSERT_EQ(candles.size(), 1u);
  const tc2000::Bar& monday = acme_[acme_.size() - 5];
  const tc2000::Bar& friday = acme_.back();
  EXPECT_EQ(candles[0].x, Day(friday.date));
  EXPECT_FLOAT_EQ(candles[0].open, monday.open);
  EXPECT_FLOAT_EQ(candles[0].low, monday.low);
  EXPECT_FLOAT_EQ(candles[0].high, friday.high);
  const auto& volume = SeriesOf(*control, 1).Points();
  ASSERT_EQ(volume.size(), 1u);
  EXPECT_FLOAT_EQ(static_cast<float>(volume[0].value), 5 * 1000 + (395 + 396 + 397 + 398 + 399));
}

TEST_F(ctlOHLCGraphTest, RatioChartsDivideThePriceByTheYearInForce) {
  auto control = Draw("pb", 260);
  EXPECT_EQ(HeaderOf(*control), "Price to Book: ACME (Acme Anvils)");
  ASSERT_EQ(control->CurrentChart().SeriesCount(), 1u);
  const auto& daily = SeriesOf(*control, 0).Points();
  ASSERT_EQ(daily.size(), 260u);
  // The last price falls in year 1 (book value 1): the ratio is the close itself.
  EXPECT_EQ(daily.back().x, Day(kLastDay));
  EXPECT_FLOAT_EQ(static_cast<float>(daily.back().value), acme_.back().close);

  // Eight years of prices: those before the oldest year are skipped, and the weekly chart
  // still ends with the last week's true ratio, dated its Friday.
  control->Let("Days", Variant(int32_t{2080}));
  control->Let("Frequency", Variant("weekly"));
  control->Call("ReDraw");
  const auto& weekly = SeriesOf(*control, 0).Points();
  ASSERT_FALSE(weekly.empty());
  EXPECT_EQ(weekly.back().x, Day(kLastDay));
  EXPECT_FLOAT_EQ(static_cast<float>(weekly.back().value), acme_.back().close);
  for (const chart::Point& p : weekly) EXPECT_GE(p.x, Day(20250630)) << p.x;

  // A ticker si_ci does not hold: zeros dated day zero, which the chart leaves out.
  control->Let("Frequency", Variant("daily"));
  control->Let("Symbol", Variant("FLAT"));
  EXPECT_EQ(HeaderOf(*control), "Price to Book: FLAT (Flat Rock)");
  for (const chart::Point& p : SeriesOf(*control, 0).Points()) EXPECT_EQ(p.x, 0);
}

TEST_F(ctlOHLCGraphTest, AlertLimitsAreDashedLinesOfThePriceChart) {
  auto ledra = ado::Connection::OpenDataSource("Ledra");
  ledra->Execute("insert into alert values ('ACME', 150.5, 60, 0, -1)");
  ledra->Execute("insert into alert values ('ACME', 0, 55.25, 0, -1)");
  ledra->Execute("insert into alert values ('FLAT', 12, 8, 0, -1)");
  auto control = Draw("price", 100);
  const std::vector<chart::Level>& levels = control->CurrentChart().Levels();
  ASSERT_EQ(levels.size(), 3u) << "a limit of 0 is none";
  EXPECT_DOUBLE_EQ(levels[0].value, 150.5);
  EXPECT_EQ(levels[0].label, "Alert high 150.50");
  EXPECT_EQ(levels[2].label, "Alert low 55.25");
  control->Let("Chart", Variant("pb"));
  control->Call("ReDraw");
  EXPECT_TRUE(control->CurrentChart().Levels().empty()) << "ratio charts have no price lines";

  // Without an alert table the price chart is drawn all the same, without limits.
  ledra->Execute("drop table alert");
  control->Let("Chart", Variant("price"));
  control->Call("ReDraw");
  EXPECT_EQ(SeriesOf(*control, 0).Points().size(), 100u);
  EXPECT_TRUE(control->CurrentChart().Levels().empty());
}

TEST_F(ctlOHLCGraphTest, TheReadoutNamesThePointUnderThePointer) {
  auto control = Draw("price", 100);
  const tc2000::Bar& bar = acme_.back();
  const double column = *control->CurrentChart().PixelOfX(Day(bar.date));
  EXPECT_EQ(control->ReadoutAt(column),
            "Dec 4, 2026   O 148.75   H 151.75   L 147.75   C 149.75   V 1,399");
  EXPECT_EQ(control->ReadoutAt(2), "") << "left of the plot";

  control->PostEvent(
      "tchChart", "mousemove",
      Variant(automation::SafeArray(std::vector<Variant>{Variant(column), Variant(100)}, 0)));
  EXPECT_EQ(Prop(*control, "lblReadout", "visible"), Variant(true));
  EXPECT_EQ(automation::CDbl(Prop(*control, "lblReadout", "x")), std::round(column * 10) / 10);
  control->PostEvent("tchChart", "mouseleave");
  EXPECT_EQ(Prop(*control, "lblReadout", "visible"), Variant(false));

  control->Let("Chart", Variant("pb"));
  control->Call("ReDraw");
  EXPECT_EQ(control->ReadoutAt(*control->CurrentChart().PixelOfX(Day(bar.date))),
            "Dec 4, 2026   Price to Book 149.75");
}

TEST_F(ctlOHLCGraphTest, FailuresReachTheCallerWithThePictureAsDrawn) {
  sources_.Open("SIPStatic")->Execute("drop table si_ci");
  auto control = Draw("price", 50);
  control->Let("Chart", Variant("pb"));
  EXPECT_NE(ErrorNumberOf([&] { control->Call("ReDraw"); }), 0);
  EXPECT_EQ(control->CurrentChart().SeriesCount(), 0u);
  EXPECT_EQ(automation::CStr(Prop(*control, "tchChart", "caption")), "Kestrova Chart");
}

// The options dialog as the user drives it: the events a page sends.
class frmOHLCOptionsTest : public ctlOHLCGraphTest {
 protected:
  void Choose(ui::Control& c, const char* list, const char* entry) {
    c.PostEvent(list, "change", Variant(entry), "text");
  }
  static std::string Text(ui::Control& c, const char* child) {
    return automation::CStr(Prop(c, child, "text"));
  }
};

TEST_F(frmOHLCOptionsTest, OpensOnTheControlsChoices) {
  auto control = Draw("pb", 260, "ACME", "weekly");
  control->PostEvent("tchChart", "click");
  EXPECT_EQ(Prop(*control, "frmOHLCOptions", "visible"), Variant(true));
  EXPECT_EQ(automation::CStr(Prop(*control, "frmOHLCOptions", "caption")), "Chart Options");
  EXPECT_EQ(automation::CStr(Prop(*control, "lblCaption", "caption")),
            "Adjust Settings for Chart: ACME");
  EXPECT_EQ(Text(*control, "cmbChart"), "Price to Book");
  EXPECT_EQ(Text(*control, "cmbDays"), "1 Year");
  EXPECT_EQ(Text(*control, "cmbFrequency"), "weekly");
  EXPECT_EQ(Prop(*control, "cmbDays", "items").Array().Size(), 10u);

  // Values no entry carries leave their list without a selection; Apply keeps them.
  control->Let("Days", Variant(int32_t{100}));
  control->Let("Chart", Variant("xyz"));
  control->PostEvent("tchChart", "click");
  EXPECT_EQ(Text(*control, "cmbDays"), "");
  EXPECT_EQ(Text(*control, "cmbChart"), "");
  control->PostEvent("cmdApply", "click");
  control->WaitIdle();
  EXPECT_EQ(control->Days(), 100);
  EXPECT_EQ(control->Chart(), "xyz");
}

TEST_F(frmOHLCOptionsTest, ApplyRedrawsAndStaysOkClosesCancelKeepsWhatWasApplied) {
  auto control = Draw("price", 260);
  control->PostEvent("tchChart", "click");
  Choose(*control, "cmbDays", "6 Years");
  Choose(*control, "cmbFrequency", "weekly");
  Choose(*control, "cmbChart", "Price to Book");
  control->PostEvent("cmdApply", "click");
  EXPECT_EQ(Prop(*control, "frmOHLCOptions", "visible"), Variant(true));
  EXPECT_EQ(control->Days(), 1560);
  EXPECT_EQ(control->Frequency(), "weekly");
  EXPECT_EQ(control->Chart(), "pb");
  EXPECT_EQ(HeaderOf(*control), "Price to Book: ACME (Acme Anvils)") << "redrawn";

  control->PostEvent("cmdCancel", "click");
  EXPECT_EQ(Prop(*control, "frmOHLCOptions", "visible"), Variant(false));
  EXPECT_EQ(control->Days(), 1560) << "Cancel keeps what Apply did";
  EXPECT_EQ(control->Options()->Parent(), nullptr) << "unloading releases the parent";

  control->PostEvent("tchChart", "click");
  EXPECT_EQ(Text(*control, "cmbDays"), "6 Years");
  Choose(*control, "cmbChart", "Price");
  Choose(*control, "cmbFrequency", "daily");
  control->PostEvent("cmdOK", "click");
  EXPECT_EQ(Prop(*control, "frmOHLCOptions", "visible"), Variant(false));
  EXPECT_EQ(control->Chart(), "price");
  EXPECT_EQ(HeaderOf(*control), "ACME (Acme Anvils)");

  // Escape cancels: the choice made is not applied.
  control->PostEvent("tchChart", "click");
  Choose(*control, "cmbDays", "3 Months");
  control->PostEvent("frmOHLCOptions", "cancel");
  EXPECT_EQ(Prop(*control, "frmOHLCOptions", "visible"), Variant(false));
  EXPECT_EQ(control->Days(), 1560);
}

TEST_F(frmOHLCOptionsTest, WithoutAParentNothingIsFilledOrApplied) {
  auto control = Draw("price", 260);
  frmOHLCOptions form(*control);
  form.Show();
  form.Apply();
  EXPECT_EQ(Text(*control, "cmbDays"), "");
  EXPECT_EQ(automation::CStr(Prop(*control, "lblCaption", "caption")), "");
  EXPECT_EQ(control->Days(), 260);
  EXPECT_EQ(frmOHLCOptions::ChartCodeOf("Price to Free Cash Flow"), "pfc");
  EXPECT_EQ(frmOHLCOptions::ChartCodeOf("Price to Earnings (Cont.)"), "pec");
  EXPECT_EQ(frmOHLCOptions::DaysOf("8 Years"), 2080);
}

}  // namespace
}  // namespace kestrova
