#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/Dispatch.h"
#include "platform/ui/Control.h"

namespace kestrova {

// ctlHierarchicalNav: the navigator with which a page picks a stock. A combo box of every
// active ticker (cmbTicker) above a tree (FlyTreeXPro1) with three roots: "All Sectors" (each
// sector list holding the industry lists that follow it), "Watch Lists" (five groups by list
// type) and "Portfolios" (each portfolio with its tickers). The members of a chart list are
// asked of the price server when its node is first clicked.
//
// Picking an entry of the combo box, pressing Enter in it (the typed text is taken as it
// stands) or clicking a stock in the tree sets Ticker and raises OnChange; every status text
// sets Status and raises OnStatus.
//
// State for the host:
//   cmbTicker      "items" (the active tickers in the server's order), "text"
//   FlyTreeXPro1   one property "n<id>" per node: [parent id (0 for a root), text, folder
//                  (Boolean), expanded (Boolean)]; a node is Empty once the tree is cleared.
//                  Children are shown in the order of their ids.
//   UserControl    "status", "mousepointer", "loaded", "error" (why the load failed, or "")
// Events from the host: "click" on cmbTicker (an entry was chosen), "keypress" on cmbTicker
// (the character code; 13 takes the text), "change" with property "text" on cmbTicker,
// "click" on FlyTreeXPro1 with the node id, "collapse" on FlyTreeXPro1 with the node id.
class ctlHierarchicalNav : public automation::Dispatch, public ui::Control {
 public:
  static constexpr std::string_view kProgId = "Kestrova.ctlHierarchicalNav";

  // Places the tree and loads it (Load_FlyNav). A failed load leaves the control not loaded,
  // with the reason in UserControl "error" and in Status; tree clicks are ignored then.
  ctlHierarchicalNav();
  ~ctlHierarchicalNav() override;

  std::string_view ClassName() const override { return "ctlHierarchicalNav"; }
  const automation::MemberTable& Members() const override;

  std::string Ticker() const { return ticker_; }
  std::string Status() const { return status_; }
  // Accepted and ignored: the page sizes the control.
  void SetWidth(int32_t) {}
  void SetHeight(int32_t) {}

  // Builds the tree and the ticker list from the price server and the portfolios of
  // SIPUser. Errors of the server or the database reach the caller and leave the control not
  // loaded.
  void Load_FlyNav();
  // Adds the active members of chart list lIdx (a whole number) under node mNode (a node id). Every
  // error is trapped: the message box "Unable to load Control", and the node keeps the children
  // added before it.
  void AssignSymbols(automation::Variant& lIdx, automation::Variant& mNode);

  bool loaded() const { return loaded_; }

 protected:
  void HandleEvent(const std::string& child, const std::string& event,
                   automation::Variant& value) override;

 private:
  struct Node {
    int32_t parent = 0;  // 0 for a root
    std::string text;
    std::string kind;        // numbered value 2: "Folder", or "" for a stock
    std::string list_index;  // numbered value 3: the chart list's index, or ""
    bool expanded = false;
    std::vector<int32_t> children;
  };

  void SetStatus(const std::string& text);
  void ClearTree();
  int32_t AddNode(int32_t parent, std::string text, std::string kind = {},
                  std::string list_index = {});
  Node* FindNode(int32_t id);
  void SetExpanded(int32_t id, bool expanded);
  // Tells the host of the nodes added since the last call (and of their parents, whose
  // children changed).
  void PublishNewNodes();
  automation::Variant NodeState(const Node& node) const;
  void TreeClick(int32_t id);
  void TakeComboText();

  std::string ticker_;
  std::string status_;
  bool loaded_ = false;
  // Ids are never reused, so a host that missed a clear still cannot mix two trees up.
  std::map<int32_t, Node> nodes_;
  int32_t next_id_ = 1;
  std::vector<int32_t> unpublished_;
};

}  // namespace kestrova
