// The host services the module works with, fetched at activation.
//
// This is the module's only global state. The two activation functions write
// it; everything else only reads it. A successful lens activation precedes
// every lens and instance operation, so the services it requires are present
// whenever those run; the panel's services are optional everywhere.
#ifndef BRELVIX_SHARED_SERVICES_H
#define BRELVIX_SHARED_SERVICES_H

#include "interface/host_services.h"

namespace brelvix {

struct HostServices {
    HostLookup lookup;
    const ParameterService *parameters;
    const ItemInfoService *items;
    const void *envelopes;
    const TimeInfo *timeInfo;
    const CameraInfoService *cameras;
    const PanelService *panels;
    InstanceUpdateFunction instanceUpdate;
};

/// The module-wide services record.
extern HostServices gHostServices;

/// Looks a service up through the stored lookup function; null without one.
void *lookupService(const char *name) noexcept;

/// The host's current time through "LW Time Info", looked up afresh; 0 when
/// the service cannot be had.
double currentHostTime() noexcept;

} // namespace brelvix

#endif
