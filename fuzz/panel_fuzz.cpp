// Fuzz target: the panel server's activation, getter and setter with
// arbitrary ids and values.
//
// The input picks the activation's version and which of the host's panel
// services are there, the zoom channel, the current time and the film size
// of a preview, then a run of getter and setter calls with arbitrary ids
// (near the panel's own and raw words) and values (a null value included).
// What must hold:
// - activation answers 1 for a version other than 4, 2 without the toolkit,
//   and 0 otherwise; the interface record is written only when a panel was
//   made;
// - the getter answers the channel of an envelope control, the instance's
//   focal-length line (terminated within its 40 characters, reading "Focal
//   Length ...mm") for 0x8002, and null for any other id; it changes nothing
//   of the instance but that line;
// - the setter takes a value only for the five envelope controls: it stores
//   exactly the double given into that cached value, changes nothing else,
//   and notifies the host once when "Instance Update" is there; for any other
//   id or a null value it answers 0 and changes nothing;
// - destroying the instance leaves no block of the module and no channel.
#include "fuzz/fuzz_support.h"
#include "instance/camera_instance.h"
#include "panel/panel_server.h"
#include "tests/support/failing_allocation.h"

#include <cstddef>
#include <cstring>

namespace brelvix::fuzz {
namespace {

CameraInstance &record(void *instance) { return *static_cast<CameraInstance *>(instance); }

/// The parameter an envelope control edits, or null.
const ParameterInfo *parameterFor(uintptr_t id) {
    if (id == kZoomControl) {
        return &kParameters[0];
    }
    if (id >= kHShiftControl && id <= kAngleControl) {
        return &kParameters[id - kHShiftControl + 1];
    }
    return nullptr;
}

std::size_t cachedOffset(const ParameterInfo &parameter) {
    const CameraInstance probe{};
    return static_cast<std::size_t>(
        reinterpret_cast<const unsigned char *>(&(probe.*parameter.cached)) -
        reinterpret_cast<const unsigned char *>(&probe));
}

uintptr_t readId(FuzzInput &input) {
    const uint8_t kind = input.byte();
    if (kind < 200) {
        return 0x8000 + kind % 12; // the panel's ids and their neighbours
    }
    if (kind < 210) {
        return 0;
    }
    return input.raw<uintptr_t>();
}

/// The instance's bytes, to compare before and after a call.
struct Snapshot {
    unsigned char bytes[sizeof(CameraInstance)];

