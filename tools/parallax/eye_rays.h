// Where an eye sees a point: the film position whose centre ray passes
// through it, found through the lens's own ray evaluation.
//
// The lens is asked for rays only: a film position goes in, a ray comes out.
// To find where an eye sees a scene point, Gauss-Newton iterates on the two
// film coordinates, with a Jacobian taken by finite differences of the
// lens's rays, until a step is below 1/100 pixel. Nothing here knows how the
// lens turns a film position into a ray, so eye distance, eye angle, lens
// shift and anything the lens does later are all measured as they are.
#ifndef BRELVIX_TOOLS_PARALLAX_EYE_RAYS_H
#define BRELVIX_TOOLS_PARALLAX_EYE_RAYS_H

#include "tools/render/film.h"
#include "tools/render/vec3.h"

namespace brelvix::parallax {

using render::Ray;
using render::Vec3;

enum class Eye { left, right };

/// A film position, in the film's units from its centre (y up).
struct FilmPosition {
    double x = 0.0;
    double y = 0.0;
};

/// What an eye is asked to see: a point, or a direction (a point at
/// infinity, as the sky is).
struct Target {
    Vec3 point;
    bool atInfinity = false;
};

/// How the residual of a search changes with the film position: the lens's
/// map is smooth, so that a search next to the last one may start from its
/// Jacobian.
struct Jacobian {
    Vec3 x;
    Vec3 y;
    bool known = false;
};

/// The centre rays of one prepared frame at one moment of its shutter.
class EyeRays {
  public:
    /// `shutterFraction`: 0 is the shutter's opening.
    EyeRays(const render::LensRays &lens, const render::FilmSettings &film,
            double shutterFraction = 0.0);

    /// The ray through the lens's centre from a film position; false when the
    /// lens gives none.
    bool ray(FilmPosition position, Ray &ray) const;
    /// Same, with the film normal (the camera's forward axis).
    bool ray(FilmPosition position, Ray &ray, Vec3 &filmNormal) const;

    /// Finds where `eye` sees `target`, starting from `guess` (which should
    /// lie in that eye's half). False when the iteration does not settle,
    /// which it does not for a point behind the eye, or settles on the
    /// centre line because the point lies beyond it (outside the eye's view
    /// by any amount). The result may lie outside the eye's other edges:
    /// see inView.
    /// `reuse`, when given, starts the search from its Jacobian if known,
    /// and keeps the search's last one. `foundRay`, when given, becomes the
    /// ray from `found` (as `ray` gives it) when the search succeeds.
    bool find(Eye eye, const Target &target, FilmPosition guess, FilmPosition &found,
              Jacobian *reuse = nullptr, Ray *foundRay = nullptr) const;

    /// Whether a film position lies within `eye`'s half of the film.
    bool inView(Eye eye, FilmPosition position) const;

    /// Pixel coordinates within one eye's image (x to the right from its
    /// left edge, y down from its top; pixel centres at halves), and back.
    double pixelX(Eye eye, double filmX) const;
    double pixelY(double filmY) const;
    FilmPosition film(Eye eye, double pixelX, double pixelY) const;

    const render::FilmSettings &settings() const { return film_; }

  private:
    /// The residual of a film position: its ray's direction minus the
    /// direction from its origin to the target; `seen` is that ray.
    bool residual(FilmPosition position, const Target &target, Vec3 &r, Ray &seen) const;

    render::LensRays lens_;
    render::FilmSettings film_;
    double shutter_;
};

} // namespace brelvix::parallax

#endif
