// Rendering as functions: the whole road from the options to the output
// files, with the steps in between open to tests.
#ifndef BRELVIX_TOOLS_RENDER_RENDER_TOOL_H
#define BRELVIX_TOOLS_RENDER_RENDER_TOOL_H

#include "host/standin_host.h"
#include "tools/render/display_image.h"
#include "tools/render/film.h"
#include "tools/render/render_options.h"
#include "tools/render/row_pool.h"

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

/// Loads the set-up file and the scene if asked, loads the module, sets
/// the camera and its channels up, and renders each frame asked for (one,
/// or each of --frames) in turn through the lens, handing each to `sink`.
/// The film counts are the progress's rows summed over the frames. False
/// with a one-line `error` on failure (the frames handed over stay), or
/// "interrupted" when `stop` turned non-zero. Writes no file.
bool renderFrames(const RenderOptions &options, const FrameSink &sink, std::string &error,
                  const RayShader &shader = {}, const ProgressReport &progress = {},
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

/// The render a command line asked for: the report and the output's name go
/// to `out`, errors (one line each) and the progress bar to `err`. The
/// progress bar is drawn only when `terminal` is true. `stop`, the number of
/// a signal that asks the run to end, or 0. Whatever ends the run early
/// leaves no file behind. The exit status.
int runRender(const RenderOptions &options, std::ostream &out, std::ostream &err, bool terminal,
              const std::atomic<int> *stop = nullptr);

} // namespace brelvix::render

#endif
