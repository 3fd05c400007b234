// The viewport projection: its worked example, its shape, the fixed plane of
// focus under lens offsets, and the fallbacks that keep it finite.
#include "lens/projection.h"

#include "lens/optics.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <string>

namespace brelvix {
namespace {

using Matrix = std::array<double, 16>;

Matrix project(const ViewportInputs &in) {
    Matrix m;
    m.fill(std::numeric_limits<double>::quiet_NaN()); // every entry must be written
    EXPECT_EQ(makeViewportProjection(in, m.data()), m.data());
    return m;
}

std::string describe(const ViewportInputs &in) {
    std::ostringstream out;
    out.precision(17);
    out << "zoom " << in.zoomFactor << " hShift " << in.hShift << " vShift " << in.vShift << " W "
        << in.filmWidth << " H " << in.filmHeight << " lens (" << in.lensX << ", " << in.lensY
        << ") d " << in.focusDistance << " s " << in.fStop;
    return out.str();
}

ViewportInputs randomViewport(std::mt19937_64 &rng) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    ViewportInputs in{};
    in.zoomFactor = std::uniform_real_distribution<double>(0.1, 10.0)(rng);
    in.hShift = unit(rng);
    in.vShift = unit(rng);
    in.filmWidth = std::uniform_real_distribution<double>(0.005, 0.1)(rng);
    in.filmHeight = std::uniform_real_distribution<double>(0.005, 0.1)(rng);
    in.lensX = unit(rng);
    in.lensY = unit(rng);
    in.focusDistance = std::uniform_real_distribution<double>(0.1, 1000.0)(rng);
    in.fStop = std::uniform_real_distribution<double>(0.5, 32.0)(rng);
    return in;
}

TEST(LensProjection, WorkedExample) {
    const ViewportInputs in{2.0, 0.1, -0.2, 0.8, 0.5, 0.5, -0.25, 2.0, 0.25};
    const Matrix m = project(in);
    const double f = 0.5;
    const Matrix expected{f,
                          0.0,
                          0.0,
                          0.0, //
                          0.0,
                          f,
                          0.0,
                          0.0, //
                          -0.12,
                          0.0,
                          -((65000.0 + f) / (65000.0 - f)),
                          -1.0,
                          -0.4,
                          0.2,
                          -((f * 130000.0) / (65000.0 - f)),
                          0.0};
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(m[k], expected[k]) << "entry " << k;
    }
}

TEST(LensProjection, ShapeWithoutLensOffsetOrShift) {
    std::mt19937_64 rng(51);
    for (int i = 0; i < 500; ++i) {
        ViewportInputs in = randomViewport(rng);
        in.lensX = in.lensY = 0.0;
        SCOPED_TRACE(describe(in));
        Matrix m = project(in);
        // At the lens centre the shear is the lens shift alone.
        EXPECT_EQ(m[12], 0.0);
        EXPECT_EQ(m[13], 0.0);
        EXPECT_EQ(m[8], in.hShift * in.filmWidth);
        EXPECT_EQ(m[9], in.vShift * in.filmHeight);
        // Without shift only the scale and the depth terms remain.
        in.hShift = in.vShift = 0.0;
        m = project(in);
        for (int k = 0; k < 16; ++k) {
            const bool kept = k == 0 || k == 5 || k == 10 || k == 11 || k == 14;
            EXPECT_EQ(m[k] != 0.0, kept) << "entry " << k << " = " << m[k];
        }
        EXPECT_EQ(m[11], -1.0);
    }
}

TEST(LensProjection, InvariantsOverRandomViewports) {
    std::mt19937_64 rng(52);
    for (int i = 0; i < 1000; ++i) {
        const ViewportInputs in = randomViewport(rng);
        SCOPED_TRACE(describe(in));
        const Matrix m = project(in);
        const double f = focalLengthOf(in.filmHeight, in.zoomFactor);
        const double r = (f / in.fStop) * 0.5;
        // One scale for both film axes, whatever the film's aspect.
        EXPECT_EQ(m[0], m[5]);
        EXPECT_EQ(m[0], f);
        // Both lens offsets are scaled by the film width.
        EXPECT_EQ(m[12], -(in.filmWidth * in.lensX) * r);
        EXPECT_EQ(m[13], -(in.filmWidth * in.lensY) * r);
        // Depth: the near distance f lands on -1, the far distance on +1.
        for (const auto &[depth, ndc] : {std::pair{f, -1.0}, std::pair{kFarDistance, 1.0}}) {
            const double z = -depth;
            EXPECT_NEAR((m[10] * z + m[14]) / (m[11] * z), ndc, 1e-9) << "depth " << depth;
        }
        // A point on the plane of focus lands in the same place for every
        // lens position: x f - hShift W d, y f - vShift H d.
        const double x = std::uniform_real_distribution<double>(-50.0, 50.0)(rng);
        const double y = std::uniform_real_distribution<double>(-50.0, 50.0)(rng);
        const double z = -in.focusDistance;
        const double px = x * m[0] + y * m[4] + z * m[8] + m[12];
        const double py = x * m[1] + y * m[5] + z * m[9] + m[13];
        const double tolerance = 1e-12 * (std::fabs(x * f) + std::fabs(z) + 1.0);
        EXPECT_NEAR(px, f * x - in.hShift * in.filmWidth * in.focusDistance, tolerance);
        EXPECT_NEAR(py, f * y - in.vShift * in.filmHeight * in.focusDistance, tolerance);
        EXPECT_EQ(x * m[3] + y * m[7] + z * m[11] + m[15], -z);
    }
}

