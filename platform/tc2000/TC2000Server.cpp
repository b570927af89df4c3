// The server entry of the price server: the registry calls it when a program first creates
// TC2000Dev.cTC2000.
#include "platform/automation/Registry.h"
#include "platform/tc2000/cTC2000.h"

extern "C" __attribute__((visibility("default"))) void KestrovaRegisterServer(
    automation::Registry& registry) {
  registry.Register({"TC2000Dev.cTC2000", "{3E4F6A10-5B2C-4D8E-9A71-C0D2E3F4A5B6}",
                     [] { return tc2000::cTC2000::Create(); }});
}
