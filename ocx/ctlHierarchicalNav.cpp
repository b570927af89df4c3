#include "ocx/ctlHierarchicalNav.h"

#include <array>
#include <memory>
#include <utility>

#include <fmt/format.h>

#include "platform/ado/Connection.h"
#include "platform/automation/Convert.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/automation/Text.h"
#include "platform/helpers/library.h"
#include "platform/ui/UiHost.h"

namespace kestrova {

namespace {

using automation::Variant;

constexpr const char* kTree = "FlyTreeXPro1";
constexpr const char* kCombo = "cmbTicker";
constexpr const char* kFolder = "Folder";
constexpr int32_t kEnter = 13;

// The groups of "Watch Lists" and the list type each one holds, in the order they are shown.
struct WatchGroup {
  const char* name;
  int32_t type;
};
constexpr std::array<WatchGroup, 5> kWatchGroups = {{
    {"Global Lists", 0},
    {"Chart Scans", 1},
    {"Worden Industry Groups", 6},
    {"Manual Charts Lists", 7},
    {"Worden Maintained List", 8},
}};
constexpr int32_t kSector = 5;
constexpr int32_t kIndustry = 4;

std::string NodeProperty(int32_t id) { return fmt::format("n{}", id); }

std::string RightTrimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

int32_t UpperBoundOf(const Variant& array) {
  return array.IsArray() ? array.Array().UpperBound() : 0;
}

}  // namespace

ctlHierarchicalNav::ctlHierarchicalNav() {
  SetMany({{"UserControl",
            {{"status", Variant("")},
             {"mousepointer", Variant(ui::kPointerDefault)},
             {"loaded", Variant(false)},
             {"error", Variant("")}}},
           {kCombo, {{"items", Variant(automation::SafeArray())}, {"text", Variant("")}}},
           {kTree, {}}});
  try {
    Load_FlyNav();
  } catch (const automation::Error& error) {
    // The page has nobody to hand the error to: it shows why the navigator is empty.
    Set("UserControl", "error",
        Variant("The navigator could not be loaded: " + error.Description()));
  }
}

ctlHierarchicalNav::~ctlHierarchicalNav() { Close(); }

const automation::MemberTable& ctlHierarchicalNav::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<ctlHierarchicalNav>()
          .Get("Ticker", &ctlHierarchicalNav::Ticker)
          .Get("Status", &ctlHierarchicalNav::Status)
          .Let("Width", &ctlHierarchicalNav::SetWidth)
          .Let("Height", &ctlHierarchicalNav::SetHeight)
          .Method("Load_FlyNav", &ctlHierarchicalNav::Load_FlyNav)
          .Method("AssignSymbols", &ctlHierarchicalNav::AssignSymbols)
          .Build();
  return table;
}

void ctlHierarchicalNav::SetStatus(const std::string& text) {
  status_ = text;
  Set("UserControl", "status", Variant(text));
  RaiseControlEvent("OnStatus");
}

// ---- the tree

void ctlHierarchicalNav::ClearTree() {
  ui::ControlState patch;
  for (const auto& [id, node] : nodes_) patch[kTree][NodeProperty(id)] = Variant();
  nodes_.clear();
  unpublished_.clear();
  SetMany(patch);
}

int32_t ctlHierarchicalNav::AddNode(int32_t parent, std::string text, std::string kind,
                                    std::string list_index) {
  const int32_t id = next_id_++;
  nodes_[id] = Node{parent, std::move(text), std::move(kind), std::move(list_index), false, {}};
  if (Node* p = FindNode(parent)) p->children.push_back(id);
  unpublished_.push_back(id);
  return id;
}

ctlHierarchicalNav::Node* ctlHierarchicalNav::FindNode(int32_t id) {
  auto it = nodes_.find(id);
  return it == nodes_.end() ? nullptr : &it->second;
}

Variant ctlHierarchicalNav::NodeState(const Node& node) const {
  return Variant(automation::SafeArray(
      std::vector<Variant>{Variant(node.parent), Variant(node.text), Variant(node.kind == kFolder),
                           Variant(node.expanded)},
      0));
}

void ctlHierarchicalNav::PublishNewNodes() {
  ui::ControlState patch;
  for (int32_t id : unpublished_) {
    if (const Node* node = FindNode(id)) patch[kTree][NodeProperty(id)] = NodeState(*node);
  }
  unpublished_.clear();
  if (!patch.empty()) SetMany(patch);
}

void ctlHierarchicalNav::SetExpanded(int32_t id, bool expanded) {
  Node* node = FindNode(id);
  if (!node || node->expanded == expanded) return;
  node->expanded = expanded;
  Set(kTree, NodeProperty(id), NodeState(*node));
}

// ---- loading

