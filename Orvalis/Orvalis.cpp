// orvalis: the scheduled alert check. Takes no arguments. Prints one summary line and exits
// 0, or prints the failed step on stderr and exits 1.
#include <cstdio>
#include <exception>

#include "Orvalis/AlertCheck.h"

int main(int argc, char** /*argv*/) {
  if (argc > 1) {
    std::fprintf(stderr, "orvalis: takes no arguments\n");
    return 2;
  }
  try {
    const orvalis::RunSummary s = orvalis::RunAlertCheck();
    std::printf("orvalis: %d alerts read, %d fired, %d skipped without a quote, %s\n",
                s.alerts_read, s.fired, s.skipped,
                s.mail_sent ? ("mail sent to " + s.recipient).c_str() : "no mail sent");
    return 0;
  } catch (const orvalis::StepFailure& f) {
    std::fprintf(stderr, "orvalis: %s failed: %s\n", f.step.c_str(), f.message.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvalis: failed: %s\n", orvalis::PrintableText(e.what()).c_str());
  }
  return 1;
}
