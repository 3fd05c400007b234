// The host's plug-in interface as the module sees it: plain C records, tables
// of function pointers and opaque handles, in the host's own byte layout.
//
// Everything here crosses the boundary between the host and the module, so it
// holds only C types. A "word" is a pointer-sized field (4 bytes on 32-bit
// Windows, 8 on 64-bit targets). A "slot" is a word the module never reads or
// writes; it only keeps the position of the fields after it. Positions of a
// service table count its words from 1, in the host's order.
//
// Ownership: every handle (item, channel, channel group, panel, reader,
// writer) belongs to the host. The module never frees one; it only destroys
// the parameter channels it created itself, through the parameter service.
// Records that the host hands in (LoadState, SaveState, FrameInfo,
// CameraAccess, CameraRay) live for the duration of the call only.
#ifndef BRELVIX_INTERFACE_HOST_SERVICES_H
#define BRELVIX_INTERFACE_HOST_SERVICES_H

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define BRELVIX_EXPORT __declspec(dllexport)
#else
#define BRELVIX_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// ---------------------------------------------------------------------------
// Common types

/// Error text of an operation that can fail; null means success. The text is
/// either a constant of the module or a host text handed back unchanged.
typedef const char *HostErrorText;

/// The host's global lookup: returns the service named, or null when the host
/// lacks it. The module always passes use code 0.
typedef void *(*HostLookup)(const char *serviceName, int useCode);

/// What an activation function returns.
enum ActivationResult {
    kActivationSucceeded = 0,
    /// The version is not the one the server accepts; nothing was looked up
    /// and `local` is as it came.
    kActivationBadVersion = 1,
    /// A service the server requires is missing; `local` is as it came (the
    /// panel's interface record included).
    kActivationMissingService = 2,
};

/// A server's activation function, named in the server list.
///
/// Called by the host on its main thread, after the start-up function and
/// before it uses the server's tables; possibly more than once, each call
/// looking the services up afresh. `local` is the table the server fills
/// (CameraHandler for "CameraHandler", InterfaceRecord for
/// "CameraInterface"); `serverData` is the start-up function's result, which
/// the module does not use. Returns an ActivationResult.
typedef int (*HostActivation)(int version, HostLookup lookup, void *local, void *serverData);

// ---------------------------------------------------------------------------
// The module descriptor, the one exported symbol

/// Tag list entry; the list ends with an entry whose text is null.
struct ServerTag {
    const char *text;
    uint32_t tag;
};

/// Server record; the list ends with a record of four nulls.
struct ServerRecord {
    const char *className;
    const char *name;
    HostActivation activate;
    const ServerTag *tags;
};

/// The record exported as `_mod_descrip`. The first three fields are 32-bit
/// unsigned on every target, as the host declares them; on a 64-bit target
/// four bytes of padding follow them, before the pointers.
struct ModuleDescriptor {
    uint32_t syncWord;
    uint32_t systemVersion;
    uint32_t machineWord;
    void *(*startup)(void);
    void (*shutdown)(void *serverData);
    const ServerRecord *servers;
};

// ---------------------------------------------------------------------------
// Records the host hands in

/// Load state of a scene being read. Only the reader handle and the float
/// read are used; the mode and the slots belong to the host.
struct LoadState {
    int mode;
    void *reader;
    void *hostSlots[7];
    /// Reads up to `count` floats into `values`; returns how many were read
    /// (a negative result means none).
    int (*readFloats)(void *reader, float *values, int count);
};

/// Save state of a scene being written.
struct SaveState {
    int mode;
    void *writer;
    void *hostSlots[7];
    void (*writeFloats)(void *writer, const float *values, int count);
};

/// The host's camera record given to the per-frame call and the preview.
/// Only the camera item and the film size are the module's to read; the
/// other bytes are the host's. The same offsets hold on every target.
struct CameraAccess {
    void *cameraItem;
    unsigned char hostBytes[176 - sizeof(void *)];
    double filmWidth;
    double filmHeight;
};

/// The host's description of the frame about to be rendered.
struct FrameInfo {
    int32_t frame;
    alignas(8) double start;
    double duration;
    double framesPerSecond;
    int32_t motionSteps;
};

/// The ray that the ray evaluation fills.
struct CameraRay {
    double origin[3];
    double direction[3];
    double filmNormal[3];
};

/// "LW Time Info": the first field is the current scene time; the rest of
/// the record is the host's.
struct TimeInfo {
    double currentTime;
};

