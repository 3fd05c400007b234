// The thin-lens quantities that the motion sample table and the viewport
// projection share, with the fallbacks that keep them finite.
//
// Every fallback here branches only on a value that is unusable (zero,
// negative where a length is meant, or not finite); ordinary values take the
// plain formula, so their results are exact to the last bit.
#ifndef BRELVIX_LENS_OPTICS_H
#define BRELVIX_LENS_OPTICS_H

#include <cmath>

namespace brelvix {

/// Smallest focal length the focus scale divides by. A zoom factor or film
/// height of 0 gives a focal length of 0; the focus scale is then taken as if
/// the focal length were one nanometre (in the film's unit, metres), a
/// field of view just short of 180 degrees that still looks forward.
inline constexpr double kMinFocalLength = 1.0e-9;

/// Focus distance used in place of one that is 0, negative or NaN: one
/// nanometre in front of the lens, so that the lens centre still sees forward.
inline constexpr double kMinFocusDistance = 1.0e-9;

/// Far distance of the viewport projection; also the focus distance used in
/// place of an infinite one.
inline constexpr double kFarDistance = 65000.0;

/// Focal length of the lens: half the film height times the zoom factor, in
/// the unit of the film size.
constexpr double focalLengthOf(double filmHeight, double zoomFactor) noexcept {
    return (filmHeight * zoomFactor) * 0.5;
}

/// Aperture radius for an f-stop: half the focal length over the f-stop. An
/// f-stop that is 0, negative or NaN, or a radius that does not come out
/// finite, makes a pinhole: radius 0.
inline double apertureRadiusOf(double focalLength, double fStop) noexcept {
    if (!(fStop > 0.0)) [[unlikely]] {
        return 0.0;
    }
    const double radius = (focalLength / fStop) * 0.5;
    if (!std::isfinite(radius)) [[unlikely]] {
        return 0.0;
    }
    return radius;
}

/// The focus distance as the lens uses it: a distance that is 0, negative or
/// NaN becomes kMinFocusDistance, an infinite one kFarDistance.
inline double usableFocusDistance(double focusDistance) noexcept {
    if (!(focusDistance > 0.0) || std::isinf(focusDistance)) [[unlikely]] {
        return focusDistance > 0.0 ? kFarDistance : kMinFocusDistance;
    }
    return focusDistance;
}

/// Focus scale: the focus distance over the focal length, the factor from a
/// film position to its point on the plane of focus. Where the quotient is
/// not finite (a focal length of 0) the focal length is taken as
/// kMinFocalLength.
inline double focusScaleOf(double focusDistance, double focalLength) noexcept {
    if (focalLength != 0.0) [[likely]] {
        const double scale = focusDistance / focalLength;
        if (std::isfinite(scale)) [[likely]] {
            return scale;
        }
    }
    return focusDistance / kMinFocalLength;
}

} // namespace brelvix

#endif
