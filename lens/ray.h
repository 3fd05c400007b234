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
// (lens/motion_sample.h), the eyes' turns included: a ray costs a few
// multiply-adds, one square root and three divisions, and when the eye angle
// is not zero one 3 x 3 product more.
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

    // Direction from the point on the lens to the point in focus.
    double towardFocusX = eyeFilmX * sample.focusRight[0] + eyeFilmY * sample.focusUp[0] +
                          sample.focusForward[0] - lensX * sample.apertureRight[0] -
                          lensY * sample.apertureUp[0];
    double towardFocusY = eyeFilmX * sample.focusRight[1] + eyeFilmY * sample.focusUp[1] +
                          sample.focusForward[1] - lensX * sample.apertureRight[1] -
                          lensY * sample.apertureUp[1];
    double towardFocusZ = eyeFilmX * sample.focusRight[2] + eyeFilmY * sample.focusUp[2] +
                          sample.focusForward[2] - lensX * sample.apertureRight[2] -
                          lensY * sample.apertureUp[2];

    // Turn the eye about the up axis. The zero added is the rotation's
    // translation row: it keeps a sum of -0 at +0, as the full 4 x 4 product
    // does. Both forms are computed and one is chosen, without a branch: a
    // level eye keeps d exactly as it is.
    const double *turn = sample.eyeTurns[rightEye ? kRightEye : kLeftEye];
    const double turnedX =
        towardFocusX * turn[0] + towardFocusY * turn[3] + towardFocusZ * turn[6] + 0.0;
    const double turnedY =
        towardFocusX * turn[1] + towardFocusY * turn[4] + towardFocusZ * turn[7] + 0.0;
    const double turnedZ =
        towardFocusX * turn[2] + towardFocusY * turn[5] + towardFocusZ * turn[8] + 0.0;
    const bool turned = sample.eyeAngle != 0.0;
    towardFocusX = turned ? turnedX : towardFocusX;
    towardFocusY = turned ? turnedY : towardFocusY;
    towardFocusZ = turned ? turnedZ : towardFocusZ;

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
