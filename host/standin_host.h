// The stand-in host: plays the animation host for the tests and the tools.
//
// It provides every service the module looks up, in process, and records what
// the module asks of it. The host's services are plain C tables without a
// context argument, so one StandInHost is active at a time: constructing one
// makes it the active host, destroying it clears that.
//
// Parameter channels hold a constant value or keyframes, interpolated
// linearly between keys and held before the first and after the last. A
// channel saves itself into a scene file in this text form, one item a line:
//
//     channel <key count> <constant value>
//     key <time> <value>            (key count lines)
//
// and the five numbers of an instance follow as
//
//     floats <count> <value> ...
//
// Doubles are written with 17 significant digits and floats with 9, so that
// every value comes back bit for bit.
#ifndef BRELVIX_HOST_STANDIN_HOST_H
#define BRELVIX_HOST_STANDIN_HOST_H

#include "interface/host_services.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace brelvix::standin {

struct Key {
    double time;
    double value;
};

/// A value over time: a constant, or keys sorted by time.
struct Curve {
    double constant = 0.0;
    std::vector<Key> keys;

    double at(double time) const;
    /// Adds a key, keeping the keys sorted; a key at the same time replaces it,
    /// and one at a time that is not a number is ignored.
    void setKey(double time, double value);
};

/// The object behind a parameter-channel handle.
struct Channel {
    int typeCode = 0;
    int textureCode = 0;
    std::string name;
    void *group = nullptr;
    Curve curve;
};

/// The camera item: position, orientation and camera settings, each keyable.
/// Orientation is heading (about +y), pitch (about +x) and bank (about +z) in
/// radians; with all three 0 the right, up and forward axes are +x, +y, +z.
/// `axisScale` scales the right, up and forward axes that item info returns,
/// to exercise the module's normalisation.
struct CameraItem {
    Curve position[3];
    Curve heading, pitch, bank;
    Curve focalDistance{10.0, {}};
    Curve fStop{4.0, {}};
    double axisScale[3] = {1.0, 1.0, 1.0};
    int channelGroup = 0; // its address is the item's channel-group handle

    /// Right, up and forward axes at `time`, unit length before the scale.
    void axes(double time, double right[3], double up[3], double forward[3]) const;
};

/// One call the module made of a host service.
struct HostCall {
    std::string service;   // e.g. "LWVParmFuncs 2"
    std::string operation; // e.g. "create"
    const void *handle;    // the channel, item, panel or instance named, or null
    std::string detail;    // the other arguments, printed
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

/// A scene file being written: hand `state()` to an instance's save.
class SceneWriter {
  public:
    SceneWriter();
    ~SceneWriter();
    SaveState *state();
    /// Writes what was saved to `path`; false with `error` set on failure.
    bool writeTo(const std::string &path, std::string &error) const;
    const std::string &text() const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

/// A scene file being read: hand `state()` to an instance's load. Damaged
/// content makes the channel load report an error text of the host's, such
/// as "Scene line 3: expected a channel".
class SceneReader {
  public:
    explicit SceneReader(std::string text);
    ~SceneReader();
    /// Reads `path`; false with `error` set when the file cannot be read.
    static bool readFile(const std::string &path, std::string &text, std::string &error);
    LoadState *state();

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

/// A module file loaded as the host loads it: by path, through `_mod_descrip`.
class ModuleLibrary {
  public:
    /// Null with `error` naming the path (and the symbol) when the file
    /// cannot be loaded or has no descriptor.
    static std::unique_ptr<ModuleLibrary> open(const std::string &path, std::string &error);
    ~ModuleLibrary(); // closes the library
    ModuleLibrary(const ModuleLibrary &) = delete;
    ModuleLibrary &operator=(const ModuleLibrary &) = delete;

    const ModuleDescriptor &descriptor() const;
    /// The server of that class, or null.
    const ServerRecord *server(std::string_view className) const;
    /// The start-up function's result, called once at open.
    void *serverData() const;
    const std::string &path() const;

  private:
    ModuleLibrary() = default;
    void *handle_ = nullptr;
    const ModuleDescriptor *descriptor_ = nullptr;
    void *serverData_ = nullptr;
    std::string path_;
};

/// A lens activated through a server's activation function: its handler and
/// instance tables, as the host keeps them.
struct LensTables {
    CameraHandler handler{};
    InstanceHandlers instance{};
    /// Activates `activate` (version 2 unless told otherwise) and returns its
    /// result. The tables are set up so that `handler.instance` points at
    /// `instance`.
    int activate(HostActivation activate, HostLookup lookup, void *serverData,
                 int version = 2);
};

} // namespace brelvix::standin

#endif