void ctlHierarchicalNav::Load_FlyNav() {
  loaded_ = false;
  Set("UserControl", "loaded", Variant(false));
  SetStatus("Loading Navigation");
  automation::ObjectRef server = automation::CreateObject("TC2000Dev.cTC2000");
  const std::shared_ptr<ado::Connection> sipuser = ado::Connection::OpenDataSource("SIPUser");

  Variant symbols, numbers;
  {
    Variant args[] = {symbols, numbers};
    server->Call("GetSymbols", args);
    symbols = std::move(args[0]);
    numbers = std::move(args[1]);
  }

  // The tree is built aside and shown in one piece at the end, as a tree with its redrawing
  // suspended would show it.
  ClearTree();
  const int32_t all_sectors = AddNode(0, "All Sectors", kFolder);
  const int32_t watch_lists = AddNode(0, "Watch Lists", kFolder);
  std::map<int32_t, int32_t> group_of_type;
  for (const WatchGroup& group : kWatchGroups) {
    group_of_type[group.type] = AddNode(watch_lists, group.name, kFolder);
  }
  const int32_t portfolios = AddNode(0, "Portfolios", kFolder);

  SetStatus("Loading Stocks, Exchanges, Categories");
  std::vector<Variant> tickers;
  for (int32_t k = 1; k <= UpperBoundOf(symbols); ++k) {
    if (automation::CBool(server->CallWith("StockIsActive", numbers.Array().Element(k)))) {
      tickers.push_back(symbols.Array().Element(k));
    }
  }
  Set(kCombo, "items", Variant(automation::SafeArray(std::move(tickers), 0)));

  SetStatus("Loading Chart Lists");
  Variant names, types;
  {
    Variant args[] = {names, types};
    server->Call("getAllChartLists", args);
    names = std::move(args[0]);
    types = std::move(args[1]);
  }
  int32_t sector = 0;
  for (int32_t i = 1; i <= UpperBoundOf(names); ++i) {
    const std::string name = automation::CStr(names.Array().Element(i));
    SetStatus("Adding " + name);
    const int32_t type = automation::CLng(types.Array().Element(i));
    if (auto group = group_of_type.find(type); group != group_of_type.end()) {
      AddNode(group->second, name, kFolder, std::to_string(i));
    } else if (type == kSector) {
      sector = AddNode(all_sectors, name, kFolder);
    } else if (type == kIndustry) {
      // An industry before any sector has no sector to go under: it stands directly under
      // "All Sectors" rather than being lost.
      AddNode(sector != 0 ? sector : all_sectors, name, kFolder, std::to_string(i));
    }
  }

  const auto portfolio_rows = helpers::OpenRecordset(sipuser, "select * from prtflio");
  for (; !portfolio_rows->EOF_(); portfolio_rows->MoveNext()) {
    const int32_t portfolio =
        AddNode(portfolios, automation::CStr(portfolio_rows->Field("portfolio")), kFolder);
    const auto members =
        helpers::OpenRecordset(sipuser, "select * from pfcomp where pfid = ? order by ticker",
                               {portfolio_rows->Field("pfid")});
    for (; !members->EOF_(); members->MoveNext()) {
      AddNode(portfolio, automation::CStr(members->Field("ticker")));
    }
  }

  PublishNewNodes();
  loaded_ = true;
  SetMany({{"UserControl", {{"loaded", Variant(true)}, {"error", Variant("")}}}});
  SetStatus("Done.");
}

void ctlHierarchicalNav::AssignSymbols(Variant& lIdx, Variant& mNode) {
  Set("UserControl", "mousepointer", Variant(ui::kPointerHourglass));
  try {
    const int32_t parent = automation::CLng(mNode);
    if (!FindNode(parent)) {
      throw automation::Error::WithDetail(automation::err::kSubscriptOutOfRange,
                                          "no tree node " + std::to_string(parent));
    }
    automation::ObjectRef server = automation::CreateObject("TC2000Dev.cTC2000");
    Variant args[] = {Variant(automation::CLng(lIdx)), Variant(), Variant()};
    server->Call("GetSymbolsForChartList", args);
    const Variant& symbols = args[1];
    const Variant& numbers = args[2];
    for (int32_t k = 1; k <= UpperBoundOf(symbols); ++k) {
      if (automation::CBool(server->CallWith("StockIsActive", numbers.Array().Element(k)))) {
        AddNode(parent, automation::CStr(symbols.Array().Element(k)));
      }
    }
  } catch (const automation::Error&) {
    PublishNewNodes();
    Set("UserControl", "mousepointer", Variant(ui::kPointerDefault));
    ui::CurrentUiHost()->MsgBox("Unable to load Control", ui::msgbox::kOkOnly);
    return;
  }
  PublishNewNodes();
  Set("UserControl", "mousepointer", Variant(ui::kPointerDefault));
}

// ---- the user's events

void ctlHierarchicalNav::TreeClick(int32_t id) {
  if (!loaded_) return;
  Node* node = FindNode(id);
  if (!node) return;
  if (!node->children.empty()) {
    SetExpanded(id, true);
  } else if (node->kind != kFolder) {
    ticker_ = RightTrimmed(node->text);
    RaiseControlEvent("OnChange");
  } else if (!node->list_index.empty() && automation::CLng(Variant(node->list_index)) != 0) {
    Variant list(automation::CLng(Variant(node->list_index)));
    Variant target(id);
    AssignSymbols(list, target);
    SetExpanded(id, true);
  }
}

void ctlHierarchicalNav::TakeComboText() {
  ticker_ = Text(kCombo);
  RaiseControlEvent("OnChange");
}

void ctlHierarchicalNav::HandleEvent(const std::string& child, const std::string& event,
                                     Variant& value) {
  if (child == kCombo) {
    if (event == "click") {
      TakeComboText();
    } else if (event == "keypress" && value.IsNumeric() && automation::CLng(value) == kEnter) {
      TakeComboText();
    }
  } else if (child == kTree) {
    if (!value.IsNumeric()) return;
    if (event == "click") {
      TreeClick(automation::CLng(value));
    } else if (event == "collapse" && loaded_) {
      SetExpanded(automation::CLng(value), false);
    }
  }
}

}  // namespace kestrova
