// The eye-turn rotation: its sign convention for row vectors, unit reduction
// of the axis, transposition under a negated angle, and the translation row.
#include "lens/rotation.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <sstream>
#include <string>

namespace brelvix {
namespace {

using Vec = std::array<double, 3>;
using Matrix = std::array<double, 16>;

std::string describe(const char *name, const Vec &v) {
    std::ostringstream out;
    out.precision(17);
    out << name << " = (" << v[0] << ", " << v[1] << ", " << v[2] << ")";
    return out.str();
}

Matrix rotation(const Vec &axis, double angle) {
    Matrix m{};
    EXPECT_EQ(makeAxisRotation(m.data(), axis.data(), angle), m.data());
    return m;
}

Vec transformed(const Matrix &m, const Vec &p) {
    Vec out{};
    transformPoint(m.data(), p.data(), out.data());
    return out;
}

double length(const Vec &v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

Vec randomVector(std::mt19937_64 &rng, double range) {
    std::uniform_real_distribution<double> coordinate(-range, range);
    return {coordinate(rng), coordinate(rng), coordinate(rng)};
}

TEST(LensRotation, TurnsAboutTheUpAxisLikeTheEyes) {
    for (const double theta : {0.0, 0.1, -0.1, 0.5, 1.0, -2.5, 3.14159}) {
        SCOPED_TRACE(testing::Message() << "theta = " << theta);
        const Matrix m = rotation({0.0, 1.0, 0.0}, theta);
        const Vec forward = transformed(m, {0.0, 0.0, 1.0});
        EXPECT_NEAR(forward[0], std::sin(theta), 1e-15);
        EXPECT_NEAR(forward[1], 0.0, 1e-15);
        EXPECT_NEAR(forward[2], std::cos(theta), 1e-15);
        const Vec right = transformed(m, {1.0, 0.0, 0.0});
        EXPECT_NEAR(right[0], std::cos(theta), 1e-15);
        EXPECT_NEAR(right[1], 0.0, 1e-15);
        EXPECT_NEAR(right[2], -std::sin(theta), 1e-15);
        const Vec up = transformed(m, {0.0, 1.0, 0.0});
        EXPECT_EQ(up[0], 0.0);
        EXPECT_NEAR(up[1], 1.0, 1e-15); // co + (1 - co) may round
        EXPECT_EQ(up[2], 0.0);
    }
}

TEST(LensRotation, ReducesTheAxisToUnitLength) {
    EXPECT_EQ(rotation({0.0, 2.0, 0.0}, 0.7), rotation({0.0, 1.0, 0.0}, 0.7));
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> angle(-4.0, 4.0);
    for (int i = 0; i < 200; ++i) {
        const Vec axis = randomVector(rng, 3.0);
        const double theta = angle(rng);
        SCOPED_TRACE(describe("axis", axis) + " theta " + std::to_string(theta));
        // Scaling by a power of two changes no bit of the unit axis.
        EXPECT_EQ(rotation({axis[0] * 4, axis[1] * 4, axis[2] * 4}, theta), rotation(axis, theta));
    }
}

TEST(LensRotation, MatchesTheAxisAngleFormulaForRowVectors) {
    // p * M = p cos + (u x p) sin + u (u . p)(1 - cos), written independently.
    std::mt19937_64 rng(12);
    std::uniform_real_distribution<double> angle(-4.0, 4.0);
    for (int i = 0; i < 500; ++i) {
        const Vec axis = randomVector(rng, 2.0);
        const Vec p = randomVector(rng, 10.0);
        const double theta = angle(rng);
        SCOPED_TRACE(describe("axis", axis) + " " + describe("p", p) + " theta " +
                     std::to_string(theta));
        const double n = length(axis);
        const Vec u{axis[0] / n, axis[1] / n, axis[2] / n};
        const Vec cross{u[1] * p[2] - u[2] * p[1], u[2] * p[0] - u[0] * p[2],
                        u[0] * p[1] - u[1] * p[0]};
        const double dot = u[0] * p[0] + u[1] * p[1] + u[2] * p[2];
        const double c = std::cos(theta);
        const double s = std::sin(theta);
        const Vec out = transformed(rotation(axis, theta), p);
        for (int j = 0; j < 3; ++j) {
            EXPECT_NEAR(out[j], p[j] * c + cross[j] * s + u[j] * dot * (1 - c), 1e-12);
        }
        EXPECT_NEAR(length(out), length(p), 1e-12 * length(p));
    }
}

TEST(LensRotation, ZeroAngleIsIdentityAndNegatedAngleTransposes) {
    std::mt19937_64 rng(13);
    std::uniform_real_distribution<double> angle(-4.0, 4.0);
    for (int i = 0; i < 200; ++i) {
        const Vec axis = randomVector(rng, 5.0);
        const double theta = angle(rng);
        SCOPED_TRACE(describe("axis", axis) + " theta " + std::to_string(theta));
        const Matrix identity = rotation(axis, 0.0);
        const Matrix forth = rotation(axis, theta);
        const Matrix back = rotation(axis, -theta);
        for (int row = 0; row < 4; ++row) {
            for (int column = 0; column < 4; ++column) {
                SCOPED_TRACE(testing::Message() << "row " << row << " column " << column);
                EXPECT_EQ(identity[4 * row + column], row == column ? 1.0 : 0.0);
                EXPECT_EQ(forth[4 * row + column], back[4 * column + row]);
                if (row == 3 || column == 3) {
                    EXPECT_EQ(forth[4 * row + column], row == column ? 1.0 : 0.0);
                }
            }
        }
    }
}

TEST(LensRotation, TransformAddsTheTranslationRow) {
    const Matrix m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.5, -2.0, 7.25, 1};
    EXPECT_EQ(transformed(m, {1.0, 2.0, 3.0}), (Vec{1.5, 0.0, 10.25}));
    // Column 3 is not read: no fourth coordinate, no division.
    const Matrix projective{1, 0, 0, 9, 0, 1, 0, 9, 0, 0, 1, 9, 0.5, -2.0, 7.25, 9};
    EXPECT_EQ(transformed(projective, {1.0, 2.0, 3.0}), (Vec{1.5, 0.0, 10.25}));
}

TEST(LensRotation, UnmeasurableAxisGivesTheIdentity) {
    const double inf = INFINITY;
    for (const Vec axis : {Vec{0.0, 0.0, 0.0}, Vec{-0.0, 0.0, -0.0}, Vec{1e-300, 0.0, 0.0},
                           Vec{1e300, 1e300, 0.0}, Vec{inf, 0.0, 0.0}, Vec{NAN, 1.0, 0.0}}) {
        SCOPED_TRACE(describe("axis", axis));
        const Matrix m = rotation(axis, 0.8);
        for (int k = 0; k < 16; ++k) {
            EXPECT_EQ(m[k], k % 5 == 0 ? 1.0 : 0.0) << "entry " << k;
        }
    }
}

} // namespace
} // namespace brelvix