// ---------------------------------------------------------------------------
// Service tables

/// "LWVParmFuncs 2": the host's animatable parameter channels.
struct ParameterService {
    void *(*create)(int typeCode, int textureCode);
    void (*destroy)(void *channel);
    int (*setup)(void *channel, const char *name, void *group, void *, void *, void *, void *);
    HostErrorText (*copy)(void *to, void *from);
    HostErrorText (*load)(void *channel, const LoadState *state);
    HostErrorText (*save)(void *channel, const SaveState *state);
    /// Writes the value at `time` into out[0]; a host may write further
    /// doubles after it, so callers pass room for at least four.
    int (*value)(void *channel, double time, void *reserved, double *out);
    int (*setValue)(void *channel, double *in);
};

/// Item parameter codes of "LW Item Info 4".
enum ItemParameterCode {
    kItemRightAxis = 2,
    kItemUpAxis = 3,
    kItemForwardAxis = 4,
    kItemWorldPosition = 8,
};

/// "LW Item Info 4".
struct ItemInfoService {
    void *hostSlots1to9[9];
    void (*param)(void *item, int code, double time, double out[3]);
    void *hostSlots11to13[3];
    void *(*channelGroup)(void *item);
};

/// "LW Camera Info 5".
struct CameraInfoService {
    void *hostSlots1to2[2];
    double (*focalDistance)(void *item, double time);
    double (*fStop)(void *item, double time);
};

/// Panel control record; the table ends with a record of three zeros.
struct PanelControl {
    uintptr_t id;
    const char *label;
    const char *controlClass;
};

/// Panel data description record; the table ends with a record of three zeros.
struct PanelDataDesc {
    uintptr_t id;
    const char *name;
    const char *dataType;
};

typedef void *(*PanelGetter)(void *instance, uintptr_t id);
typedef int (*PanelSetter)(void *instance, uintptr_t id, void *value);

/// "LWXPanel": the host's panel toolkit.
struct PanelService {
    void *hostSlots1to2[2];
    void *(*create)(int type, const PanelControl *controls);
    void *hostSlot4;
    void (*describe)(void *panel, const PanelDataDesc *data, PanelGetter getter,
                     PanelSetter setter);
    void (*hint)(void *panel, uintptr_t id, const intptr_t *hints);
    void *hostSlot7;
    void (*setData)(void *panel, uintptr_t id, void *data);
    void *hostSlots9to10[2];
    int (*viewInstance)(void *panel, void *instance);
};

/// "Instance Update": the service is the function itself.
typedef int (*InstanceUpdateFunction)(const char *className, void *instance);

// ---------------------------------------------------------------------------
// Tables the module fills

/// The host's instance table, filled by a successful lens activation.
///
/// The host calls these on its main thread, one at a time, never while a
/// ray evaluation of the instance runs. An instance handle is what create
/// returned and stays valid until it is handed to destroy; the record behind
/// it is the module's. None of them throws, allocates beyond what create
/// says, or keeps a pointer to a record the host hands in.
struct InstanceHandlers {
    /// The lookup function the activation was given. The host passes it back
    /// to create, which does not use it.
    void *privateData;
    /// A camera takes the lens. `context` is the camera item; `error` may be
    /// null.
    /// Returns the new instance: its five parameter channels made in the
    /// item's channel group (a channel the host does not make stays absent),
    /// its cached values the defaults, no sample table. Returns null, with
    /// *error = "Couldn't allocate instance data." when `error` is not null,
    /// when its record cannot be allocated; no channel is made then.
    void *(*create)(void *privateData, void *context, const char **error);
    /// The camera drops the lens. Destroys the instance's channels through the
    /// parameter service and releases its sample table and its record; null
    /// is ignored. Afterwards the handle is invalid and no block of the
    /// instance is left.
    void (*destroy)(void *instance);
    /// Copies `from`'s channels into `to`'s, one by one through the parameter
    /// service, where both have that channel; a channel copy that fails is
    /// passed over. Cached values and the sample table are not copied.
    /// Always returns null.
    HostErrorText (*copy)(void *to, void *from);
    /// Reads the instance's data from a scene being loaded: each channel's
    /// data in parameter order, then the five cached values as floats.
    /// Returns null, or a channel load's error text unchanged, which ends the
    /// load there (the numbers are then not read). Numbers the host does not
    /// deliver keep their cached values.
    HostErrorText (*load)(void *instance, const LoadState *state);
    /// Writes the same to a scene being saved, the cached values narrowed to
    /// single precision. Returns null, or a channel save's error text
    /// unchanged, which ends the save there.
    HostErrorText (*save)(void *instance, const SaveState *state);
    /// The instance's description line: "Brelvix", a constant text valid as
    /// long as the module is loaded.
    const char *(*describe)(void *instance);
};

