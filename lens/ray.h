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
// Everything that depends on time was computed per sample (lens/motion_sample.h);
// a ray costs a few multiply-adds, one square root and, only when the eye
// angle is not zero, one rotation.
#ifndef BRELVIX_LENS_RAY_H
#define BRELVIX_LENS_RAY_H

#include "lens/motion_sample.h"
#include "lens/rotation.h"
#include "module/host_services.h"

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

/// Fills `ray` for a film position (from the film's centre, in film units), a
/// lens position (in units of the aperture radius; 0, 0 is the lens centre)
/// and a shutter fraction (0 at the start of the frame's interval, 1 at its
/// end), from the table `samples` of `sampleCount` + 1 records. Returns 1, or
/// 0 without touching `ray` when there is no table. A ray whose direction
/// comes out of length 0 (a focus distance of 0 at the lens centre) looks
/// along the forward axis.
inline int evaluateRay(const MotionSample *samples, uint32_t sampleCount, double filmX,
                       double filmY, double lensX, double lensY, double shutterFraction,
                       CameraRay &ray) noexcept {
    if (samples == nullptr) {
        return 0;
    }
    const MotionSample &s = samples[sampleIndex(sampleCount, shutterFraction)];

    // Pick the eye and re-centre its half of the film.
    const double e = filmX >= 0.0 ? 1.0 : -1.0;
    const double x = filmX - e * 0.25 * s.filmWidth + s.shiftX;
    const double y = filmY + s.shiftY;

    // Direction from the point on the lens to the point in focus.
    double dx = x * s.focusRight[0] + y * s.focusUp[0] + s.focusForward[0] -
                lensX * s.apertureRight[0] - lensY * s.apertureUp[0];
    double dy = x * s.focusRight[1] + y * s.focusUp[1] + s.focusForward[1] -
                lensX * s.apertureRight[1] - lensY * s.apertureUp[1];
    double dz = x * s.focusRight[2] + y * s.focusUp[2] + s.focusForward[2] -
                lensX * s.apertureRight[2] - lensY * s.apertureUp[2];

    // Turn the eye about the up axis.
    if (s.eyeAngle != 0.0) {
        double rotation[16];
        makeAxisRotation(rotation, s.unitUp, e * s.eyeAngle);
        const double unturned[3] = {dx, dy, dz};
        double turned[3];
        transformPoint(rotation, unturned, turned);
        dx = turned[0];
        dy = turned[1];
        dz = turned[2];
    }

    // Unit direction; one of length 0 looks forward.
    const double length = std::sqrt(dx * dx + dy * dy + dz * dz);
    const bool measurable = length != 0.0;
    const double directionX = measurable ? dx / length : s.unitForward[0];
    const double directionY = measurable ? dy / length : s.unitForward[1];
    const double directionZ = measurable ? dz / length : s.unitForward[2];

    // Origin at the eye's point on the lens.
    const double eyeOffset = e * s.halfEyeDistance;
    const double originX = s.position[0] + eyeOffset * s.unitRight[0] + lensX * s.apertureRight[0] +
                           lensY * s.apertureUp[0];
    const double originY = s.position[1] + eyeOffset * s.unitRight[1] + lensX * s.apertureRight[1] +
                           lensY * s.apertureUp[1];
    const double originZ = s.position[2] + eyeOffset * s.unitRight[2] + lensX * s.apertureRight[2] +
                           lensY * s.apertureUp[2];
    const double normalX = s.unitForward[0];
    const double normalY = s.unitForward[1];
    const double normalZ = s.unitForward[2];

    // Everything is read before the ray is written, so the compiler need not
    // allow for a caller's ray that overlaps the table.
    ray.origin[0] = originX;
    ray.origin[1] = originY;
    ray.origin[2] = originZ;
    ray.direction[0] = directionX;
    ray.direction[1] = directionY;
    ray.direction[2] = directionZ;
    ray.filmNormal[0] = normalX;
    ray.filmNormal[1] = normalY;
    ray.filmNormal[2] = normalZ;
    return 1;
}

} // namespace brelvix

#endif
