// Camera rays from a frame's motion sample table.
//
// The film is split at its vertical centre line: film x >= 0 (the right half,
// 0 and -0 included) is seen from the right eye, film x < 0 from the left.
// Each half is re-centred to show a whole view of its own from an eye half
// the eye distance along the right axis, turned about the up axis by +eye
// angle (right eye) or -eye angle (left eye). Depth of field comes from the
// lens position: every ray of one film point passes through that point's
// spot on the plane of focus, before the eye turn.
//
// Everything that does not depend on the ray was computed per sample
// (lens/motion_sample.h), each eye's turned view included: a ray costs a few
// multiply-adds, one square root and three divisions, the same for a level
// and a turned eye. The turn applies to the whole direction, the lens term
// included, and not to the origin.
#ifndef BRELVIX_LENS_RAY_H
#define BRELVIX_LENS_RAY_H

#include "lens/motion_sample.h"

#include <cmath>
#include <cstdint>

namespace brelvix {

/// Record of a table of `sampleCount` intervals for a shutter fraction: the
/// product truncated toward zero, so that 1.0 names the last record,
/// `sampleCount`. Fractions below 0 and NaN name record 0, fractions above 1
/// the last record; the index is always within 0 to `sampleCount`.
inline uint32_t sampleIndex(uint32_t sampleCount, double shutterFraction) noexcept {
    const double count = static_cast<double>(sampleCount);
    double position = count * shutterFraction;
    if (!(position >= 0.0)) [[unlikely]] {
        position = 0.0;
    }
    if (position > count) [[unlikely]] {
        position = count;
    }
    return static_cast<uint32_t>(position);
}

/// A camera ray in world space.
struct Ray {
    /// Where the ray starts: the eye's point on the lens.
    double origin[3];
    /// Unit length.
    double direction[3];
    /// The film's normal, the camera's forward axis.
    double filmNormal[3];
};

/// The ray of `sample` for a film position (from the film's centre, in film
/// units) and a lens position (in units of the aperture radius; 0, 0 is the
/// lens centre). A ray whose direction comes out of length 0 (a focus
/// distance of 0 at the lens centre) looks along the forward axis.
inline Ray cameraRay(const MotionSample &sample, double filmX, double filmY, double lensX,
                     double lensY) noexcept {
    // Pick the eye and re-centre its half of the film.
    const bool rightEye = filmX >= 0.0;
    const double eyeSign = rightEye ? 1.0 : -1.0;
    const double eyeFilmX = filmX - eyeSign * 0.25 * sample.filmWidth + sample.shiftX;
    const double eyeFilmY = filmY + sample.shiftY;

    // Origin at the eye's point on the lens.
    const double eyeOffset = eyeSign * sample.halfEyeDistance;
    const double originX = sample.position[0] + eyeOffset * sample.unitRight[0] +
                           lensX * sample.apertureRight[0] + lensY * sample.apertureUp[0];
    const double originY = sample.position[1] + eyeOffset * sample.unitRight[1] +
                           lensX * sample.apertureRight[1] + lensY * sample.apertureUp[1];
    const double originZ = sample.position[2] + eyeOffset * sample.unitRight[2] +
                           lensX * sample.apertureRight[2] + lensY * sample.apertureUp[2];

    // Direction from the point on the lens to the point in focus, in the
    // eye's turned view.
    const EyeView &view = sample.eyeViews[rightEye ? kRightEye : kLeftEye];
    const double towardFocusX = eyeFilmX * view.focusRight[0] + eyeFilmY * view.focusUp[0] +
                                view.focusForward[0] - lensX * view.apertureRight[0] -
                                lensY * view.apertureUp[0];
    const double towardFocusY = eyeFilmX * view.focusRight[1] + eyeFilmY * view.focusUp[1] +
                                view.focusForward[1] - lensX * view.apertureRight[1] -
                                lensY * view.apertureUp[1];
    const double towardFocusZ = eyeFilmX * view.focusRight[2] + eyeFilmY * view.focusUp[2] +
                                view.focusForward[2] - lensX * view.apertureRight[2] -
                                lensY * view.apertureUp[2];

    // Unit direction; one of length 0 looks forward.
    const double length = std::sqrt(towardFocusX * towardFocusX + towardFocusY * towardFocusY +
                                    towardFocusZ * towardFocusZ);
    const bool measurable = length != 0.0;
    const double directionX = measurable ? towardFocusX / length : sample.unitForward[0];
    const double directionY = measurable ? towardFocusY / length : sample.unitForward[1];
    const double directionZ = measurable ? towardFocusZ / length : sample.unitForward[2];

    // Made from scalars at the end, so that the compiler keeps every value in
    // registers and the caller's copy goes straight to its own record.
    return Ray{{originX, originY, originZ},
               {directionX, directionY, directionZ},
               {sample.unitForward[0], sample.unitForward[1], sample.unitForward[2]}};
}

} // namespace brelvix

#endif
