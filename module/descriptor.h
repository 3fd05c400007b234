// The module descriptor's servers and the lens activation.
#ifndef BRELVIX_MODULE_DESCRIPTOR_H
#define BRELVIX_MODULE_DESCRIPTOR_H

#include "module/host_services.h"

namespace brelvix {

inline constexpr const char *kLensClass = "CameraHandler";
inline constexpr const char *kPanelClass = "CameraInterface";
inline constexpr int kLensVersion = 2;

/// Returns the server data, the value 4, on every call; allocates nothing.
void *startupModule() noexcept;
/// Takes the server data and does nothing. It also serves as the panel's
/// no-op callback.
void shutdownModule(void *serverData) noexcept;

/// Fetches the lens's five host services and fills the lens handler table.
int activateLens(int version, HostLookup lookup, void *local, void *serverData) noexcept;

} // namespace brelvix

extern "C" BRELVIX_EXPORT const ModuleDescriptor _mod_descrip;

#endif
