#include "ocx/ctlHierarchicalNav.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "platform/automation/Convert.h"
#include "platform/tc2000/PriceStore.h"
#include "platform/tc2000/tests/TestStore.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/TestEnvironment.h"
#include "platform/ui/UiHost.h"
#include "platform/ui/tests/RecordingSink.h"

namespace kestrova {
namespace {

using automation::Variant;
using testing_support::RecordingSink;
using testing_support::TestEngine;

// The tree as the control publishes it: node id -> parent, text, folder, expanded.
struct Tree {
  struct Node {
    int32_t parent;
    std::string text;
    bool folder, expanded;
  };
  std::map<int32_t, Node> nodes;

  explicit Tree(const ui::ControlState& state) {
    auto tree = state.find("FlyTreeXPro1");
    if (tree == state.end()) return;
    for (const auto& [name, value] : tree->second) {
      if (!value.IsArray()) continue;  // a cleared node
      const automation::SafeArray& a = value.Array();
      nodes[std::stoi(name.substr(1))] = {
          automation::CLng(a.Element(0)), automation::CStr(a.Element(1)),
          automation::CBool(a.Element(2)), automation::CBool(a.Element(3))};
    }
  }
  // The id of the node at a path of texts from a root; 0 when there is none.
  int32_t Find(const std::vector<std::string>& path) const {
    int32_t parent = 0;
    for (const std::string& text : path) {
      int32_t found = 0;
      for (const auto& [id, node] : nodes) {
        if (node.parent == parent && node.text == text) found = id;
      }
      if (found == 0) return 0;
      parent = found;
    }
    return parent;
  }
  // The texts of a node's children in the order shown (0: the roots).
  std::vector<std::string> Children(int32_t parent) const {
    std::vector<std::string> texts;
    for (const auto& [id, node] : nodes) {
      if (node.parent == parent) texts.push_back(node.text);
    }
    return texts;
  }
  std::vector<std::string> Children(const std::vector<std::string>& path) const {
    const int32_t id = Find(path);
    EXPECT_NE(id, 0) << path.back();
    return Children(id);
  }
};

using Lists = testing_support::ChartListsBySymbol;

class ctlHierarchicalNavTest : public testing_support::EngineTest {
 protected:
  void SetUp() override {
    if (!UseDataSources({"SIPUser"})) GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
    auto sipuser = sources_->Open("SIPUser");
    sipuser->Execute("create table prtflio (pfid int, portfolio varchar(40))");
    sipuser->Execute("create table pfcomp (pfid int, ticker char(10))");
    sipuser->Execute("insert into prtflio values (1, 'Retirement'), (2, 'Empty one')");
    // Stored with trailing blanks; on PostgreSQL char(10) pads them anyway.
    sipuser->Execute("insert into pfcomp values (1, 'XOM   '), (1, 'IBM ')");

    store_ = tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());
    for (const char* symbol : {"IBM", "MSFT", "XOM", "DEAD"}) {
      worden_[symbol] = store_->UpsertSecurity(symbol, symbol, symbol != std::string("DEAD"));
    }
    SetLists({{"Orphans", 4, {"IBM"}},
              {"Technology", 5, {"IBM", "MSFT"}},
              {"Software", 4, {"MSFT", "DEAD"}},
              {"Hardware", 4, {"IBM"}},
              {"Energy", 5, {}},
              {"Oil", 4, {"XOM"}},
              {"My Picks", 7, {"IBM", "XOM"}},
              {"Scan A", 1, {}},
              {"Unknown kind", 9, {"IBM"}},
              {"Gone", 0, {"DEAD"}}});
  }

  void SetLists(const Lists& lists) { testing_support::ReplaceChartLists(*store_, worden_, lists); }

  std::shared_ptr<ctlHierarchicalNav> Make() {
    auto control = std::make_shared<ctlHierarchicalNav>();
    control->Connect(sink_, host_);
    return control;
  }

  Tree TreeOf(ctlHierarchicalNav& control) {
    control.WaitIdle();
    return Tree(control.State());
  }

  void Click(ctlHierarchicalNav& control, const std::vector<std::string>& path) {
    const int32_t id = TreeOf(control).Find(path);
    ASSERT_NE(id, 0) << path.back();
    control.PostEvent("FlyTreeXPro1", "click", Variant(id));
    control.WaitIdle();
  }

