#include "lens/projection.h"

#include "lens/optics.h"

#include <cmath>

namespace brelvix {
namespace {

/// The lens term of the shear, offset / focus distance; 0 where it is not
/// finite.
double lensShear(double offset, double focusDistance) noexcept {
    if (focusDistance != 0.0) [[likely]] {
        const double shear = offset / focusDistance;
        if (std::isfinite(shear)) [[likely]] {
            return shear;
        }
    }
    return 0.0;
}

} // namespace

double *makeViewportProjection(const ViewportInputs &in, double matrix[16]) noexcept {
    const double w = in.filmWidth;
    const double h = in.filmHeight;
    const double f = focalLength(h, in.zoomFactor);
    const double r = apertureRadius(f, in.fStop);

    // Lens offset and the shear that keeps the plane of focus in place.
    const double ox = -(w * in.lensX) * r;
    const double oy = -(w * in.lensY) * r;
    const double sx = in.hShift * w + lensShear(ox, in.focalDistance);
    const double sy = in.vShift * h + lensShear(oy, in.focalDistance);

    // Depth from the near distance f to the far distance.
    const double gap = kFarDistance - f;
    double a = -1.0;
    double b = -(f * 2.0);
    if (gap != 0.0) [[likely]] {
        a = -((kFarDistance + f) / gap);
        b = -((f * (2.0 * kFarDistance)) / gap);
    }

    matrix[0] = f;
    matrix[1] = 0.0;
    matrix[2] = 0.0;
    matrix[3] = 0.0;

    matrix[4] = 0.0;
    matrix[5] = f;
    matrix[6] = 0.0;
    matrix[7] = 0.0;

    matrix[8] = sx;
    matrix[9] = sy;
    matrix[10] = a;
    matrix[11] = -1.0;

    matrix[12] = ox;
    matrix[13] = oy;
    matrix[14] = b;
    matrix[15] = 0.0;
    return matrix;
}

} // namespace brelvix
