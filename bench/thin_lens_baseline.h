// The benchmarks' baseline: a textbook thin-lens perspective camera written
// from the formula, with what depends only on time kept per record as the lens
// keeps it, and its records made to see what the lens's records see.
#ifndef BRELVIX_BENCH_THIN_LENS_BASELINE_H
#define BRELVIX_BENCH_THIN_LENS_BASELINE_H

#include "interface/host_services.h"
#include "lens/motion_sample.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace brelvix::bench {

/// One time of a thin-lens perspective camera. Camera space has x to the
/// right, y up and the camera looking down +z from the lens centre at the
/// origin. What depends only on time is kept per record, as the lens keeps it.
struct ThinLensCamera {
    /// Camera to world for row vectors (p' = p * M): rows 0 to 2 the world
    /// right, up and forward axes, row 3 the lens centre in the world.
    double worldFromCamera[16];
    double lensRadius;
    /// Distance of the plane of focus from the lens.
    double focusDistance;
    /// Focus distance over focal length: from a film point to its point on
    /// the plane of focus.
    double focusScale;
};

/// The camera over a frame: `count` intervals, `count` + 1 records.
struct ThinLensFrame {
    std::vector<ThinLensCamera> cameras;
    uint32_t count = 0;
};

/// A record index for a shutter fraction: truncated, kept within the table.
inline uint32_t thinLensRecord(uint32_t count, double shutterFraction) noexcept {
    const double last = static_cast<double>(count);
    double position = last * shutterFraction;
    position = position >= 0.0 ? position : 0.0;
    position = position <= last ? position : last;
    return static_cast<uint32_t>(position);
}

/// Camera ray for a film point (from the film's centre, film units) and a lens
/// point (units of the lens radius).
inline int thinLensRay(const ThinLensFrame &frame, double filmX, double filmY, double lensX,
                       double lensY, double shutterFraction, CameraRay &ray) noexcept {
    const ThinLensCamera &c = frame.cameras[thinLensRecord(frame.count, shutterFraction)];
    const double *m = c.worldFromCamera;

    // Point on the lens.
    const double lensPointX = c.lensRadius * lensX;
    const double lensPointY = c.lensRadius * lensY;
    const double lensPointZ = 0.0;

    // Point on the plane of focus: where the ray through the lens centre and
    // the film point meets it.
    const double focusX = c.focusScale * filmX;
    const double focusY = c.focusScale * filmY;
    const double focusZ = c.focusDistance;

    // Normalised direction from the lens point to the focus point.
    double dx = focusX - lensPointX;
    double dy = focusY - lensPointY;
    double dz = focusZ - lensPointZ;
    const double length = std::sqrt(dx * dx + dy * dy + dz * dz);
    dx = dx / length;
    dy = dy / length;
    dz = dz / length;

    // Camera to world: the origin as a point, homogeneous coordinate and all;
    // the direction as a vector.
    double originX = lensPointX * m[0] + lensPointY * m[4] + lensPointZ * m[8] + m[12];
    double originY = lensPointX * m[1] + lensPointY * m[5] + lensPointZ * m[9] + m[13];
    double originZ = lensPointX * m[2] + lensPointY * m[6] + lensPointZ * m[10] + m[14];
    const double originW = lensPointX * m[3] + lensPointY * m[7] + lensPointZ * m[11] + m[15];
    if (originW != 1.0) [[unlikely]] {
        originX = originX / originW;
        originY = originY / originW;
        originZ = originZ / originW;
    }
    const double directionX = dx * m[0] + dy * m[4] + dz * m[8];
    const double directionY = dx * m[1] + dy * m[5] + dz * m[9];
    const double directionZ = dx * m[2] + dy * m[6] + dz * m[10];
    const double normalX = m[8];
    const double normalY = m[9];
    const double normalZ = m[10];

    // Written last, as the lens does, so no overlap check is needed.
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

/// The baseline with the lens handler's signature, for the indirect call.
inline __attribute__((noinline)) int evaluateThinLens(void *frame, double filmX, double filmY,
                                                      double lensX, double lensY,
                                                      double shutterFraction, CameraRay *ray) {
    return thinLensRay(*static_cast<const ThinLensFrame *>(frame), filmX, filmY, lensX, lensY,
                       shutterFraction, *ray);
}

inline double norm(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

/// The thin-lens camera that sees what the lens sees through each record of
/// `samples`, one eye's half of the film, without shift, eye offset or turn.
inline ThinLensFrame thinLensFrameLike(const MotionSample *samples, uint32_t sampleCount) {
    ThinLensFrame frame;
    frame.count = sampleCount;
    for (uint32_t i = 0; i <= sampleCount; ++i) {
        const MotionSample &s = samples[i];
        ThinLensCamera c{};
        const double *rows[4] = {s.unitRight, s.unitUp, s.unitForward, s.position};
        for (int row = 0; row < 4; ++row) {
            for (int j = 0; j < 3; ++j) {
                c.worldFromCamera[4 * row + j] = rows[row][j];
            }
        }
        c.worldFromCamera[15] = 1.0;
        c.lensRadius = norm(s.apertureRight);
        c.focusDistance = norm(s.focusForward);
        c.focusScale = norm(s.focusRight);
        frame.cameras.push_back(c);
    }
    return frame;
}

} // namespace brelvix::bench

#endif
