#include "ocx/UserControl1.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/automation/Convert.h"
#include "platform/tests/TestEnvironment.h"
#include "platform/ui/tests/RecordingSink.h"

namespace kestrova {
namespace {

using automation::Variant;
using testing_support::ErrorNumberOf;

using testing_support::RecordingSink;

struct Bar {
  double x, value;
  std::string label;
  bool operator==(const Bar&) const = default;
};

std::vector<Bar> BarsOf(const UserControl1& c) {
  std::vector<Bar> bars;
  for (const chart::Point& p : const_cast<chart::Chart&>(c.CurrentChart()).SeriesAt(0).Points()) {
    EXPECT_EQ(p.color, chart::Rgb(255, 0, 0));
    bars.push_back({p.x, p.value, p.label});
  }
  return bars;
}

class UserControl1Test : public ::testing::Test {
 protected:
  UserControl1Test() { control_->Connect(sink_, nullptr); }

  testing_support::ScopedEnv locale_{"LC_ALL", "en_US.UTF-8"};
  std::shared_ptr<RecordingSink> sink_ = std::make_shared<RecordingSink>();
  std::shared_ptr<UserControl1> control_ = std::make_shared<UserControl1>();
};

TEST_F(UserControl1Test, StartsWithEightEmptyBars) {
  EXPECT_EQ(BarsOf(*control_).size(), 8u);
  EXPECT_EQ(control_->CurrentChart().Header(), std::vector<std::string>{""});
  EXPECT_FALSE(control_->State()["tchChart"]["image"].IsEmpty());
}

TEST_F(UserControl1Test, ValuesAndLabelsSplitAtEveryComma) {
  struct Case {
    const char* values;
    std::vector<double> expected;
  };
  for (const Case& c : {Case{"1,2,3", {1, 2, 3}}, Case{"5,,7", {5, 0, 7}}, Case{"5, ,7", {5, 0, 7}},
                        Case{"  2.5,1234.75", {2.5, 1234.75}}, Case{"", {0}}}) {
    control_->Let("BarValues", Variant(c.values));
    EXPECT_EQ(control_->Values(), c.expected) << c.values;
  }
  control_->Let("BarValues", Variant("1,2,3"));
  control_->Let("BarLabels", Variant("a,b,c,extra"));
  control_->Call("ReDraw");
  EXPECT_EQ(BarsOf(*control_), (std::vector<Bar>{{0, 1, "a"}, {1, 2, "b"}, {2, 3, "c"}}))
      << "extra labels are ignored";
}

TEST_F(UserControl1Test, BadFieldsAndMissingLabelsFailAfterWhatCameBefore) {
  EXPECT_EQ(ErrorNumberOf([&] { control_->Let("BarValues", Variant("4,x,6")); }),
            automation::err::kTypeMismatch);
  EXPECT_EQ(control_->Values(), (std::vector<double>{4, 0, 0}));

  control_->Let("BarValues", Variant("1,2,3"));
  control_->Let("BarLabels", Variant("a"));
  EXPECT_EQ(ErrorNumberOf([&] { control_->Call("ReDraw"); }),
            automation::err::kSubscriptOutOfRange);
  EXPECT_EQ(BarsOf(*control_), (std::vector<Bar>{{0, 1, "a"}}));
}

TEST_F(UserControl1Test, TheTitleShowsOnRedrawAndIsPersisted) {
  control_->Let("XLegend", Variant("Composite Ratings"));
  EXPECT_EQ(control_->CurrentChart().Header(), std::vector<std::string>{""}) << "not yet drawn";
  control_->Call("ReDraw");
  EXPECT_EQ(control_->CurrentChart().Header(), std::vector<std::string>{"Composite Ratings"});
  control_->Let("BarValues", Variant("1"));
  control_->Let("BarLabels", Variant("x"));
  EXPECT_EQ(sink_->FirstArguments("PropertyChanged"),
            (std::vector<std::string>{"XLegend", "BarValues", "BarLabels"}));

  // The page hands back what it saved; a bag without the title leaves it as it is.
  const Variant saved = control_->Call("WriteProperties");
  auto other = std::make_shared<UserControl1>();
  Variant args[] = {saved};
  other->Call("ReadProperties", args);
  EXPECT_EQ(automation::CStr(other->Get("XLegend")), "Composite Ratings");
  Variant empty[] = {Variant(automation::SafeArray(std::vector<Variant>{}, 0))};
  other->Call("ReadProperties", empty);
  EXPECT_EQ(other->XLegend(), "Composite Ratings");
}

TEST(UserControl1FormatTest, ValuesAreWrittenGroupedWithUpToTwoDecimals) {
  struct Case {
    double value;
    const char* english;
    const char* german;
  };
  for (const Case& c :
       {Case{1234.5, "1,234.5", "1.234,5"}, Case{7, "7", "7"}, Case{0.25, "0.25", "0,25"},
        Case{1234567.891, "1,234,567.89", "1.234.567,89"}, Case{-0.5, "-0.5", "-0,5"},
        Case{0.004, "0", "0"}}) {
    {
      testing_support::ScopedEnv locale("LC_ALL", "en_US.UTF-8");
      EXPECT_EQ(UserControl1::ValueText(c.value), c.english);
    }
    testing_support::ScopedEnv locale("LC_ALL", "de_DE.UTF-8");
    EXPECT_EQ(UserControl1::ValueText(c.value), c.german);
  }
}

}  // namespace
}  // namespace kestrova