    explicit Snapshot(const CameraInstance &instance) {
        std::memcpy(bytes, &instance, sizeof bytes);
    }
    /// Equal up to `end`, the offset where the comparison stops.
    bool matches(const CameraInstance &instance, std::size_t end = sizeof(CameraInstance)) const {
        return std::memcmp(bytes, &instance, end) == 0;
    }
};

void checkFocalLengthLine(const char *text) {
    const void *const end = std::memchr(text, '\0', 40);
    FUZZ_CHECK(end != nullptr, "the focal-length line is not terminated within 40 characters");
    const std::size_t size = std::strlen(text);
    FUZZ_CHECK(std::strncmp(text, "Focal Length ", 13) == 0 && size >= 15 &&
                   std::strcmp(text + size - 2, "mm") == 0,
               "focal-length line \"%s\"", text);
}

void runPanel(FuzzInput &input) {
    testing::failAllocation(0);
    const uint8_t setup = input.byte();
    const int version = (setup & 0x07) == 0 ? input.byte() % 8 : kPanelVersion;
    const bool withoutToolkit = (setup & 0x18) == 0x18;
    const bool withoutUpdate = (setup & 0x20) != 0;
    const bool refusePanel = (setup & 0xC0) == 0xC0;

    ActiveLens active;
    standin::StandInHost &host = active.host;
    const char *error = nullptr;
    void *const instance = active.create(&error);
    FUZZ_CHECK(instance != nullptr, "create failed: %s", error);
    CameraInstance &camera = record(instance);

    host.channel(camera.zoomChannel)->curve.constant = input.number();
    host.setCurrentTime(input.number());
    if ((input.byte() & 1) == 0) {
        // A preview leaves its film height for the focal-length line.
        CameraAccess access{};
        access.cameraItem = host.cameraItem();
        access.filmWidth = input.number();
        access.filmHeight = input.number();
        double matrix[16];
        active.lens.handler.preview(instance, 0.0, 0.0, matrix, &access);
    }

    // Activate the panel server.
    if (withoutToolkit) {
        host.withholdService("LWXPanel");
    }
    if (withoutUpdate) {
        host.withholdService("Instance Update");
    }
    host.refusePanels(refusePanel);
    int sentinel = 0;
    InterfaceRecord interface { instance, &sentinel, &sentinel, &sentinel };
    const int result = activatePanel(version, host.lookup(), &interface, startupModule());
    const int expected = version != kPanelVersion ? 1 : withoutToolkit ? 2 : 0;
    FUZZ_CHECK(result == expected, "panel activation (version %d) gave %d, not %d", version, result,
               expected);
    const bool made = expected == 0 && !refusePanel;
    if (made) {
        FUZZ_CHECK(interface.instance == instance && interface.panel != nullptr &&
                       interface.panel != &sentinel && interface.options == nullptr &&
                       interface.command == nullptr,
                   "interface record not filled");
    } else {
        FUZZ_CHECK(interface.instance == instance && interface.panel == &sentinel &&
                       interface.options == &sentinel && interface.command == &sentinel,
                   "interface record written without a panel");
    }

    // The toolkit calls what it was handed; without a panel call them directly.
    PanelGetter getter = panelGet;
    PanelSetter setter = panelSet;
    if (made) {
        getter = host.panels().back().getter;
        setter = host.panels().back().setter;
        FUZZ_CHECK(getter != nullptr && setter != nullptr, "the panel has no callbacks");
    }
    const bool notifies = !withoutUpdate && version == kPanelVersion;

    while (!input.empty()) {
        const uint8_t operation = input.byte();
        const uintptr_t id = readId(input);
        const ParameterInfo *const parameter = parameterFor(id);
        const Snapshot before(camera);
        if (operation % 2 == 0) {
            void *const answer = getter(instance, id);
            FUZZ_CHECK(before.matches(camera, offsetof(CameraInstance, infoText)),
                       "the getter changed the instance");
            if (parameter != nullptr) {
                FUZZ_CHECK(answer == camera.*parameter->channel, "id 0x%zx: not its channel",
                           static_cast<std::size_t>(id));
            } else if (id == kFocalLengthLine) {
                FUZZ_CHECK(answer == camera.infoText, "id 0x8002: not the focal-length line");
                checkFocalLengthLine(camera.infoText);
            } else {
                FUZZ_CHECK(answer == nullptr, "id 0x%zx: answered %p", static_cast<std::size_t>(id),
                           answer);
            }
            continue;
        }

        double value = input.number();
        const bool withValue = operation % 4 != 3;
        const std::size_t updatesBefore = host.instanceUpdates().size();
        const int taken = setter(instance, id, withValue ? &value : nullptr);
        const std::size_t updates = host.instanceUpdates().size() - updatesBefore;
        if (parameter == nullptr || !withValue) {
            FUZZ_CHECK(taken == 0 && updates == 0 && before.matches(camera),
                       "id 0x%zx%s: taken %d, %zu updates", static_cast<std::size_t>(id),
                       withValue ? "" : " without a value", taken, updates);
            continue;
        }
        FUZZ_CHECK(taken == 1, "id 0x%zx: not taken", static_cast<std::size_t>(id));
        FUZZ_CHECK(std::memcmp(&(camera.*parameter->cached), &value, sizeof value) == 0,
                   "id 0x%zx: stored %.17g, not %.17g", static_cast<std::size_t>(id),
                   camera.*parameter->cached, value);
        Snapshot expectedRecord = before;
        std::memcpy(expectedRecord.bytes + cachedOffset(*parameter), &value, sizeof value);
        FUZZ_CHECK(expectedRecord.matches(camera),
                   "id 0x%zx: the setter changed more than its value",
                   static_cast<std::size_t>(id));
        FUZZ_CHECK(updates == (notifies ? 1u : 0u), "id 0x%zx: %zu updates",
                   static_cast<std::size_t>(id), updates);
        if (updates == 1) {
            FUZZ_CHECK(host.instanceUpdates().back().first == "CameraHandler" &&
                           host.instanceUpdates().back().second == instance,
                       "notified \"%s\"", host.instanceUpdates().back().first.c_str());
        }
    }

    active.lens.instance.destroy(instance);
    checkNothingLeft(host);
}

} // namespace
} // namespace brelvix::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    brelvix::fuzz::FuzzInput input(data, size);
    brelvix::fuzz::runPanel(input);
    return 0;
}
