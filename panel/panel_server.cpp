#include "panel/panel_server.h"

namespace brelvix {

int activatePanel(int version, HostLookup /*lookup*/, void * /*local*/,
                  void * /*serverData*/) noexcept {
    return version == kPanelVersion ? 2 : 1;
}

} // namespace brelvix
