// The renderer's side of the host: a module file loaded through its
// descriptor, its lens and panel servers activated, and one camera instance
// made on the stand-in host's camera item.
//
// The session plays the host as the renderer does: it finds the instance's
// parameter channels through the panel's getter, loads and saves the
// instance's data in a scene file, asks for the viewport matrix and the
// panel's focal-length line, and calls the per-frame operation before it
// hands the ray evaluation to the render threads. Nothing of the module is
// linked in; every call goes through the tables the activations filled.
#ifndef BRELVIX_TOOLS_RENDER_LENS_SESSION_H
#define BRELVIX_TOOLS_RENDER_LENS_SESSION_H

#include "host/standin_host.h"
#include "interface/module_interface.h"
#include "tools/render/film.h"

#include <array>
#include <memory>
#include <string>
#include <string_view>

namespace brelvix::render {

/// The lens's five channel names, in the parameter order.
using brelvix::kChannelNames;

class LensSession {
  public:
    /// Loads the module at `path` and makes the camera instance; null with a
    /// one-line `error` when the file is missing or is not a lens module.
    static std::unique_ptr<LensSession> open(const std::string &path, std::string &error);
    ~LensSession(); // destroys the instance before the module is closed
    LensSession(const LensSession &) = delete;
    LensSession &operator=(const LensSession &) = delete;

    /// The host's camera item: position, orientation, focal distance, f-stop.
    standin::CameraItem &camera();
    void setCurrentTime(double time);

    /// The channel of a parameter by its channel name, or null for a name
    /// the lens does not have.
    standin::Channel *channel(std::string_view name);

    /// Loads the instance's data from `text`, the lens's part of a scene
    /// file starting on line `firstLine` of it; false with `error` set (the
    /// host's text, its line counted in the whole file, when the module's
    /// load reports one).
    bool loadLensData(const std::string &text, int firstLine, std::string &error);
    /// The instance's data as the module saves it; false with `error` set.
    bool saveLensData(std::string &text, std::string &error);

    /// The viewport matrix of the preview at the lens centre, for a film of
    /// that size.
    std::array<double, 16> previewMatrix(double filmWidth, double filmHeight);
    /// The panel's focal-length line (id 0x8002).
    std::string focalLengthLine();

    /// The per-frame call; false with the module's error text.
    bool prepareFrame(const FrameInfo &frame, double filmWidth, double filmHeight,
                      std::string &error);
    /// The ray evaluation, valid until the next prepareFrame.
    LensRays rays() const;

  private:
    LensSession() = default;
    CameraAccess access(double filmWidth, double filmHeight);

    std::unique_ptr<standin::ModuleLibrary> module_;
    std::unique_ptr<standin::StandInHost> host_;
    standin::LensTables lens_;
    PanelGetter panelGetter_ = nullptr;
    void *instance_ = nullptr;
};

} // namespace brelvix::render

#endif
