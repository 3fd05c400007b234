// brelvix-render as functions: the whole road from a command line to a PNG,
// with the steps in between open to tests.
#ifndef BRELVIX_TOOLS_RENDER_RENDER_TOOL_H
#define BRELVIX_TOOLS_RENDER_RENDER_TOOL_H

#include "host/standin_host.h"
#include "tools/render/film.h"
#include "tools/render/image_output.h"
#include "tools/render/options.h"

#include <array>
#include <atomic>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace brelvix::render {

struct RenderResult {
    /// The film as rendered, linear, the two eyes side by side.
    Image film;
    /// What goes into the file: the film, or its red/cyan composite.
    DisplayImage display;
    /// The preview's viewport matrix at the lens centre and the frame's start.
    std::array<double, 16> viewportMatrix{};
    /// The panel's focal-length line.
    std::string focalLengthLine;
    /// The scene file to save (with --save-scene): the set-up as rendered
    /// and the lens's data.
    std::string sceneText;
    RenderStats stats;
    /// The frame's number, and the output file it goes to (numbered in a
    /// range of frames).
    long frame = 0;
    /// What the scene file's reading has to tell the user, one line each
    /// (the first frame only).
    std::vector<std::string> notes;
};

/// Takes each frame as it is rendered; false, with `error` set, ends the run.
using FrameSink = std::function<bool(RenderResult &frame, std::string &error)>;

class LensSession;
class Scene;

/// A frame ready for its rays: the camera placed, the lens's per-frame call
/// made and the scene placed at the frame's start. A visitor may call the
/// per-frame operation again (with other channel values) before it returns.
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

/// Takes each frame once it is prepared; false, with `error` set, ends the run.
using FrameVisitor = std::function<bool(const PreparedFrame &frame, std::string &error)>;

/// Puts the camera item at the options' position, turned toward the target
/// (heading and pitch, no bank), moving by `move` from the frame's start to
/// its end, with the focal distance (the distance to the target unless
/// given) and the f-stop.
void placeCamera(standin::CameraItem &camera, const RenderOptions &options);

/// Loads the set-up file and the scene if asked, loads the module, sets
/// the camera and its channels up, and renders each frame asked for (one,
/// or each of --frames) in turn through the lens, handing each to `sink`.
/// The film counts are the progress's rows summed over the frames. False
/// with a one-line `error` on failure (the frames handed over stay), or
/// "interrupted" when `stop` turned non-zero. Writes no file.
bool renderFrames(const RenderOptions &options, const FrameSink &sink, std::string &error,
                  const RayShader &shader = {}, const ProgressReport &progress = {},
                  const std::atomic<int> *stop = nullptr);

/// Prepares each frame as renderFrames does and hands it to `visit` instead
/// of rendering it; "interrupted" when `stop` turned non-zero while the
/// scene loaded.
bool visitFrames(const RenderOptions &options, const FrameVisitor &visit, std::string &error,
                 const std::atomic<int> *stop = nullptr);

/// Loads the scene file if asked (its set-up under the command line's
/// settings), loads the module, sets the camera and its channels up, makes
/// the scene file's text if asked, and renders the film through the lens.
/// `shader` replaces the built-in scene's colours when set. False with a
/// one-line `error` on failure, or "interrupted" when `stop` turned non-zero.
/// Writes no file.
bool renderScene(const RenderOptions &options, RenderResult &result, std::string &error,
                 const RayShader &shader = {}, const ProgressReport &progress = {},
                 const std::atomic<int> *stop = nullptr);

/// The tool's main: arguments after the program name; the report and the
/// output's name go to `out`, errors (one line each) and the progress bar to
/// `err`. The progress bar is drawn only when `terminal` is true. `stop`, the
/// number of a signal that asks the run to end, or 0. Whatever ends the run
/// early leaves no file behind.
int runRenderTool(const std::vector<std::string> &arguments, std::ostream &out, std::ostream &err,
                  bool terminal, const std::atomic<int> *stop = nullptr);

} // namespace brelvix::render

#endif
