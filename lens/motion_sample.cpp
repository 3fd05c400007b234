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

/// The sample's direction vectors turned about its up axis by `angle`; the
/// vectors themselves when the sample's eye angle is 0, so that a level eye
/// keeps them bit for bit.
EyeView eyeView(const MotionSample &sample, const SineCosine &angle) noexcept {
    EyeView view;
    const double *const unturned[5] = {sample.focusRight, sample.focusUp, sample.focusForward,
                                       sample.apertureRight, sample.apertureUp};
    double *const turned[5] = {view.focusRight, view.focusUp, view.focusForward, view.apertureRight,
                               view.apertureUp};
    double rotation[16];
    makeAxisRotation(rotation, sample.unitUp, angle);
    for (int v = 0; v < 5; ++v) {
        if (sample.eyeAngle == 0.0) {
            for (int j = 0; j < 3; ++j) {
                turned[v][j] = unturned[v][j];
            }
        } else {
            transformPoint(rotation, unturned[v], turned[v]);
        }
    }
    return view;
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

    // Each eye's view, turned once per record rather than once per ray: the
    // right eye by +eyeAngle, the left by -eyeAngle (the sine's sign flips,
    // the cosine stays).
    const SineCosine rightTurn = sineCosine(sample.eyeAngle);
    const SineCosine leftTurn{-rightTurn.sine, rightTurn.cosine};
    sample.eyeViews[kRightEye] = eyeView(sample, rightTurn);
    sample.eyeViews[kLeftEye] = eyeView(sample, leftTurn);
    // Each eye's origin at the lens centre and the centre of its half of the
    // film, which the turn leaves as they are.
    for (int eye = 0; eye < 2; ++eye) {
        const double eyeSign = eye == kRightEye ? 1.0 : -1.0;
        const double eyeOffset = eyeSign * sample.halfEyeDistance;
        for (int j = 0; j < 3; ++j) {
            sample.eyeViews[eye].origin[j] = sample.position[j] + eyeOffset * sample.unitRight[j];
        }
        sample.eyeViews[eye].filmCentreX = eyeSign * 0.25 * sample.filmWidth;
    }
    return sample;
}

} // namespace brelvix
