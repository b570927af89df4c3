// The server entry of the control library: the registry calls it when a program first
// creates one of its classes. The controls register here as they are added.
#include "platform/automation/Registry.h"

extern "C" __attribute__((visibility("default"))) void KestrovaRegisterServer(
    automation::Registry& /*registry*/) {}
