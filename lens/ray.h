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
#include <cstring>

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

/// Two doubles side by side, the x and y of a vector: the ray is computed
/// on x and y together and on z alone. Each lane is rounded as its scalar
/// would be, so the result has the bits of three scalar sums in the same
/// order.
using DoublePair = double __attribute__((vector_size(16)));

/// x and y of a three-component vector.
inline DoublePair pairOf(const double vector[3]) noexcept {
    DoublePair pair;
    std::memcpy(&pair, vector, sizeof pair);
    return pair;
}

inline DoublePair splat(double value) noexcept { return DoublePair{value, value}; }

/// Writes x and y of `pair` into `vector`, one store.
inline void storePair(double vector[3], DoublePair pair) noexcept {
    std::memcpy(vector, &pair, sizeof pair);
}

/// z of a three-component vector in the low lane, 0 in the high one.
inline DoublePair zOf(const double vector[3]) noexcept { return DoublePair{vector[2], 0.0}; }

/// Whether z is summed in the low lane of a pair rather than alone. The low
/// lane's sums are the scalar's, so either gives the same bits; in pairs the
/// sums need fewer live registers, which matters where the calling
/// convention makes the callee save most vector registers it uses (64-bit
/// Windows), and costs a little elsewhere.
#if defined(_WIN64)
inline constexpr bool kZInLowLane = true;
#else
inline constexpr bool kZInLowLane = false;
#endif

/// The ray of `sample` for a film position (from the film's centre, in film
/// units) and a lens position (in units of the aperture radius; 0, 0 is the
/// lens centre), written into three vectors of the caller's, which must not
/// overlap `sample`. A ray whose direction comes out of length 0 (a focus
/// distance of 0 at the lens centre) looks along the forward axis.
inline void writeCameraRay(const MotionSample &sample, double filmX, double filmY, double lensX,
                           double lensY, double origin[3], double direction[3],
                           double filmNormal[3]) noexcept {
    // The eye.
    const EyeView &view = filmX >= 0.0 ? sample.eyeViews[kRightEye] : sample.eyeViews[kLeftEye];
    const DoublePair lensXs = splat(lensX);
    const DoublePair lensYs = splat(lensY);
    // Origin at the eye's point on the lens, written before the direction.
    const DoublePair originXY = pairOf(view.origin) + lensXs * pairOf(sample.apertureRight) +
                                lensYs * pairOf(sample.apertureUp);
    if constexpr (kZInLowLane) {
        origin[2] = (zOf(view.origin) + lensXs * zOf(sample.apertureRight) +
                     lensYs * zOf(sample.apertureUp))[0];
    } else {
        origin[2] = view.origin[2] + lensX * sample.apertureRight[2] + lensY * sample.apertureUp[2];
    }
    storePair(origin, originXY);
    // Direction from the point on the lens to the point in focus, in the
    // eye's turned view, from the film point on the eye's half of the film.
    const double eyeFilmX = filmX - view.filmCentreX + sample.shiftX;
    const double eyeFilmY = filmY + sample.shiftY;
    const DoublePair eyeFilmXs = splat(eyeFilmX);
    const DoublePair eyeFilmYs = splat(eyeFilmY);
    const DoublePair towardFocusXY = eyeFilmXs * pairOf(view.focusRight) +
                                     eyeFilmYs * pairOf(view.focusUp) + pairOf(view.focusForward) -
                                     lensXs * pairOf(view.apertureRight) -
                                     lensYs * pairOf(view.apertureUp);
    double towardFocusZ;
    if constexpr (kZInLowLane) {
        towardFocusZ = (eyeFilmXs * zOf(view.focusRight) + eyeFilmYs * zOf(view.focusUp) +
                        zOf(view.focusForward) - lensXs * zOf(view.apertureRight) -
                        lensYs * zOf(view.apertureUp))[0];
    } else {
        towardFocusZ = eyeFilmX * view.focusRight[2] + eyeFilmY * view.focusUp[2] +
                       view.focusForward[2] - lensX * view.apertureRight[2] -
                       lensY * view.apertureUp[2];
    }
    const DoublePair squares = towardFocusXY * towardFocusXY;
    const double length = std::sqrt(squares[0] + squares[1] + towardFocusZ * towardFocusZ);
    // Unit direction; one of length 0 looks forward.
    if (length != 0.0) [[likely]] {
        storePair(direction, towardFocusXY / splat(length));
        direction[2] = towardFocusZ / length;
    } else {
        storePair(direction, pairOf(sample.unitForward));
        direction[2] = sample.unitForward[2];
    }
    storePair(filmNormal, pairOf(sample.unitForward));
    filmNormal[2] = sample.unitForward[2];
}

/// writeCameraRay into a Ray of its own.
inline Ray cameraRay(const MotionSample &sample, double filmX, double filmY, double lensX,
                     double lensY) noexcept {
    Ray ray;
    writeCameraRay(sample, filmX, filmY, lensX, lensY, ray.origin, ray.direction, ray.filmNormal);
    return ray;
}

} // namespace brelvix

#endif
