// The server entry of the PDF engine: the registry calls it when a program first creates the
// engine by its ProgID or class identifier.
#include "platform/automation/Registry.h"
#include "platform/pdf/PdfEngine.h"

extern "C" __attribute__((visibility("default"))) void KestrovaRegisterServer(
    automation::Registry& registry) {
  registry.Register(
      {pdf::PdfEngine::kProgId, pdf::PdfEngine::kClassId, [] { return pdf::PdfEngine::Create(); }});
}