/// The lens handler table, the `local` of the "CameraHandler" activation.
///
/// The host hands it in with `instance` pointing at its instance table; a
/// successful activation fills that table and the four operations here, a
/// failed one leaves both as they came. `instance` arguments are handles the
/// instance table's create returned.
struct CameraHandler {
    /// The host's instance table, filled by the activation.
    InstanceHandlers *instance;
    /// The item table; the module leaves it as the host gave it.
    void *item;
    /// The render table; the module leaves it as the host gave it.
    void *render;
    /// The viewport redraws. Called on the host's main thread, never while a
    /// per-frame call of the instance runs. Samples the parameters at the
    /// host's current time, asks the camera service (looked up afresh) for
    /// the focal distance and f-stop, keeps the film size of `access` for
    /// the panel's read-out, and writes the 16 doubles of `matrix`, row by
    /// row. The sample table, and so every ray, is left as it was. Returns 1.
    int (*preview)(void *instance, double lensX, double lensY, double matrix[16],
                   const CameraAccess *access);
    /// Before a frame is rendered, on one thread, never while a ray
    /// evaluation or the destruction of the instance runs. Rebuilds the
    /// instance's sample table: four times the frame's motion steps plus one
    /// records, evenly spaced over the shutter interval, each from the host's
    /// answers at its time. Returns null; or "Can't allocate Memory" when the
    /// table cannot be allocated or the motion steps are negative or beyond
    /// the lens's cap, and the instance then has no table until the next
    /// successful call.
    HostErrorText (*newFrame)(void *instance, const FrameInfo *frame, const CameraAccess *access);
    /// One camera ray, from any number of the host's render threads at once
    /// for one instance, between a per-frame call and the next one (or the
    /// instance's destruction). Reads only the sample table and writes only
    /// `*ray`; allocates nothing, takes no lock, calls no host service.
    /// Returns 1 with `*ray` filled (a unit direction, the film normal along
    /// the forward axis), or 0 with `*ray` untouched when the instance has no
    /// table.
    int (*evaluate)(void *instance, double filmX, double filmY, double lensX, double lensY,
                    double shutterFraction, CameraRay *ray);
    /// The lens's flag word: 1, whatever the instance holds; it reads
    /// nothing of the instance.
    unsigned int (*flags)(void *instance);
};

/// The interface record, the `local` of the "CameraInterface" activation.
/// A successful activation that made a panel writes the last three fields;
/// otherwise the record keeps what the host put in it.
struct InterfaceRecord {
    /// Set by the host: the instance the panel shows.
    void *instance;
    /// The new panel, the host's to keep and destroy.
    void *panel;
    /// Options function: none.
    void *options;
    /// Command function: none.
    void *command;
};

} // extern "C"

// ---------------------------------------------------------------------------
// The names the services are looked up by, with use code 0.

namespace brelvix {
/// The descriptor's first three values. The machine word is the one the host
/// requires of the target: 0x300 for Windows, 32-bit and 64-bit alike, 0x500
/// for Linux.
inline constexpr uint32_t kDescriptorSyncWord = 0x04121994;
inline constexpr uint32_t kDescriptorSystemVersion = 3;
#if defined(_WIN32)
inline constexpr uint32_t kDescriptorMachineWord = 0x300;
#else
inline constexpr uint32_t kDescriptorMachineWord = 0x500;
#endif

inline constexpr const char *kParameterServiceName = "LWVParmFuncs 2";
inline constexpr const char *kItemInfoServiceName = "LW Item Info 4";
inline constexpr const char *kEnvelopeServiceName = "Animation Envelopes";
inline constexpr const char *kTimeInfoServiceName = "LW Time Info";
inline constexpr const char *kCameraInfoServiceName = "LW Camera Info 5";
inline constexpr const char *kPanelServiceName = "LWXPanel";
inline constexpr const char *kInstanceUpdateServiceName = "Instance Update";
} // namespace brelvix

// The byte positions the module relies on are checked, for every target the
// module is built for, in host_layout_checks.cpp.

#endif
