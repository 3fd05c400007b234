// The panel server: the camera's properties panel, drawn by the host's panel
// toolkit from the tables the module hands it.
#ifndef BRELVIX_PANEL_PANEL_SERVER_H
#define BRELVIX_PANEL_PANEL_SERVER_H

#include "module/host_services.h"

namespace brelvix {

inline constexpr int kPanelVersion = 4;

/// Builds one panel for the instance named in the interface record.
int activatePanel(int version, HostLookup lookup, void *local, void *serverData) noexcept;

} // namespace brelvix

#endif
