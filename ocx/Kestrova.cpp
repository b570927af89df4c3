// The server entry of the control library: the registry calls it when a program first
// creates one of its classes. The controls register here as they are added.
#include <memory>

#include "ocx/UserControl1.h"
#include "ocx/ctlHierarchicalNav.h"
#include "ocx/ctlOHLCGraph.h"
#include "ocx/ctlSettings.h"
#include "ocx/ctlTasks.h"
#include "platform/automation/Registry.h"

extern "C" __attribute__((visibility("default"))) void KestrovaRegisterServer(
    automation::Registry& registry) {
  registry.Register({std::string(kestrova::ctlSettings::kProgId),
                     "{8C1E4F20-3B6A-4D59-A7E2-51F0C9D3B801}",
                     [] { return std::make_shared<kestrova::ctlSettings>(); }});
  registry.Register({std::string(kestrova::ctlTasks::kProgId),
                     "{8C1E4F20-3B6A-4D59-A7E2-51F0C9D3B802}",
                     [] { return std::make_shared<kestrova::ctlTasks>(); }});
  registry.Register({std::string(kestrova::ctlHierarchicalNav::kProgId),
                     "{8C1E4F20-3B6A-4D59-A7E2-51F0C9D3B855}",
                     [] { return std::make_shared<kestrova::ctlHierarchicalNav>(); }});
  registry.Register({std::string(kestrova::ctlOHLCGraph::kProgId),
                     "{8C1E4F20-3B6A-4D59-A7E2-51F0C9D3B811}",
                     [] { return std::make_shared<kestrova::ctlOHLCGraph>(); }});
  registry.Register({std::string(kestrova::UserControl1::kProgId),
                     "{8C1E4F20-3B6A-4D59-A7E2-51F0C9D3B812}",
                     [] { return std::make_shared<kestrova::UserControl1>(); }});
}
