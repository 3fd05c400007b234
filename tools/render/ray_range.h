// Set-ups the lens and the tracer can take. A zoom factor must be above 0,
// as the lens's panel allows. Rays must be ones the tracer can take: Embree works in single
// precision and asserts that a ray's coordinates stay within its bound: a camera far out, a tiny
// f-stop, a huge zoom, film or shift, each finite, can make rays beyond it.
// Before a frame is rendered its rays are tried at the film's corners and
// centre, the lens disc's edge and each end of the shutter; a set-up whose
// rays leave the range is refused, naming the value furthest from ordinary.
// (The tracer leaves any other such ray untraced and says so afterwards.)
#ifndef BRELVIX_TOOLS_RENDER_RAY_RANGE_H
#define BRELVIX_TOOLS_RENDER_RAY_RANGE_H

#include "tools/render/film.h"
#include "tools/render/lens_session.h"

#include <string>
#include <vector>

namespace brelvix::render {

/// A number of the set-up, by the name a user knows it by.
struct SetupValue {
    std::string name;
    double value;
};

/// Of `values`, the one whose magnitude is furthest from 1 in either
/// direction (zeros aside), as "NAME VALUE"; empty when there is none.
std::string mostExtreme(const std::vector<SetupValue> &values);

/// Whether the lens's rays at the film's corners and centre, the lens's
/// edge and both ends of the shutter stay within the tracer's range.
bool raysInRange(const LensRays &lens, const FilmSettings &film);

/// The line for rays beyond the tracer's range: "the camera's rays leave
/// single precision (NAME VALUE)", naming the set-up's most extreme number
/// at `time`.
std::string raysOutOfRange(LensSession &session, const FilmSettings &film, double time);

/// The set-up's numbers at `time`: the camera's position, focal distance and
/// f-stop, the film's size and the lens's channels.
std::vector<SetupValue> setupValues(LensSession &session, const FilmSettings &film, double time);

/// Empty when the lens's zoom factor is above 0 at each time the frame
/// samples, else "ZoomFactor VALUE is out of the lens's range (above 0)".
std::string zoomFault(LensSession &session, const FrameInfo &frame);

} // namespace brelvix::render

#endif
