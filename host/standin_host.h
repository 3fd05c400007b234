// The stand-in host: plays the animation host for the tests and the tools.
//
// It provides every service the module looks up, in process, and records what
// the module asks of it. The host's services are plain C tables without a
// context argument, so one StandInHost is active at a time: constructing one
// makes it the active host, destroying it clears that.
//
// The host's parts, each in a file of its own:
//
//     curves.h           curves, channels and the camera item
//     recording.h        the records of the module's calls
//     scene_file.h       the scene text (SceneWriter, SceneReader)
//     module_library.h   loading a module file (ModuleLibrary)
//     lens_tables.h      the tables of an activated lens (LensTables)
//
// and, behind StandInHost, one source file per service: parameter_service,
// item_services (item, camera and time info), panel_toolkit (with "Instance
// Update"); standin_host.cpp holds the lookup, the records and the fault
// injection. This header includes the public ones.
#ifndef BRELVIX_HOST_STANDIN_HOST_H
#define BRELVIX_HOST_STANDIN_HOST_H

#include "host/curves.h"
#include "host/lens_tables.h"
#include "host/module_library.h"
#include "host/recording.h"
#include "host/scene_file.h"
#include "interface/host_services.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brelvix::standin {

class StandInHost {
  public:
    StandInHost();
    ~StandInHost();
    StandInHost(const StandInHost &) = delete;
    StandInHost &operator=(const StandInHost &) = delete;

    /// The host's global lookup function, to hand to an activation.
    HostLookup lookup() const;

    // --- set-up and fault injection
    /// The lookup answers null for this service from now on.
    void withholdService(std::string_view name);
    /// The `nth` call (1 = the next) of `op` from now fails once: create gives
    /// no channel, load, save and copy give an error text, value and set
    /// value return 0 and write nothing.
    void failChannelOperation(ChannelOperation op, int nth = 1);
    /// The panel toolkit's create gives no panel.
    void refusePanels(bool refuse);
    void setCurrentTime(double time);

    // --- state
    CameraItem &camera();
    /// The camera item handle, the context of the instance create.
    void *cameraItem();
    /// The channel behind a handle the host made, or null.
    Channel *channel(void *handle);
    /// Channels the host has made and not destroyed.
    std::size_t liveChannelCount() const;

    // --- records of what the module did
    const std::vector<std::string> &lookups() const;
    const std::vector<HostCall> &calls() const;
    std::size_t countCalls(std::string_view service, std::string_view operation) const;
    void clearRecords();
    const std::vector<std::pair<std::string, void *>> &instanceUpdates() const;
    const std::vector<RecordedPanel> &panels() const;

    /// The text of an error the host reports for a failed operation.
    static constexpr const char *kInjectedFailure = "Stand-in host: operation failed";

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

} // namespace brelvix::standin

#endif