TEST(LensProjection, ZeroFocalLength) {
    for (const auto &[zoom, height] : {std::pair{0.0, 0.024}, std::pair{2.0, 0.0}}) {
        const ViewportInputs in{zoom, 0.1, 0.2, 0.036, height, 0.3, 0.4, 2.0, 4.0};
        SCOPED_TRACE(describe(in));
        const Matrix m = project(in);
        EXPECT_EQ(m[0], 0.0);
        EXPECT_EQ(m[5], 0.0);
        EXPECT_EQ(m[10], -1.0);
        EXPECT_EQ(m[14], 0.0);
    }
}

TEST(LensProjection, UnusableInputsGiveFiniteEntries) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    const ViewportInputs base{2.0, 0.1, -0.2, 0.8, 0.5, 0.5, -0.25, 2.0, 0.25};
    const struct {
        const char *name;
        void (*change)(ViewportInputs &);
        void (*check)(const Matrix &, const ViewportInputs &);
    } cases[] = {
        {"f-stop 0", [](ViewportInputs &in) { in.fStop = 0.0; }, nullptr},
        {"f-stop negative", [](ViewportInputs &in) { in.fStop = -1.0; }, nullptr},
        {"f-stop NaN", [](ViewportInputs &in) { in.fStop = nan; }, nullptr},
        {"f-stop infinite", [](ViewportInputs &in) { in.fStop = inf; }, nullptr},
        {"f-stop subnormal", [](ViewportInputs &in) { in.fStop = 1e-320; }, nullptr},
        {"focus distance 0", [](ViewportInputs &in) { in.focusDistance = 0.0; },
         [](const Matrix &m, const ViewportInputs &in) {
             // The lens term drops out of the shear; the offset stays.
             EXPECT_EQ(m[8], in.hShift * in.filmWidth);
             EXPECT_EQ(m[9], in.vShift * in.filmHeight);
             EXPECT_EQ(m[12], -0.4);
         }},
        {"focus distance 0 at the lens centre",
         [](ViewportInputs &in) {
             in.focusDistance = 0.0;
             in.lensX = in.lensY = 0.0;
         },
         nullptr},
        {"focal length at the far distance",
         [](ViewportInputs &in) {
             in.zoomFactor = 2.0;
             in.filmHeight = kFarDistance;
         },
         [](const Matrix &m, const ViewportInputs &) {
             EXPECT_EQ(m[0], kFarDistance);
             EXPECT_EQ(m[10], -1.0);
             EXPECT_EQ(m[14], -2.0 * kFarDistance);
         }},
        {"everything 0", [](ViewportInputs &in) { in = ViewportInputs{}; }, nullptr},
    };
    const auto pinhole = [](const Matrix &m, const ViewportInputs &in) {
        EXPECT_EQ(m[12], 0.0);
        EXPECT_EQ(m[13], 0.0);
        EXPECT_EQ(m[8], in.hShift * in.filmWidth);
    };
    for (const auto &c : cases) {
        ViewportInputs in = base;
        c.change(in);
        SCOPED_TRACE(std::string(c.name) + ": " + describe(in));
        const Matrix m = project(in);
        for (int k = 0; k < 16; ++k) {
            EXPECT_TRUE(std::isfinite(m[k])) << "entry " << k << " = " << m[k];
        }
        if (c.check != nullptr) {
            c.check(m, in);
        } else if (std::string(c.name).rfind("f-stop", 0) == 0) {
            pinhole(m, in);
        }
    }
}

} // namespace
} // namespace brelvix
