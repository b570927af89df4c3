// The chart control's redraw as a page receives it: a ReDraw called through a page's session
// (on the control's thread, as the automation endpoint calls it) until the state patch with
// the new picture is taken from the page's stream and written out as the stream's text.
// The chart is 1000 × 600; the stocks come from a demo world of 200 companies × 10 years.
// Also: the part of it that draws the picture, the hover readout's round trip, and the bar
// chart's redraw.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdlib.h>
#include <string>
#include <vector>

#include "bench/BenchWorld.h"
#include "bench/Timing.h"
#include "demo/DemoWorld.h"
#include "ocx/ctlOHLCGraph.h"
#include "platform/automation/Registry.h"
#include "web/Session.h"

namespace {

using automation::Variant;
using bench::Summarise;
using bench::Summary;
using web::Json;

constexpr int kRounds = 30;

std::string PrepareWorld() {
  bench::PrepareDemoHome("chart-control", 200, 10);
  setenv("LC_ALL", "en_US.UTF-8", 1);
  const demo::DemoWorld world = demo::MakeDemoWorld(bench::BenchDemoOptions(200, 10));
  // A company that traded through the whole ten years.
  for (const demo::DemoCompany& c : world.companies) {
    if (c.active && c.first_date == world.trading_days.front()) return c.ticker;
  }
  return world.companies.front().ticker;
}

void Print(const std::string& what, const Summary& s, const std::string& extra = {}) {
  std::printf("%-46s median %6.2f ms, mean %6.2f, min %6.2f, max %6.2f%s\n", what.c_str(), s.median,
              s.mean, s.min, s.max, extra.c_str());
}

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// Everything the stream holds now, as the text the page's EventSource receives.
size_t DrainStream(web::Session& session) {
  size_t bytes = 0;
  const auto messages = session.Take(std::chrono::milliseconds(0));
  if (!messages) return bytes;
  for (const web::StreamMessage& m : *messages) {
    bytes += ("event: " + m.event + "\ndata: " + m.data.dump() + "\n\n").size();
  }
  return bytes;
}

}  // namespace

int main() {
  const std::string ticker = PrepareWorld();
  auto session = std::make_shared<web::Session>("bench");
  const automation::ObjectRef object = automation::CreateObject("Kestrova.ctlOHLCGraph");
  auto& control = dynamic_cast<kestrova::ctlOHLCGraph&>(*object);
  const int64_t id = session->AddControl(object, control);
  control.PostEvent(
      "UserControl", "resize",
      Variant(automation::SafeArray(std::vector<Variant>{Variant(1000), Variant(600)}, 0)));
  control.WaitIdle();
  DrainStream(*session);
  auto let = [&](const char* member, Json value) {
    session->CallMember(id, member, "let", Json::array({value}));
  };

  struct Case {
    const char* name;
    const char* chart;
    int days;
    const char* frequency;
  };
  std::printf("ticker %s, chart 1000 x 600, %d rounds each\n", ticker.c_str(), kRounds);
  bool first = true;
  for (const Case& c : {Case{"price, daily, 1 year", "price", 260, "daily"},
                        Case{"price, daily, 8 years", "price", 2080, "daily"},
                        Case{"price, weekly, 6 years", "price", 1560, "weekly"},
                        Case{"price to book, daily, 6 years", "pb", 1560, "daily"},
                        Case{"price to sales, weekly, 8 years", "ps", 2080, "weekly"}}) {
    let("Days", c.days);
    let("Chart", c.chart);
    let("Frequency", c.frequency);
    if (first) {
      let("Symbol", ticker);  // caches and the libraries warm up
      first = false;
    }
    session->CallMember(id, "ReDraw", "call", Json::array());
    DrainStream(*session);
    std::vector<double> received, drawn;
    size_t bytes = 0;
    for (int i = 0; i < kRounds; ++i) {
      const auto start = std::chrono::steady_clock::now();
      session->CallMember(id, "ReDraw", "call", Json::array());
      bytes = DrainStream(*session);
      received.push_back(Since(start));
    }
    // Of that, the picture: the part that grows with the chart's size.
    for (int i = 0; i < kRounds; ++i) {
      const auto start = std::chrono::steady_clock::now();
      const auto svg = control.CurrentChart().RenderSvg();
      drawn.push_back(Since(start));
    }
    std::printf("%s: %zu series, %zu points in the first\n",
                control.CurrentChart().Header().front().c_str(),
                control.CurrentChart().SeriesCount(),
                control.CurrentChart().SeriesCount()
                    ? const_cast<chart::Chart&>(control.CurrentChart()).SeriesAt(0).Points().size()
                    : 0);
    Print(std::string("redraw received: ") + c.name, Summarise(received),
          ", " + std::to_string(bytes / 1024) + " KiB on the stream");
    Print("  of which the SVG picture", Summarise(drawn));
  }

  // The hover readout: the pointer's event until the readout's patch is on the stream.
  let("Chart", "price");
  let("Days", 260);
  let("Frequency", "daily");
  session->CallMember(id, "ReDraw", "call", Json::array());
  DrainStream(*session);
  {
    std::vector<double> ms;
    for (int i = 0; i < 200; ++i) {
      const auto start = std::chrono::steady_clock::now();
      control.PostEvent(
          "tchChart", "mousemove",
          Variant(automation::SafeArray(
              std::vector<Variant>{Variant(100.0 + 3 * (i % 250)), Variant(200)}, 0)));
      control.WaitIdle();
      DrainStream(*session);
      ms.push_back(Since(start));
    }
    Print("hover readout received", Summarise(ms));
  }

  const int64_t bars_id = [&] {
    const automation::ObjectRef bars = automation::CreateObject("Kestrova.UserControl1");
    return session->AddControl(bars, dynamic_cast<ui::Control&>(*bars));
  }();
  session->CallMember(bars_id, "BarValues", "let", Json::array({"85,72,64,91,55,78,90,66"}));
  session->CallMember(bars_id, "BarLabels", "let", Json::array({"a,b,c,d,e,f,g,h"}));
  {
    std::vector<double> ms;
    for (int i = 0; i < kRounds; ++i) {
      const auto start = std::chrono::steady_clock::now();
      session->CallMember(bars_id, "ReDraw", "call", Json::array());
      DrainStream(*session);
      ms.push_back(Since(start));
    }
    Print("bar chart redraw received (400 x 300)", Summarise(ms));
  }
  session->Close();
  return 0;
}
