// The motion sample table: the camera's lens state at evenly spaced times of
// one frame, precomputed so that the ray evaluation needs nothing but
// arithmetic.
//
// The per-frame call gathers the host's answers for one sample time into a
// SampleInputs record and turns it into a MotionSample with makeMotionSample.
// Everything a ray needs that does not depend on the ray is in the record,
// each eye's turn included, so that a ray costs multiply-adds and one
// normalisation whatever the eye angle.
// A frame's table holds sampleCount + 1 samples, record i at
// sampleTime(frameStart, frameDuration, sampleCount, i); the ray evaluation
// (lens/ray.h) picks one by the shutter fraction.
#ifndef BRELVIX_LENS_MOTION_SAMPLE_H
#define BRELVIX_LENS_MOTION_SAMPLE_H

#include <cstddef>
#include <cstdint>
#include <optional>

namespace brelvix {

/// The vectors of a ray's direction as one eye sees them: the sample's
/// focusRight, focusUp, focusForward, apertureRight and apertureUp turned
/// about its unitUp by that eye's angle.
struct EyeView {
    double focusRight[3];
    double focusUp[3];
    double focusForward[3];
    double apertureRight[3];
    double apertureUp[3];
    /// The eye's point at the lens centre: position + e * halfEyeDistance *
    /// unitRight, e = +1 for the right eye and -1 for the left.
    double origin[3];
    /// Centre of the eye's half of the film: e * 0.25 * filmWidth.
    double filmCentreX;
};

/// Camera state at one time: 70 doubles (560 bytes) and nothing else, in
/// this order. The first 32 describe the camera; the eyes' views follow from
/// them.
struct MotionSample {
    /// Horizontal lens shift against one eye's half of the film.
    double shiftX;
    /// Vertical lens shift against the full film height.
    double shiftY;
    /// Full film width; each eye uses one half of it.
    double filmWidth;
    /// Radians by which each eye's rays turn about unitUp, in opposite senses.
    double eyeAngle;
    /// Distance of each eye from `position` along unitRight.
    double halfEyeDistance;
    /// Step on the plane of focus per unit of film x.
    double focusRight[3];
    /// Step on the plane of focus per unit of film y.
    double focusUp[3];
    /// Centre of the plane of focus, relative to the lens centre.
    double focusForward[3];
    double unitRight[3];
    double unitUp[3];
    /// Step on the lens per unit of lens x; its length is the aperture radius.
    double apertureRight[3];
    /// Step on the lens per unit of lens y.
    double apertureUp[3];
    /// The forward axis, also the film normal.
    double unitForward[3];
    /// The lens centre in world space.
    double position[3];
    /// Index kRightEye turned by +eyeAngle, kLeftEye by -eyeAngle, each
    /// vector v as v * makeAxisRotation(unitUp, angle) (lens/rotation.h);
    /// both the unturned vectors themselves when eyeAngle is 0. Each also
    /// holds its eye's origin and film centre, which are not turned.
    EyeView eyeViews[2];
};

/// Indices of eyeViews.
inline constexpr int kRightEye = 0;
inline constexpr int kLeftEye = 1;

static_assert(sizeof(MotionSample) == 70 * sizeof(double));
static_assert(offsetof(MotionSample, shiftX) == 0 * sizeof(double));
static_assert(offsetof(MotionSample, shiftY) == 1 * sizeof(double));
static_assert(offsetof(MotionSample, filmWidth) == 2 * sizeof(double));
static_assert(offsetof(MotionSample, eyeAngle) == 3 * sizeof(double));
static_assert(offsetof(MotionSample, halfEyeDistance) == 4 * sizeof(double));
static_assert(offsetof(MotionSample, focusRight) == 5 * sizeof(double));
static_assert(offsetof(MotionSample, focusUp) == 8 * sizeof(double));
static_assert(offsetof(MotionSample, focusForward) == 11 * sizeof(double));
static_assert(offsetof(MotionSample, unitRight) == 14 * sizeof(double));
static_assert(offsetof(MotionSample, unitUp) == 17 * sizeof(double));
static_assert(offsetof(MotionSample, apertureRight) == 20 * sizeof(double));
static_assert(offsetof(MotionSample, apertureUp) == 23 * sizeof(double));
static_assert(offsetof(MotionSample, unitForward) == 26 * sizeof(double));
static_assert(offsetof(MotionSample, position) == 29 * sizeof(double));
static_assert(offsetof(MotionSample, eyeViews) == 32 * sizeof(double));
static_assert(sizeof(EyeView) == 19 * sizeof(double));

/// The host's answers for one sample time: the five parameter values after
/// sampling, the film size of the camera record, the camera's focus distance
/// (the host's "focal distance") and f-stop, and its world position and right, up and forward axes
/// (of any length).
struct SampleInputs {
    double zoomFactor;
    double hShift;
    double vShift;
    double stereoDistance;
    double stereoAngle;
    double filmWidth;
    double filmHeight;
    double focusDistance;
    double fStop;
    double position[3];
    double right[3];
    double up[3];
    double forward[3];
};

/// Computes one sample. For finite inputs of ordinary magnitude every field
/// is finite:
/// - an f-stop that is 0, negative or NaN gives a pinhole (aperture vectors 0);
/// - a focal length of 0 (zoom factor or film height 0) scales the plane of
///   focus as if the focal length were kMinFocalLength (lens/optics.h);
/// - a focus distance that is 0, negative or NaN is kMinFocusDistance, an
///   infinite one kFarDistance;
/// - an axis too short or too long to square within double range is measured
///   scaled by its largest component; one of length 0 or with a component
///   that is not finite is replaced by (1, 0, 0), (0, 1, 0) or (0, 0, 1) for
///   right, up or forward.
/// None of these changes the result of inputs that need no fallback.
MotionSample makeMotionSample(const SampleInputs &inputs) noexcept;

/// Time of record `index` of a table of `sampleCount` intervals:
/// (frameDuration / sampleCount) * index + frameStart, or frameStart alone
/// when sampleCount is 0.
constexpr double sampleTime(double frameStart, double frameDuration, uint32_t sampleCount,
                            uint32_t index) noexcept {
    if (sampleCount == 0) {
        return frameStart;
    }
    return (frameDuration / static_cast<double>(sampleCount)) * static_cast<double>(index) +
           frameStart;
}

/// Largest motion step count a frame may ask for. Four intervals per step
/// give at most 114688 intervals, a table of 114689 records (61.25 MiB); a
/// larger count is refused rather than multiplied, so the interval count
/// never wraps and the table stays within 64 MiB.
inline constexpr int64_t kMaxMotionSteps = 28672;
inline constexpr uint32_t kMaxSampleCount = static_cast<uint32_t>(4 * kMaxMotionSteps);
static_assert((kMaxSampleCount + 1ULL) * sizeof(MotionSample) <= 64ULL << 20);

/// Sample intervals for a frame's motion steps: four per step. None for a
/// negative count or one above kMaxMotionSteps.
constexpr std::optional<uint32_t> sampleCountForMotionSteps(int64_t motionSteps) noexcept {
    if (motionSteps < 0 || motionSteps > kMaxMotionSteps) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(motionSteps) * 4U;
}

} // namespace brelvix

#endif
