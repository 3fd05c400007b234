// brelvix-render's scene file: the whole render set-up, so that loading it
// gives back the view that was saved. A text of lines, version 1:
//
//     brelvix-render scene 1
//     position 0 0.42 -0.2          camera position, metres
//     target 0 0.42 2               the point it looks at
//     move 0 0 0                    travel from the shutter's opening to its close
//     focal-distance target         or a distance in metres
//     f-stop 1
//     film-width 0.072              film size, metres
//     film-height 0.024
//     depth-of-field on             or off
//     motion-steps 1
//     frame-start 0                 scene times, seconds
//     frame-duration 1
//     lens
//     ...                           the lens's data, as the module saves it
//
// Numbers are written in their shortest form that reads back bit for bit. Blank lines and lines
// starting with "#" may come before "lens"; a setting left out keeps its default. Everything after
// "lens" is the camera instance's own data, written by the module through the host's save state and
// handed back to its load unchanged. A file without the first line is taken as lens data alone, as
// earlier versions saved it.
#ifndef BRELVIX_TOOLS_RENDER_SETUP_FILE_H
#define BRELVIX_TOOLS_RENDER_SETUP_FILE_H

#include "tools/render/render_options.h"

#include <string>

namespace brelvix::render {

inline constexpr int kSceneFileVersion = 1;

/// The scene file of the set-up in `options` with the lens's data.
std::string formatSceneFile(const RenderOptions &options, const std::string &lensData);

/// The lens's part of a scene file and the line it starts on.
struct LensData {
    std::string text;
    int firstLine = 1;
};

/// Reads a scene file's set-up into `options`, except the settings named in
/// `options.givenSettings` (the command line's), and its lens data into
/// `lens`. False with `error` ("Scene line N: ...") for a damaged file or a
/// version this program does not read.
bool parseSceneFile(const std::string &text, RenderOptions &options, LensData &lens,
                    std::string &error);

} // namespace brelvix::render

#endif
