// The server entry of the business-object library: the registry calls it when a program
// first creates one of its classes by ProgID or class identifier.
#include <memory>

#include "library/Alert.h"
#include "library/Backup.h"
#include "library/Indicators.h"
#include "library/PDFChart.h"
#include "library/PDFProfile.h"
#include "library/PriceArray.h"
#include "library/Quote.h"
#include "library/Quotes.h"
#include "library/Settings.h"
#include "library/Stats.h"
#include "library/StockNote.h"
#include "library/StockNotes.h"
#include "platform/automation/Registry.h"

extern "C" __attribute__((visibility("default"))) void KestrovaRegisterServer(
    automation::Registry& registry) {
  registry.Register({"Thalmere.Settings", "{5B0A3C61-7E2D-4F1A-9C38-2D6E1B4A7F01}",
                     [] { return std::make_shared<thalmere::Settings>(); }});
  registry.Register({"Thalmere.Quote", "{5B0A3C61-7E2D-4F1A-9C38-2D6E1B4A7F02}",
                     [] { return std::make_shared<thalmere::Quote>(); }});
  registry.Register({"Thalmere.PriceArray", "{5B0A3C61-7E2D-4F1A-9C38-2D6E1B4A7F03}",
                     [] { return std::make_shared<thalmere::PriceArray>(); }});
  registry.Register({"Thalmere.Quotes", "{5B0A3C61-7E2D-4F1A-9C38-2D6E1B4A7F04}",
                     [] { return std::make_shared<thalmere::Quotes>(); }});
  registry.Register({"Thalmere.Indicators", "{5B0A3C61-7E2D-4F1A-9C38-2D6E1B4A7F05}",
                     [] { return std::make_shared<thalmere::Indicators>(); }});
  registry.Register({"Thalmere.Stats", "{5B0A3C61-7E2D-4F1A-9C38-2D6E1B4A7F06}",
                     [] { return std::make_shared<thalmere::Stats>(); }});
  registry.Register({"Thalmere.StockNote", "{5B0A3C61-7E2D-4F1A-9C38-2D6E1B4A7F07}",
                     [] { return std::make_shared<thalmere::StockNote>(); }});
  registry.Register({"Thalmere.StockNotes", "{5B0A3C61-7E2D-4F1A-9C38-2D6E1B4A7F08}",
                     [] { return std::make_shared<thalmere::StockNotes>(); }});
  registry.Register({"Thalmere.Alert", "{5B0A3C61-7E2D-4F1A-9C38-2D6E1B4A7F09}",
                     [] { return std::make_shared<thalmere::Alert>(); }});
  registry.Register({"Thalmere.Backup", "{5B0A3C61-7E2D-4F1A-9C38-2D6E1B4A7F0A}",
                     [] { return std::make_shared<thalmere::Backup>(); }});
  registry.Register({"Thalmere.PDFChart", "{5B0A3C61-7E2D-4F1A-9C38-2D6E1B4A7F0B}",
                     [] { return std::make_shared<thalmere::PDFChart>(); }});
  registry.Register({"Thalmere.PDFProfile", "{5B0A3C61-7E2D-4F1A-9C38-2D6E1B4A7F0C}",
                     [] { return std::make_shared<thalmere::PDFProfile>(); }});
}
