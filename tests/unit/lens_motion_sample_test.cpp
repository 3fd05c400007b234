// The motion sample: its worked numbers, its arithmetic order (bit for bit),
// its invariants over many cameras, the fallbacks for unusable host answers,
// the sample times and the motion step limit.
#include "lens/motion_sample.h"
#include "lens/optics.h"
#include "lens/rotation.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <utility>

namespace brelvix {
namespace {

using Vec = std::array<double, 3>;

/// A level camera looking down +z with the default lens.
SampleInputs levelCamera() {
    SampleInputs in{};
    in.zoomFactor = 2.6217;
    in.hShift = 0.0;
    in.vShift = 0.0;
    in.stereoDistance = 0.05;
    in.stereoAngle = 0.0;
    in.filmWidth = 0.036;
    in.filmHeight = 0.024;
    in.focusDistance = 2.0;
    in.fStop = 4.0;
    const double right[3] = {1, 0, 0}, up[3] = {0, 1, 0}, forward[3] = {0, 0, 1};
    for (int j = 0; j < 3; ++j) {
        in.position[j] = 0.0;
        in.right[j] = right[j];
        in.up[j] = up[j];
        in.forward[j] = forward[j];
    }
    return in;
}

std::string describe(const SampleInputs &in) {
    std::ostringstream out;
    out.precision(17);
    out << "zoom " << in.zoomFactor << " hShift " << in.hShift << " vShift " << in.vShift
        << " distance " << in.stereoDistance << " angle " << in.stereoAngle << " W " << in.filmWidth
        << " H " << in.filmHeight << " fd " << in.focusDistance << " fs " << in.fStop;
    const auto vec = [&out](const char *name, const double *v) {
        out << " " << name << " (" << v[0] << ", " << v[1] << ", " << v[2] << ")";
    };
    vec("P", in.position);
    vec("R", in.right);
    vec("U", in.up);
    vec("Fw", in.forward);
    return out.str();
}

const double *fields(const MotionSample &s) { return &s.shiftX; }

double length(const double *v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

/// A camera with ordinary values and axes of arbitrary lengths and
/// directions (not orthogonal: the sample only normalises).
SampleInputs randomCamera(std::mt19937_64 &rng) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_real_distribution<double> scale(0.1, 10.0);
    SampleInputs in{};
    in.zoomFactor = std::uniform_real_distribution<double>(0.1, 10.0)(rng);
    in.hShift = unit(rng);
    in.vShift = unit(rng);
    in.stereoDistance = std::uniform_real_distribution<double>(0.0, 0.2)(rng);
    in.stereoAngle = unit(rng) * 0.2;
    in.filmWidth = std::uniform_real_distribution<double>(0.005, 0.1)(rng);
    in.filmHeight = std::uniform_real_distribution<double>(0.005, 0.1)(rng);
    in.focusDistance = std::uniform_real_distribution<double>(0.1, 1000.0)(rng);
    in.fStop = std::uniform_real_distribution<double>(0.5, 32.0)(rng);
    for (double *v : {in.right, in.up, in.forward}) {
        const double s = scale(rng);
        for (int j = 0; j < 3; ++j) {
            v[j] = unit(rng) * s;
        }
    }
    for (int j = 0; j < 3; ++j) {
        in.position[j] = unit(rng) * 100.0;
    }
    return in;
}

TEST(LensMotionSample, WorkedShiftsAndFilm) {
    SampleInputs in = levelCamera();
    in.filmWidth = 0.036;
    in.hShift = 0.1;
    in.filmHeight = 0.024;
    in.vShift = 0.1;
    in.stereoDistance = 0.05;
    in.stereoAngle = -0.03;
    const MotionSample s = makeMotionSample(in);
    EXPECT_DOUBLE_EQ(s.shiftX, 0.0018);
    EXPECT_EQ(s.shiftX, (0.036 * 0.1) * 0.5);
    // The vertical shift is measured against the full film height.
    EXPECT_DOUBLE_EQ(s.shiftY, 0.0024);
    EXPECT_EQ(s.shiftY, 0.1 * 0.024);
    EXPECT_EQ(s.filmWidth, 0.036);
    EXPECT_EQ(s.eyeAngle, -0.03);
    EXPECT_EQ(s.halfEyeDistance, 0.025);
}

TEST(LensMotionSample, WorkedFocalLengthApertureAndFocus) {
    const SampleInputs in = levelCamera(); // H 0.024, zoom 2.6217, fd 2, fs 4
    EXPECT_DOUBLE_EQ(focalLengthOf(in.filmHeight, in.zoomFactor), 0.0314604);
    const MotionSample s = makeMotionSample(in);
    EXPECT_DOUBLE_EQ(length(s.apertureRight), 0.00393255);
    EXPECT_DOUBLE_EQ(length(s.apertureUp), 0.00393255);
    EXPECT_NEAR(length(s.focusRight), 63.572, 5e-4);
    EXPECT_NEAR(length(s.focusUp), 63.572, 5e-4);
    EXPECT_EQ(length(s.focusRight), 2.0 / ((0.024 * 2.6217) * 0.5));
    EXPECT_EQ((Vec{s.focusForward[0], s.focusForward[1], s.focusForward[2]}), (Vec{0, 0, 2.0}));
}

TEST(LensMotionSample, ScaledAxesAreNormalised) {
    SampleInputs in = levelCamera();
    in.right[0] = 2.0;
    in.up[1] = 3.0;
    in.forward[2] = 4.0;
    in.focusDistance = 7.3;
    const MotionSample s = makeMotionSample(in);
    EXPECT_EQ((Vec{s.unitRight[0], s.unitRight[1], s.unitRight[2]}), (Vec{1, 0, 0}));
    EXPECT_EQ((Vec{s.unitUp[0], s.unitUp[1], s.unitUp[2]}), (Vec{0, 1, 0}));
    EXPECT_EQ((Vec{s.unitForward[0], s.unitForward[1], s.unitForward[2]}), (Vec{0, 0, 1}));
    EXPECT_EQ((Vec{s.focusForward[0], s.focusForward[1], s.focusForward[2]}), (Vec{0, 0, 7.3}));
}

TEST(LensMotionSample, KeepsTheArithmeticOrderBitForBit) {
    // Each field as the table states it, grouping included; a regrouping such
    // as (R / |R|) * k for R * (k / |R|) changes low bits and fails here.
    std::mt19937_64 rng(31);
    for (int i = 0; i < 2000; ++i) {
        const SampleInputs in = randomCamera(rng);
        SCOPED_TRACE(describe(in));
        const MotionSample s = makeMotionSample(in);
        const double f = (in.filmHeight * in.zoomFactor) * 0.5;
        const double a = (f / in.fStop) * 0.5;
        const double k = in.focusDistance / f;
        const auto norm = [](const double *v) {
            return std::sqrt((v[0] * v[0] + v[1] * v[1]) + v[2] * v[2]);
        };
        const double nr = norm(in.right), nu = norm(in.up), nf = norm(in.forward);
        MotionSample want{};
        want.shiftX = (in.filmWidth * in.hShift) * 0.5;
        want.shiftY = in.vShift * in.filmHeight;
        want.filmWidth = in.filmWidth;
        want.eyeAngle = in.stereoAngle;
        want.halfEyeDistance = in.stereoDistance * 0.5;
        for (int j = 0; j < 3; ++j) {
            want.focusRight[j] = in.right[j] * (k / nr);
            want.focusUp[j] = in.up[j] * (k / nu);
            want.focusForward[j] = in.forward[j] * (in.focusDistance / nf);
            want.unitRight[j] = in.right[j] / nr;
            want.unitUp[j] = in.up[j] / nu;
            want.apertureRight[j] = (in.right[j] / nr) * a;
            want.apertureUp[j] = (in.up[j] / nu) * a;
            want.unitForward[j] = in.forward[j] / nf;
            want.position[j] = in.position[j];
        }
        for (int field = 0; field < 32; ++field) {
            ASSERT_EQ(fields(s)[field], fields(want)[field]) << "field " << field;
        }
        // Each eye's view: the direction vectors turned by that eye's rotation.
        for (const auto &[eye, angle] :
             {std::pair{kRightEye, in.stereoAngle}, std::pair{kLeftEye, -in.stereoAngle}}) {
            double rotation[16];
            makeAxisRotation(rotation, want.unitUp, angle);
            const EyeView &view = s.eyeViews[eye];
            const double *const unturned[5] = {want.focusRight, want.focusUp, want.focusForward,
                                               want.apertureRight, want.apertureUp};
            const double *const turned[5] = {view.focusRight, view.focusUp, view.focusForward,
                                             view.apertureRight, view.apertureUp};
            for (int v = 0; v < 5; ++v) {
                double expected[3];
                transformPoint(rotation, unturned[v], expected);
                for (int j = 0; j < 3; ++j) {
                    ASSERT_EQ(turned[v][j], angle == 0.0 ? unturned[v][j] : expected[j])
                        << "eye " << eye << " vector " << v;
                }
            }
        }
    }
}

TEST(LensMotionSample, InvariantsOverRandomCameras) {
    std::mt19937_64 rng(32);
    for (int i = 0; i < 2000; ++i) {
        const SampleInputs in = randomCamera(rng);
        SCOPED_TRACE(describe(in));
        const MotionSample s = makeMotionSample(in);
        const double f = focalLengthOf(in.filmHeight, in.zoomFactor);
        const double k = in.focusDistance / f;
        const double a = (f / in.fStop) * 0.5;
        for (const double *axis : {s.unitRight, s.unitUp, s.unitForward}) {
            EXPECT_NEAR(length(axis), 1.0, 1e-15);
        }
        EXPECT_NEAR(length(s.focusRight), k, 1e-14 * k);
        EXPECT_NEAR(length(s.focusUp), k, 1e-14 * k);
        EXPECT_NEAR(length(s.focusForward), in.focusDistance, 1e-14 * in.focusDistance);
        EXPECT_NEAR(length(s.apertureRight), a, 1e-15 * a);
        EXPECT_NEAR(length(s.apertureUp), a, 1e-15 * a);
        for (int j = 0; j < 3; ++j) {
            // Every vector lies along its axis, facing the same way.
            EXPECT_NEAR(s.focusRight[j], s.unitRight[j] * k, 1e-14 * k);
            EXPECT_NEAR(s.focusUp[j], s.unitUp[j] * k, 1e-14 * k);
            EXPECT_NEAR(s.focusForward[j], s.unitForward[j] * in.focusDistance,
                        1e-14 * in.focusDistance);
            EXPECT_NEAR(s.unitRight[j] * length(in.right), in.right[j], 1e-14);
        }
    }
}

struct GuardCase {
    const char *name;
    std::function<void(SampleInputs &)> change;
    std::function<void(const MotionSample &, const SampleInputs &)> check;
};

void expectVector(const double *actual, const Vec &expected, double tolerance) {
    for (int j = 0; j < 3; ++j) {
        EXPECT_NEAR(actual[j], expected[j], tolerance) << "component " << j;
    }
}

TEST(LensMotionSample, UnusableHostAnswersGiveFiniteFallbacks) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double f = focalLengthOf(0.024, 2.6217);
    const double a = (f / 4.0) * 0.5;
    const auto pinhole = [](const MotionSample &s, const SampleInputs &) {
        expectVector(s.apertureRight, {0, 0, 0}, 0.0);
        expectVector(s.apertureUp, {0, 0, 0}, 0.0);
        expectVector(s.unitRight, {1, 0, 0}, 0.0);
    };
    const auto wideAngle = [](const MotionSample &s, const SampleInputs &in) {
        const double k = in.focusDistance / kMinFocalLength;
        expectVector(s.focusRight, {k, 0, 0}, 0.0);
        expectVector(s.focusUp, {0, k, 0}, 0.0);
        expectVector(s.focusForward, {0, 0, in.focusDistance}, 0.0);
    };
    const auto nearFocus = [f](const MotionSample &s, const SampleInputs &) {
        expectVector(s.focusForward, {0, 0, kMinFocusDistance}, 0.0);
        expectVector(s.focusRight, {kMinFocusDistance / f, 0, 0}, 0.0);
    };
    const std::vector<GuardCase> cases = {
        {"f-stop 0", [](SampleInputs &in) { in.fStop = 0.0; }, pinhole},
        {"f-stop negative", [](SampleInputs &in) { in.fStop = -2.0; }, pinhole},
        {"f-stop NaN", [nan](SampleInputs &in) { in.fStop = nan; }, pinhole},
        {"f-stop infinite", [inf](SampleInputs &in) { in.fStop = inf; }, pinhole},
        {"f-stop subnormal", [](SampleInputs &in) { in.fStop = 1e-320; }, pinhole},
        {"zoom 0", [](SampleInputs &in) { in.zoomFactor = 0.0; }, wideAngle},
        {"zoom -0", [](SampleInputs &in) { in.zoomFactor = -0.0; }, wideAngle},
        {"film height 0", [](SampleInputs &in) { in.filmHeight = 0.0; }, wideAngle},
        {"focus distance 0", [](SampleInputs &in) { in.focusDistance = 0.0; }, nearFocus},
        {"focus distance negative", [](SampleInputs &in) { in.focusDistance = -3.0; }, nearFocus},
        {"focus distance NaN", [nan](SampleInputs &in) { in.focusDistance = nan; }, nearFocus},
        {"focus distance infinite", [inf](SampleInputs &in) { in.focusDistance = inf; },
         [](const MotionSample &s, const SampleInputs &) {
             expectVector(s.focusForward, {0, 0, kFarDistance}, 0.0);
         }},
        {"right axis 0", [](SampleInputs &in) { in.right[0] = 0.0; },
         [a](const MotionSample &s, const SampleInputs &) {
             expectVector(s.unitRight, {1, 0, 0}, 0.0);
             expectVector(s.apertureRight, {a, 0, 0}, 0.0);
         }},
        {"up axis 0", [](SampleInputs &in) { in.up[1] = 0.0; },
         [a](const MotionSample &s, const SampleInputs &) {
             expectVector(s.unitUp, {0, 1, 0}, 0.0);
             expectVector(s.apertureUp, {0, a, 0}, 0.0);
         }},
        {"forward axis 0", [](SampleInputs &in) { in.forward[2] = 0.0; },
         [](const MotionSample &s, const SampleInputs &) {
             expectVector(s.unitForward, {0, 0, 1}, 0.0);
             expectVector(s.focusForward, {0, 0, 2.0}, 0.0);
         }},
        {"right axis with a NaN", [nan](SampleInputs &in) { in.right[1] = nan; },
         [](const MotionSample &s, const SampleInputs &) {
             expectVector(s.unitRight, {1, 0, 0}, 0.0);
         }},
        {"tiny right axis",
         [](SampleInputs &in) {
             in.right[0] = 1e-200;
             in.right[1] = 2e-200;
         },
         [](const MotionSample &s, const SampleInputs &) {
             expectVector(s.unitRight, {1 / std::sqrt(5.0), 2 / std::sqrt(5.0), 0}, 1e-15);
         }},
        {"huge forward axis",
         [](SampleInputs &in) {
             in.forward[0] = 1e200;
             in.forward[2] = -1e200;
         },
         [](const MotionSample &s, const SampleInputs &) {
             expectVector(s.unitForward, {std::sqrt(0.5), 0, -std::sqrt(0.5)}, 1e-15);
             expectVector(s.focusForward, {2 * std::sqrt(0.5), 0, -2 * std::sqrt(0.5)}, 1e-15);
         }},
        {"everything 0", [](SampleInputs &in) { in = SampleInputs{}; },
         [](const MotionSample &s, const SampleInputs &) {
             expectVector(s.unitRight, {1, 0, 0}, 0.0);
             expectVector(s.unitUp, {0, 1, 0}, 0.0);
             expectVector(s.unitForward, {0, 0, 1}, 0.0);
             expectVector(s.focusForward, {0, 0, kMinFocusDistance}, 0.0);
         }},
    };
    for (const GuardCase &guard : cases) {
        SampleInputs in = levelCamera();
        guard.change(in);
        SCOPED_TRACE(std::string(guard.name) + ": " + describe(in));
        const MotionSample s = makeMotionSample(in);
        for (int field = 0; field < 32; ++field) {
            EXPECT_TRUE(std::isfinite(fields(s)[field])) << "field " << field;
        }
        guard.check(s, in);
    }
}

TEST(LensMotionSample, SampleTimesSpanTheFrame) {
    // Motion steps 1, start 10, duration 0.5.
    const double oneStep[] = {10.0, 10.125, 10.25, 10.375, 10.5};
    for (uint32_t i = 0; i <= 4; ++i) {
        EXPECT_EQ(sampleTime(10.0, 0.5, 4, i), oneStep[i]) << "record " << i;
    }
    // Motion steps 2: nine records at eighths of the duration.
    for (uint32_t i = 0; i <= 8; ++i) {
        EXPECT_EQ(sampleTime(3.0, 2.0, 8, i), (2.0 / 8.0) * i + 3.0) << "record " << i;
    }
    // No motion steps: the single record is at the start.
    EXPECT_EQ(sampleTime(7.5, 0.25, 0, 0), 7.5);
    // Duration 0: every record at the start.
    for (uint32_t i = 0; i <= 12; ++i) {
        EXPECT_EQ(sampleTime(-1.5, 0.0, 12, i), -1.5) << "record " << i;
    }
    // The last record lands on the end of the interval.
    EXPECT_EQ(sampleTime(0.0, 1.0 / 3.0, kMaxSampleCount, kMaxSampleCount), 1.0 / 3.0);
}

TEST(LensMotionSample, MotionStepsBeyondTheLimitAreRefused) {
    struct Case {
        int64_t steps;
        std::optional<uint32_t> count;
    };
    const Case cases[] = {
        {0, 0U},
        {1, 4U},
        {2, 8U},
        {kMaxMotionSteps, kMaxSampleCount},
        {kMaxMotionSteps + 1, std::nullopt},
        {-1, std::nullopt},
        {std::numeric_limits<int32_t>::min(), std::nullopt},
        {std::numeric_limits<int32_t>::max(), std::nullopt},
        {0x40000000, std::nullopt}, // times 4 wraps to 0 in 32 bits
        {0x40000001, std::nullopt}, // times 4 wraps to 4
        {int64_t{1} << 40, std::nullopt},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(sampleCountForMotionSteps(c.steps), c.count) << "motion steps " << c.steps;
    }
    EXPECT_EQ(kMaxSampleCount, 4 * kMaxMotionSteps);
    EXPECT_GE(kMaxMotionSteps, 1024);
    // The table's record count stays representable.
    EXPECT_LT(uint64_t{kMaxSampleCount} + 1, uint64_t{1} << 32);
}

} // namespace
} // namespace brelvix
