// Figures that need more than one measurement of the frame: where the
// camera's centre line meets zero parallax, and the eye distance that brings
// the frame within its budget, each found through the lens's own rays.
#ifndef BRELVIX_TOOLS_PARALLAX_PROBE_H
#define BRELVIX_TOOLS_PARALLAX_PROBE_H

#include "tools/parallax/budget.h"
#include "tools/parallax/eye_rays.h"

#include <functional>
#include <optional>

namespace brelvix::parallax {

/// The distance from the camera (midway between the eyes) along its forward
/// axis at which a point has zero horizontal parallax; none when no finite
/// distance has (a parallel rig: infinity; eyes turned apart: beyond it).
std::optional<double> zeroParallaxDistance(const EyeRays &eyes);

/// The frame's figures with the eye distance (`StereoDistance`) set to a
/// value, measured again through the lens; `full` asks for every pixel, else
/// a coarser grid will do.
using MeasureAt = std::function<FrameFigures(double eyeDistance, bool full)>;

struct Suggestion {
    /// The largest eye distance found within the horizontal budget; none
    /// when the current one is 0 or even 0 is not within it.
    std::optional<double> eyeDistance;
    /// The figures measured at it, every pixel.
    FrameFigures figures;
    int measurements = 0;
};

/// Searches the eye distance from 0 to well past `current`: each candidate
/// comes from a straight line through the last two measurements of the 1st
/// and 99th percentiles, and is measured again; the answer is the largest
/// one measured within the budget, checked on every pixel.
Suggestion suggestEyeDistance(double current, const FrameFigures &atCurrent, const Budget &budget,
                              const MeasureAt &measure);

} // namespace brelvix::parallax

#endif
