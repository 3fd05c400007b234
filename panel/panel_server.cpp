#include "panel/panel_server.h"

#include "instance/camera_instance.h"
#include "shared/no_op.h"
#include "shared/services.h"

#include <cstdio>

namespace brelvix {
namespace {

constexpr PanelControl kControls[] = {
    {kZoomControl, "Zoom Factor", "float-env"},
    {kFocalLengthLine, "", "sInfo"},
    {kHShiftControl, "Horizontal Shift", "percent-env"},
    {kVShiftControl, "Vertical Shift", "percent-env"},
    {kDistanceControl, "StereoDistance", "distance-env"},
    {kAngleControl, "StereoAngle", "angle-env"},
    {0, nullptr, nullptr},
};

constexpr PanelDataDesc kDataDescriptions[] = {
    {kZoomControl, "", "float-env"},
    {kFocalLengthLine, "", "string"},
    {kHShiftControl, "", "percent-env"},
    {kVShiftControl, "", "percent-env"},
    {kDistanceControl, "", "distance-env"},
    {kAngleControl, "", "angle-env"},
    {0, nullptr, nullptr},
};

// Toolkit hint tags. The low byte of a tag is its argument count; 0x81 marks
// a group: its id, its members, then 0.
constexpr intptr_t kGroupHint = 0x3D01FE81;
constexpr intptr_t kLabelHint = 0x3D000B03;
constexpr intptr_t kCallbackHint = 0x3D000F01;
constexpr intptr_t kCallbackPairHint = 0x3D001302;
constexpr intptr_t kMinimumHint = 0x3D014002;
constexpr intptr_t kMaximumHint = 0x3D014102;
constexpr intptr_t kZoomHint = 0x3D014202;
constexpr intptr_t kPanelHint = 0x3D001201;

constexpr intptr_t kZoomGroup = 0x8008;
constexpr intptr_t kShiftGroup = 0x8009;
constexpr intptr_t kStereoGroup = 0x800A;

constexpr const char *kPanelTitle = "Perspective Control Camera";

intptr_t word(uintptr_t id) { return static_cast<intptr_t>(id); }

// The no-op callback is the function the descriptor also names as its
// shut-down function.
const intptr_t kHints[] = {
    kGroupHint,
    kZoomGroup,
    word(kZoomControl),
    word(kFocalLengthLine),
    0,
    kGroupHint,
    kStereoGroup,
    word(kDistanceControl),
    word(kAngleControl),
    0,
    kGroupHint,
    kShiftGroup,
    word(kHShiftControl),
    word(kVShiftControl),
    0,
    kLabelHint,
    0,
    reinterpret_cast<intptr_t>(kPanelTitle),
    0,
    kCallbackHint,
    reinterpret_cast<intptr_t>(&ignoreArgument),
    kCallbackPairHint,
    reinterpret_cast<intptr_t>(&ignoreArgument),
    0,
    kMinimumHint,
    word(kZoomControl),
    0,
    kZoomHint,
    word(kZoomControl),
    1,
    kMinimumHint,
    word(kHShiftControl),
    -1000,
    kMaximumHint,
    word(kHShiftControl),
    1000,
    kMinimumHint,
    word(kVShiftControl),
    -1000,
    kMaximumHint,
    word(kVShiftControl),
    1000,
    kMinimumHint,
    word(kAngleControl),
    -90,
    kMaximumHint,
    word(kAngleControl),
    90,
    kPanelHint,
    -1,
    0,
};

/// The cached value and channel behind an envelope control, or null.
const ParameterInfo *parameterFor(uintptr_t id) {
    switch (id) {
    case kZoomControl:
        return &kParameters[0];
    case kHShiftControl:
        return &kParameters[1];
    case kVShiftControl:
        return &kParameters[2];
    case kDistanceControl:
        return &kParameters[3];
    case kAngleControl:
        return &kParameters[4];
    default:
        return nullptr;
    }
}

/// The zoom at the host's current time: the channel's value where the
/// parameter service and the channel are there, the cached value otherwise.
double currentZoom(const CameraInstance &instance) {
    const ParameterService *const parameters = gHostServices.parameters;
    if (parameters == nullptr || instance.zoomChannel == nullptr) {
        return instance.zoomFactor;
    }
    double scratch[4] = {instance.zoomFactor, 0.0, 0.0, 0.0};
    static_cast<void>(parameters->value(instance.zoomChannel, currentHostTime(), nullptr, scratch));
    return scratch[0];
}

} // namespace

const PanelControl *panelControls() noexcept { return kControls; }
const PanelDataDesc *panelDataDescriptions() noexcept { return kDataDescriptions; }
const intptr_t *panelHints() noexcept { return kHints; }

void formatFocalLength(char *text, std::size_t size, double millimetres) noexcept {
    const int length = std::snprintf(text, size, "Focal Length %0.1fmm", millimetres);
    if (length < 0 || static_cast<std::size_t>(length) >= size) {
        std::snprintf(text, size, "Focal Length %0.3emm", millimetres);
    }
}

void *panelGet(void *instance, uintptr_t id) noexcept {
    CameraInstance &camera = *static_cast<CameraInstance *>(instance);
    if (const ParameterInfo *const parameter = parameterFor(id)) {
        return camera.*parameter->channel;
    }
    if (id == kFocalLengthLine) {
        const double millimetres = ((camera.filmHeight * currentZoom(camera)) * 0.5) * 1000.0;
        formatFocalLength(camera.infoText, sizeof camera.infoText, millimetres);
        return camera.infoText;
    }
    return nullptr;
}

int panelSet(void *instance, uintptr_t id, void *value) noexcept {
    const ParameterInfo *const parameter = parameterFor(id);
    if (parameter == nullptr || value == nullptr) {
        return 0;
    }
    CameraInstance &camera = *static_cast<CameraInstance *>(instance);
    camera.*parameter->cached = *static_cast<const double *>(value);
    if (gHostServices.instanceUpdate != nullptr) {
        gHostServices.instanceUpdate(kLensClass, instance);
    }
    return 1;
}

int activatePanel(int version, HostLookup lookup, void *local, void * /*serverData*/) noexcept {
    if (version != kPanelVersion) {
        return kActivationBadVersion;
    }
    HostServices &services = gHostServices;
    services.lookup = lookup;
    services.instanceUpdate =
        reinterpret_cast<InstanceUpdateFunction>(lookup(kInstanceUpdateServiceName, 0));
    services.panels = static_cast<const PanelService *>(lookup(kPanelServiceName, 0));
    if (services.panels == nullptr) {
        return kActivationMissingService;
    }

    auto *const record = static_cast<InterfaceRecord *>(local);
    void *const instance = record->instance;
    const PanelService &toolkit = *services.panels;
    void *const panel = toolkit.create(1, kControls);
    if (panel == nullptr) {
        return kActivationSucceeded;
    }
    toolkit.describe(panel, kDataDescriptions, panelGet, panelSet);
    toolkit.hint(panel, 0, kHints);
    toolkit.viewInstance(panel, instance);
    toolkit.setData(panel, 0, instance);
    record->panel = panel;
    record->options = nullptr;
    record->command = nullptr;
    return kActivationSucceeded;
}

} // namespace brelvix
