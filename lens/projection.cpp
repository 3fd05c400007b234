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
    const double filmWidth = in.filmWidth;
    const double filmHeight = in.filmHeight;
    const double focalLength = focalLengthOf(filmHeight, in.zoomFactor);
    const double apertureRadius = apertureRadiusOf(focalLength, in.fStop);

    // Lens offset and the shear that keeps the plane of focus in place.
    const double lensOffsetX = -(filmWidth * in.lensX) * apertureRadius;
    const double lensOffsetY = -(filmWidth * in.lensY) * apertureRadius;
    const double shearX = in.hShift * filmWidth + lensShear(lensOffsetX, in.focusDistance);
    const double shearY = in.vShift * filmHeight + lensShear(lensOffsetY, in.focusDistance);

    // Depth from the near distance, the focal length, to the far distance.
    const double depthRange = kFarDistance - focalLength;
    double depthScale = -1.0;
    double depthOffset = -(focalLength * 2.0);
    if (depthRange != 0.0) [[likely]] {
        depthScale = -((kFarDistance + focalLength) / depthRange);
        depthOffset = -((focalLength * (2.0 * kFarDistance)) / depthRange);
    }

    matrix[0] = focalLength;
    matrix[1] = 0.0;
    matrix[2] = 0.0;
    matrix[3] = 0.0;

    matrix[4] = 0.0;
    matrix[5] = focalLength;
    matrix[6] = 0.0;
    matrix[7] = 0.0;

    matrix[8] = shearX;
    matrix[9] = shearY;
    matrix[10] = depthScale;
    matrix[11] = -1.0;

    matrix[12] = lensOffsetX;
    matrix[13] = lensOffsetY;
    matrix[14] = depthOffset;
    matrix[15] = 0.0;
    return matrix;
}

} // namespace brelvix
