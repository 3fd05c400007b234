// The stand-in host's state behind StandInHost, and what its files share:
// the active host that the C services answer for, the number formats of the
// records and the scene text, the channels' scene lines, and the service
// tables the lookup hands out. Only the host's own sources include it.
#ifndef BRELVIX_HOST_HOST_STATE_H
#define BRELVIX_HOST_HOST_STATE_H

#include "host/standin_host.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

namespace brelvix::standin {

struct StandInHost::Impl {
    Impl *previous = nullptr; // the host that was active before this one

    std::vector<std::string> withheld;
    std::array<std::vector<int>, 8> failures; // countdowns per channel operation
    bool refusePanels = false;

    TimeInfo timeInfo{};
    CameraItem camera;
    std::vector<std::unique_ptr<Channel>> channels;

    std::vector<std::string> lookups;
    std::vector<HostCall> calls;
    std::vector<std::pair<std::string, void *>> instanceUpdates;
    std::vector<RecordedPanel> panels;
    std::vector<std::unique_ptr<std::size_t>> panelHandles; // *handle is the panel's index

    /// Records one call; `call.service`, `call.operation` and `call.handle`
    /// are set here, the typed fields by the caller.
    void record(const char *service, const char *operation, const void *handle, std::string detail,
                HostCall call = {}) {
        call.service = service;
        call.operation = operation;
        call.handle = handle;
        call.detail = std::move(detail);
        calls.push_back(std::move(call));
    }

    /// Counts one call of `op`; true when an injected failure falls on it.
    bool failsNow(ChannelOperation op) {
        std::vector<int> &pending = failures[static_cast<std::size_t>(op)];
        bool fail = false;
        for (int &countdown : pending) {
            if (--countdown == 0) {
                fail = true;
            }
        }
        std::erase_if(pending, [](int countdown) { return countdown <= 0; });
        return fail;
    }

    Channel *findChannel(const void *handle) {
        for (const std::unique_ptr<Channel> &channel : channels) {
            if (channel.get() == handle) {
                return channel.get();
            }
        }
        return nullptr;
    }

    RecordedPanel *findPanel(const void *handle) {
        for (const std::unique_ptr<std::size_t> &panel : panelHandles) {
            if (panel.get() == handle) {
                return &panels[*panel];
            }
        }
        return nullptr;
    }

    bool isCamera(const void *item) const { return item == &camera; }
};

/// The host whose services answer: the newest StandInHost alive, or null.
/// Every service function opens with it, as the host's C services carry no
/// context argument, and answers its neutral value when there is none.
StandInHost::Impl *activeHost();

/// A double with 17 significant digits, a float with 9: every value comes
/// back bit for bit from the text.
std::string formatDouble(double value);
std::string formatFloat(float value);
/// A handle in hexadecimal, 0 for null.
std::string formatPointer(const void *pointer);

/// A channel's lines in a scene being written (scene_file.cpp); an error text
/// when the state is not one of a SceneWriter.
const char *saveCurve(const Curve &curve, const SaveState *state);
/// Reads a channel's lines into `curve`. On damage the reader stays at the
/// line at fault, `curve` is unchanged and the host's error text is returned.
const char *loadCurve(Curve &curve, const LoadState *state);

// The service tables, each defined in the file of its service.
extern const ParameterService kParameterTable;             // parameter_service.cpp
extern const ItemInfoService kItemInfoTable;               // item_services.cpp
extern const CameraInfoService kCameraInfoTable;           // item_services.cpp
extern const int kEnvelopeService;                         // item_services.cpp
extern const PanelService kPanelTable;                     // panel_toolkit.cpp
int instanceUpdate(const char *className, void *instance); // panel_toolkit.cpp

} // namespace brelvix::standin

#endif
