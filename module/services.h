// The host services the module works with, fetched at activation.
//
// This is the module's only global state. The two activation functions write
// it; everything else only reads it. A successful lens activation precedes
// every lens and instance operation, so the services it requires are present
// whenever those run; the panel's services are optional everywhere.
#ifndef BRELVIX_MODULE_SERVICES_H
#define BRELVIX_MODULE_SERVICES_H

#include "module/host_services.h"

namespace brelvix {

inline constexpr const char *kParameterServiceName = "LWVParmFuncs 2";
inline constexpr const char *kItemInfoServiceName = "LW Item Info 4";
inline constexpr const char *kEnvelopeServiceName = "Animation Envelopes";
inline constexpr const char *kTimeInfoServiceName = "LW Time Info";
inline constexpr const char *kCameraInfoServiceName = "LW Camera Info 5";
inline constexpr const char *kPanelServiceName = "LWXPanel";
inline constexpr const char *kInstanceUpdateServiceName = "Instance Update";

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