  std::unique_ptr<tc2000::PriceStore> store_;
  std::map<std::string, int32_t> worden_;
  std::shared_ptr<RecordingSink> sink_ = std::make_shared<RecordingSink>();
  std::shared_ptr<ui::ScriptedUiHost> host_ = std::make_shared<ui::ScriptedUiHost>();
};

TEST_P(ctlHierarchicalNavTest, LoadsTheTickersListsAndPortfolios) {
  auto nav = Make();
  EXPECT_TRUE(nav->loaded());
  EXPECT_EQ(nav->Status(), "Done.");
  const ui::ControlState state = nav->State();
  const automation::SafeArray& items = state.at("cmbTicker").at("items").Array();
  std::vector<std::string> tickers;
  for (int32_t i = items.LowerBound(); i <= items.UpperBound(); ++i) {
    tickers.push_back(automation::CStr(items.Element(i)));
  }
  EXPECT_EQ(tickers, (std::vector<std::string>{"IBM", "MSFT", "XOM"}));  // DEAD is inactive

  const Tree tree(state);
  EXPECT_EQ(tree.Children(0),
            (std::vector<std::string>{"All Sectors", "Watch Lists", "Portfolios"}));
  // Types 4, 5, 4, 4, 5, 4: the industries go under the sector before them, and the one that
  // comes before any sector stands directly under "All Sectors".
  EXPECT_EQ(tree.Children({"All Sectors"}),
            (std::vector<std::string>{"Orphans", "Technology", "Energy"}));
  EXPECT_EQ(tree.Children({"All Sectors", "Technology"}),
            (std::vector<std::string>{"Software", "Hardware"}));
  EXPECT_EQ(tree.Children({"All Sectors", "Energy"}), (std::vector<std::string>{"Oil"}));
  EXPECT_EQ(tree.Children({"Watch Lists"}),
            (std::vector<std::string>{"Global Lists", "Chart Scans", "Worden Industry Groups",
                                      "Manual Charts Lists", "Worden Maintained List"}));
  EXPECT_EQ(tree.Children({"Watch Lists", "Manual Charts Lists"}),
            (std::vector<std::string>{"My Picks"}));
  EXPECT_EQ(tree.Children({"Watch Lists", "Chart Scans"}), (std::vector<std::string>{"Scan A"}));
  EXPECT_EQ(std::count_if(tree.nodes.begin(), tree.nodes.end(),
                          [](const auto& n) { return n.second.text == "Unknown kind"; }),
            0);
  EXPECT_EQ(tree.Children({"Portfolios"}), (std::vector<std::string>{"Retirement", "Empty one"}));
  const std::vector<std::string> holdings = tree.Children({"Portfolios", "Retirement"});
  ASSERT_EQ(holdings.size(), 2u);
  EXPECT_EQ(holdings[0].substr(0, 3), "IBM");  // alphabetical
  EXPECT_EQ(holdings[1].substr(0, 3), "XOM");
  // Chart lists start empty; their members come on the first click.
  EXPECT_TRUE(tree.Children({"All Sectors", "Technology", "Software"}).empty());
}

TEST_P(ctlHierarchicalNavTest, ClicksLoadListsOnceAndPickStocks) {
  auto nav = Make();
  Click(*nav, {"All Sectors", "Technology", "Software"});
  Tree tree = TreeOf(*nav);
  EXPECT_EQ(tree.Children({"All Sectors", "Technology", "Software"}),
            (std::vector<std::string>{"MSFT"}));  // DEAD is inactive
  EXPECT_TRUE(tree.nodes.at(tree.Find({"All Sectors", "Technology", "Software"})).expanded);

  // The second click only expands: the list is not asked for again.
  nav->PostEvent("FlyTreeXPro1", "collapse",
                 Variant(tree.Find({"All Sectors", "Technology", "Software"})));
  SetLists({{"Technology", 5, {}}, {"Software", 4, {"IBM", "XOM"}}});
  Click(*nav, {"All Sectors", "Technology", "Software"});
  tree = TreeOf(*nav);
  EXPECT_EQ(tree.Children({"All Sectors", "Technology", "Software"}),
            (std::vector<std::string>{"MSFT"}));
  EXPECT_TRUE(tree.nodes.at(tree.Find({"All Sectors", "Technology", "Software"})).expanded);
  EXPECT_EQ(sink_->Count("OnChange"), 0);

  Click(*nav, {"All Sectors", "Technology", "Software", "MSFT"});
  EXPECT_EQ(nav->Ticker(), "MSFT");
  EXPECT_EQ(sink_->Count("OnChange"), 1);

  // Folders without a list (a sector without industries, an empty portfolio) do nothing.
  Click(*nav, {"Portfolios", "Empty one"});
  EXPECT_TRUE(TreeOf(*nav).Children({"Portfolios", "Empty one"}).empty());
  EXPECT_EQ(sink_->Count("OnChange"), 1);
  EXPECT_TRUE(host_->Prompts().empty());
  EXPECT_TRUE(sink_->ErrorTexts().empty());
}

TEST_P(ctlHierarchicalNavTest, TickersArriveAsTheUserMeantThem) {
  auto nav = Make();
  // A portfolio ticker loses the blanks it was stored with.
  const Tree tree = TreeOf(*nav);
  int32_t xom = 0;
  for (const auto& [id, node] : tree.nodes) {
    if (node.text.rfind("XOM", 0) == 0 && node.parent == tree.Find({"Portfolios", "Retirement"}))
      xom = id;
  }
  ASSERT_NE(xom, 0);
  nav->PostEvent("FlyTreeXPro1", "click", Variant(xom));
  nav->WaitIdle();
  EXPECT_EQ(nav->Ticker(), "XOM");

  // The combo box's text is taken unchanged, typed (Enter) or chosen, listed or not.
  struct Case {
    std::string text, event;
    Variant value;
  };
  for (const Case& c :
       {Case{"NOTLISTED", "keypress", Variant(int32_t{13})},
        Case{" ibm ", "keypress", Variant(int32_t{13})}, Case{"MSFT", "click", Variant()}}) {
    nav->PostEvent("cmbTicker", "change", Variant(c.text), "text");
    nav->PostEvent("cmbTicker", c.event, c.value);
    nav->WaitIdle();
    EXPECT_EQ(nav->Ticker(), c.text);
  }
  // Other keys are left to the combo box.
  nav->PostEvent("cmbTicker", "change", Variant("AB"), "text");
  nav->PostEvent("cmbTicker", "keypress", Variant(int32_t{'B'}));
  nav->WaitIdle();
  EXPECT_EQ(nav->Ticker(), "MSFT");
  EXPECT_EQ(sink_->Count("OnChange"), 4);

  // Width and Height are accepted and change nothing.
  const auto before = nav->State();
  nav->Let("Width", Variant(int32_t{100}));
  nav->Let("Height", Variant(int32_t{100}));
  EXPECT_EQ(nav->State(), before);
}

TEST_P(ctlHierarchicalNavTest, AListThatCannotBeLoadedSaysSo) {
  auto nav = Make();
  // The price server is gone: the list cannot be asked for.
  store_.reset();
  std::filesystem::remove(tc2000::PriceStore::DefaultPath());
  Click(*nav, {"All Sectors", "Technology", "Hardware"});
  EXPECT_EQ(host_->Prompts(), (std::vector<std::string>{"Unable to load Control"}));
  EXPECT_EQ(automation::CLng(nav->State()["UserControl"]["mousepointer"]), ui::kPointerDefault);
  EXPECT_TRUE(TreeOf(*nav).Children({"All Sectors", "Technology", "Hardware"}).empty());
  EXPECT_TRUE(sink_->ErrorTexts().empty());
}

TEST_P(ctlHierarchicalNavTest, AFailedLoadLeavesTheTreeDeaf) {
  sources_->Open("SIPUser")->Execute("drop table prtflio");
  auto nav = Make();
  EXPECT_FALSE(nav->loaded());
  EXPECT_NE(automation::CStr(nav->State()["UserControl"]["error"]), "");
  // Nothing of the half-built tree is shown, and clicks on it are ignored.
  EXPECT_TRUE(TreeOf(*nav).nodes.empty());
  for (int32_t id = 1; id <= 30; ++id) nav->PostEvent("FlyTreeXPro1", "click", Variant(id));
  nav->WaitIdle();
  EXPECT_EQ(sink_->Count("OnChange"), 0);
  EXPECT_TRUE(host_->Prompts().empty());
  // The member itself raises the error to its caller.
  EXPECT_NE(testing_support::ErrorNumberOf([&] { nav->Call("Load_FlyNav"); }), 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, ctlHierarchicalNavTest, testing_support::BothEngines(),
                         testing_support::EngineParamName());

}  // namespace
}  // namespace kestrova
