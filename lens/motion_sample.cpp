#include "lens/motion_sample.h"

#include "lens/optics.h"
#include "lens/rotation.h"
#include "lens/trigonometry.h"

#include <cmath>

namespace brelvix {
namespace {

/// An axis as the sample's formulas use it: a vector and the length it is
/// divided by. For ordinary axes these are the host's vector and its length.
struct MeasuredAxis {
    double vector[3];
    double length;
};

constexpr double kDefaultRight[3] = {1.0, 0.0, 0.0};
constexpr double kDefaultUp[3] = {0.0, 1.0, 0.0};
constexpr double kDefaultForward[3] = {0.0, 0.0, 1.0};

double vectorLength(const double v[3]) noexcept {
    return std::sqrt((v[0] * v[0] + v[1] * v[1]) + v[2] * v[2]);
}

MeasuredAxis measureAxis(const double axis[3], const double fallback[3]) noexcept {
    const double length = vectorLength(axis);
    if (length > 0.0 && std::isfinite(length)) [[likely]] {
        return {{axis[0], axis[1], axis[2]}, length};
    }
    // The squares left double range: measure the axis scaled by its largest
    // component, which keeps its direction.
    const double largest =
        std::fmax(std::fmax(std::fabs(axis[0]), std::fabs(axis[1])), std::fabs(axis[2]));
    if (largest > 0.0 && std::isfinite(largest) && std::isfinite(axis[0]) &&
        std::isfinite(axis[1]) && std::isfinite(axis[2])) {
        MeasuredAxis scaled{{axis[0] / largest, axis[1] / largest, axis[2] / largest}, 0.0};
        scaled.length = vectorLength(scaled.vector);
        return scaled;
    }
    return {{fallback[0], fallback[1], fallback[2]}, 1.0};
}

/// The upper three rows of the eye's rotation about `unitUp`.
void storeEyeTurn(const double unitUp[3], const SineCosine &angle, double turn[9]) noexcept {
    double rotation[16];
    makeAxisRotation(rotation, unitUp, angle);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            turn[3 * row + column] = rotation[4 * row + column];
        }
    }
}

} // namespace

MotionSample makeMotionSample(const SampleInputs &in) noexcept {
    const double focalLength = focalLengthOf(in.filmHeight, in.zoomFactor);
    const double apertureRadius = apertureRadiusOf(focalLength, in.fStop);
    const double focusDistance = usableFocusDistance(in.focusDistance);
    const double focusScale = focusScaleOf(focusDistance, focalLength);
    const MeasuredAxis right = measureAxis(in.right, kDefaultRight);
    const MeasuredAxis up = measureAxis(in.up, kDefaultUp);
    const MeasuredAxis forward = measureAxis(in.forward, kDefaultForward);

    MotionSample sample;
    sample.shiftX = (in.filmWidth * in.hShift) * 0.5;
    sample.shiftY = in.vShift * in.filmHeight;
    sample.filmWidth = in.filmWidth;
    sample.eyeAngle = in.stereoAngle;
    sample.halfEyeDistance = in.stereoDistance * 0.5;

    // Plane of focus: film steps scaled by the focus scale, centred at the
    // focus distance along the forward axis.
    const double rightScale = focusScale / right.length;
    const double upScale = focusScale / up.length;
    const double forwardScale = focusDistance / forward.length;
    for (int j = 0; j < 3; ++j) {
        sample.focusRight[j] = right.vector[j] * rightScale;
        sample.focusUp[j] = up.vector[j] * upScale;
        sample.focusForward[j] = forward.vector[j] * forwardScale;
    }

    // Unit axes, and the lens disc spanned by the right and up axes.
    for (int j = 0; j < 3; ++j) {
        sample.unitRight[j] = right.vector[j] / right.length;
        sample.unitUp[j] = up.vector[j] / up.length;
        sample.apertureRight[j] = sample.unitRight[j] * apertureRadius;
        sample.apertureUp[j] = sample.unitUp[j] * apertureRadius;
        sample.unitForward[j] = forward.vector[j] / forward.length;
        sample.position[j] = in.position[j];
    }

    // The eyes' turns, once per record rather than once per ray: the right
    // eye by +eyeAngle, the left by -eyeAngle (the sine's sign flips, the
    // cosine stays).
    const SineCosine rightTurn = sineCosine(sample.eyeAngle);
    const SineCosine leftTurn{-rightTurn.sine, rightTurn.cosine};
    storeEyeTurn(sample.unitUp, rightTurn, sample.eyeTurns[kRightEye]);
    storeEyeTurn(sample.unitUp, leftTurn, sample.eyeTurns[kLeftEye]);
    return sample;
}

} // namespace brelvix
