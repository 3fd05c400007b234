#include "lens/motion_sample.h"

#include "lens/optics.h"

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

} // namespace

MotionSample makeMotionSample(const SampleInputs &in) noexcept {
    const double f = focalLength(in.filmHeight, in.zoomFactor);
    const double a = apertureRadius(f, in.fStop);
    const double fd = usableFocusDistance(in.focalDistance);
    const double k = focusScale(fd, f);
    const MeasuredAxis right = measureAxis(in.right, kDefaultRight);
    const MeasuredAxis up = measureAxis(in.up, kDefaultUp);
    const MeasuredAxis forward = measureAxis(in.forward, kDefaultForward);

    MotionSample s;
    s.shiftX = (in.filmWidth * in.hShift) * 0.5;
    s.shiftY = in.vShift * in.filmHeight;
    s.filmWidth = in.filmWidth;
    s.eyeAngle = in.stereoAngle;
    s.halfEyeDistance = in.stereoDistance * 0.5;

    // Plane of focus: film steps scaled by the focus scale, centred at the
    // focus distance along the forward axis.
    const double rightScale = k / right.length;
    const double upScale = k / up.length;
    const double forwardScale = fd / forward.length;
    for (int j = 0; j < 3; ++j) {
        s.focusRight[j] = right.vector[j] * rightScale;
        s.focusUp[j] = up.vector[j] * upScale;
        s.focusForward[j] = forward.vector[j] * forwardScale;
    }

    // Unit axes, and the lens disc spanned by the right and up axes.
    for (int j = 0; j < 3; ++j) {
        s.unitRight[j] = right.vector[j] / right.length;
        s.unitUp[j] = up.vector[j] / up.length;
        s.apertureRight[j] = s.unitRight[j] * a;
        s.apertureUp[j] = s.unitUp[j] * a;
        s.unitForward[j] = forward.vector[j] / forward.length;
        s.position[j] = in.position[j];
    }
    return s;
}

} // namespace brelvix
