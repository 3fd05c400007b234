// Where the camera is for a frame: the command line's placement of the
// built-in scene's camera, or a scene file's shot applied to a render (the
// camera keyed at the times the lens samples, the film its camera sets, and
// the frames to render), each under what the command line gave.
#ifndef BRELVIX_TOOLS_RENDER_CAMERA_PLACEMENT_H
#define BRELVIX_TOOLS_RENDER_CAMERA_PLACEMENT_H

#include "host/standin_host.h"
#include "tools/render/film.h"
#include "tools/render/render_options.h"
#include "tools/shot/shot.h"

#include <string>
#include <vector>

namespace brelvix::render {

/// Puts the camera item at the options' position, turned toward the target
/// (heading and pitch, no bank), moving by `move` from the frame's start to
/// its end, with the focal distance (the distance to the target unless
/// given) and the f-stop.
void placeCamera(standin::CameraItem &camera, const RenderOptions &options);

/// Keys the camera item at each time the lens samples in the frame, so that
/// the host's answers there are the scene's; the command line's focal
/// distance and f-stop, when given, override the scene's.
void placeShotCamera(standin::CameraItem &item, const Shot &shot, const FrameInfo &frame,
                     const RenderOptions &options);

/// The film as the scene's camera sets it, under the command line's; false
/// with `error` for an image size the renderer does not make.
bool shotFilm(const RenderOptions &options, const Shot &shot, FilmSettings &film,
              std::string &error);

/// The frames to render (`shot` null: the built-in scene's); false with
/// `error` for one outside the scene's or beyond what the renderer counts.
bool frameList(const RenderOptions &options, const Shot *shot, std::vector<long> &frames,
               std::string &error);

} // namespace brelvix::render

#endif
