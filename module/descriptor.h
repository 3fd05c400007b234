// The module descriptor's servers and the lens activation.
#ifndef BRELVIX_MODULE_DESCRIPTOR_H
#define BRELVIX_MODULE_DESCRIPTOR_H

#include "interface/host_services.h"
#include "interface/module_interface.h"

namespace brelvix {

/// Returns the server data, the value 4, on every call; allocates nothing.
void *startupModule() noexcept;

/// Fetches the lens's five host services and fills the lens handler table;
/// returns an ActivationResult.
int activateLens(int version, HostLookup lookup, void *local, void *serverData) noexcept;

} // namespace brelvix

extern "C" BRELVIX_EXPORT const ModuleDescriptor _mod_descrip;

#endif
