// What the stand-in host records of the module's calls, and the operations
// whose failure it can inject.
#ifndef BRELVIX_HOST_RECORDING_H
#define BRELVIX_HOST_RECORDING_H

#include "interface/host_services.h"

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace brelvix::standin {

/// One call the module made of a host service.
struct HostCall {
    std::string service;   // e.g. "LWVParmFuncs 2"
    std::string operation; // e.g. "create"
    const void *handle;    // the channel, item, panel or instance named, or null
    std::string detail;    // the other arguments, printed
    /// The time asked about (channel value, item parameter, focal distance,
    /// f-stop); NaN for the other operations.
    double time = std::numeric_limits<double>::quiet_NaN();
    /// The value a channel's set value was given; NaN for the other
    /// operations.
    double value = std::numeric_limits<double>::quiet_NaN();
    /// The item parameter code of an item parameter query, the type code of
    /// a channel create; 0 for the other operations.
    int code = 0;
    /// An injected failure fell on the call.
    bool failed = false;
};

enum class ChannelOperation { Create, Destroy, Setup, Copy, Load, Save, Value, SetValue };

/// What the panel toolkit was handed for one panel.
struct RecordedPanel {
    int type = 0;
    std::vector<PanelControl> controls;   // up to and including the closing record
    std::vector<PanelDataDesc> dataDescs; // up to and including the closing record
    PanelGetter getter = nullptr;
    PanelSetter setter = nullptr;
    std::vector<std::pair<uintptr_t, std::vector<intptr_t>>> hints; // id, words incl. final 0
    std::vector<void *> viewedInstances;
    std::vector<std::pair<uintptr_t, void *>> data; // set data: id, value
    std::vector<std::string> callOrder;             // "create", "describe", "hint", ...
};

} // namespace brelvix::standin

#endif
