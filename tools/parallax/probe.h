// Figures of the rig itself, found through the lens's own rays: where the
// camera's centre line meets zero parallax, and the parallax of points at
// infinity (which the eye distance does not change).
#ifndef BRELVIX_TOOLS_PARALLAX_PROBE_H
#define BRELVIX_TOOLS_PARALLAX_PROBE_H

#include "tools/parallax/eye_rays.h"

#include <optional>
#include <vector>

namespace brelvix::parallax {

/// What the rig does with infinity: on the screen (parallel eyes), behind it
/// (eyes turned in: converged at a distance), or in front of it (eyes turned
/// apart: diverged, no screen plane).
enum class RigKind { parallel, converged, diverged };

struct RigShape {
    RigKind kind = RigKind::parallel;
    /// Converged: the distance from the camera (midway between the eyes)
    /// along its forward axis at which a point has zero horizontal parallax.
    std::optional<double> screenDistance;
};

const char *kindName(RigKind kind);

/// The rig's shape, on the camera's centre line. Within 1/100 pixel of zero
/// at infinity (the search's precision) counts as parallel.
RigShape rigShape(const EyeRays &eyes);

/// Horizontal parallax in pixels of a point (or direction), or NaN when an
/// eye does not find it.
double parallaxOf(const EyeRays &eyes, const Target &target, FilmPosition leftGuess,
                  FilmPosition rightGuess);

/// The horizontal parallax, pixels, of the point at infinity straight ahead
/// of the camera; NaN when an eye does not find it.
double centreParallaxAtInfinity(const EyeRays &eyes);

/// The horizontal parallax, pixels, of the point at infinity in each left
/// pixel's direction, on a grid of every `step`-th pixel, read between
/// them bilinearly: it changes smoothly over the image.
class InfinityParallax {
  public:
    InfinityParallax(const EyeRays &eyes, int step);
    /// At left pixel centre (x, y); NaN where the grid found none.
    double at(double x, double y) const;

  private:
    int step_ = 1;
    int columns_ = 0;
    int rows_ = 0;
    std::vector<double> values_;
};

} // namespace brelvix::parallax

#endif
