// The tables a host keeps for an activated lens.
#ifndef BRELVIX_HOST_LENS_TABLES_H
#define BRELVIX_HOST_LENS_TABLES_H

#include "interface/host_services.h"

namespace brelvix::standin {

/// A lens activated through a server's activation function: its handler and
/// instance tables, as the host keeps them.
struct LensTables {
    CameraHandler handler{};
    InstanceHandlers instance{};
    /// Activates `activate` (version 2 unless told otherwise) and returns its
    /// result. The tables are set up so that `handler.instance` points at
    /// `instance`.
    int activate(HostActivation activate, HostLookup lookup, void *serverData, int version = 2);
};

} // namespace brelvix::standin

#endif
