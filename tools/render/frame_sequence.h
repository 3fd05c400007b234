// The frames of a run, one after another: the set-up, the module and the
// scene made once when the sequence opens, then for each frame the camera
// placed, the lens's per-frame call made and the scene placed at the frame's
// start. Rendering and the depth check each loop over it.
#ifndef BRELVIX_TOOLS_RENDER_FRAME_SEQUENCE_H
#define BRELVIX_TOOLS_RENDER_FRAME_SEQUENCE_H

#include "tools/render/film.h"
#include "tools/render/lens_session.h"
#include "tools/render/render_options.h"
#include "tools/render/setup_file.h"
#include "tools/render/traced_scene.h"
#include "tools/shot/shot.h"

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace brelvix::render {

/// A frame ready for its rays. Its user may make the per-frame call again
/// (with other channel values) before it moves on.
struct PreparedFrame {
    long number;
    const FrameInfo &info;
    const FilmSettings &film;
    LensSession &session;
    const Scene &scene;
    /// What the scene file's reading has to tell the user, one line each
    /// (the first frame only).
    const std::vector<std::string> &notes;
};

/// What the lens shows of a prepared frame before its per-frame call.
struct FrameView {
    /// The preview's viewport matrix at the lens centre and the frame's start.
    std::array<double, 16> viewportMatrix{};
    /// The panel's focal-length line.
    std::string focalLengthLine;
    /// The set-up file to save (first frame, with --save-scene only).
    std::string setupText;
};

class FrameSequence {
  public:
    /// Loads the set-up file and the scene if asked, loads the module and
    /// sets the camera and its channels up. Null with a one-line `error` on
    /// failure, or "interrupted" when `stop` turned non-zero while the scene
    /// loaded.
    static std::unique_ptr<FrameSequence> open(const RenderOptions &options, std::string &error,
                                               const std::atomic<int> *stop = nullptr);
    ~FrameSequence();
    FrameSequence(const FrameSequence &) = delete;
    FrameSequence &operator=(const FrameSequence &) = delete;

    /// How many frames the run has.
    std::size_t size() const { return frames_.size(); }

    /// Prepares frame `index` (0 to size() - 1, in order): the camera, the
    /// per-frame call, the rays' range checked and the scene placed. False
    /// with a one-line `error`.
    bool prepare(std::size_t index, std::string &error);
    /// The frame last prepared.
    PreparedFrame frame();
    /// What the lens showed of it before its per-frame call.
    const FrameView &view() const { return view_; }
    /// After the frame's rays were traced: false with the line that names the
    /// set-up's most extreme number when the tracer refused some of them
    /// (what it refused is neither sky nor measured).
    bool checkTraced(std::string &error);

  private:
    FrameSequence() = default;
    bool start(const RenderOptions &options, std::string &error, const std::atomic<int> *stop);
    void placeCameraAt(const FrameInfo &info);
    bool placeScene(std::string &error);

    RenderOptions options_;
    /// The options under the set-up file's settings.
    RenderOptions setup_;
    LensData lensData_;
    std::unique_ptr<LensSession> session_;
    std::unique_ptr<Shot> shot_;
    std::vector<long> frames_;
    ShotFrames range_;
    FilmSettings film_;
    bool zoomFromShot_ = false;
    Scene scene_;
    bool built_ = false;

    std::size_t index_ = 0;
    FrameInfo info_{};
    std::vector<std::string> notes_;
    FrameView view_;
};

} // namespace brelvix::render

#endif
