// Camera rays from a sample table: record selection, the eye split, the eye
// turn, depth of field, and the invariants that hold for every camera.
#include "lens/motion_sample.h"
#include "lens/ray.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace brelvix {
namespace {

using Vec = std::array<double, 3>;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Vec vec(const double *v) { return {v[0], v[1], v[2]}; }
double dot(const Vec &a, const Vec &b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double length(const Vec &v) { return std::sqrt(dot(v, v)); }
Vec cross(const Vec &a, const Vec &b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec plus(const Vec &a, const Vec &b, double s = 1.0) {
    return {a[0] + s * b[0], a[1] + s * b[1], a[2] + s * b[2]};
}

/// A level camera at the origin looking down +z, with no shift.
SampleInputs levelCamera(double halfEyeDistance, double eyeAngle) {
    SampleInputs in{};
    in.zoomFactor = 2.6217;
    in.stereoDistance = 2 * halfEyeDistance;
    in.stereoAngle = eyeAngle;
    in.filmWidth = 0.036;
    in.filmHeight = 0.024;
    in.focusDistance = 2.0;
    in.fStop = 4.0;
    in.right[0] = 1.0;
    in.up[1] = 1.0;
    in.forward[2] = 1.0;
    return in;
}

/// A camera with ordinary values: random position, lens, shifts and eyes,
/// and a random orientation whose axes the host hands back with arbitrary
/// lengths.
SampleInputs randomCamera(std::mt19937_64 &rng, bool turnEyes) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    SampleInputs in{};
    in.zoomFactor = std::uniform_real_distribution<double>(0.2, 8.0)(rng);
    in.hShift = unit(rng) * 0.5;
    in.vShift = unit(rng) * 0.5;
    in.stereoDistance = std::uniform_real_distribution<double>(0.0, 0.2)(rng);
    in.stereoAngle = turnEyes ? unit(rng) * 0.3 : 0.0;
    in.filmWidth = std::uniform_real_distribution<double>(0.01, 0.07)(rng);
    in.filmHeight = std::uniform_real_distribution<double>(0.01, 0.05)(rng);
    in.focusDistance = std::uniform_real_distribution<double>(0.1, 100.0)(rng);
    in.fStop = std::uniform_real_distribution<double>(0.7, 22.0)(rng);
    // An orthonormal frame: right, up made perpendicular to it, forward = right x up.
    Vec right{}, up{};
    do {
        right = {unit(rng), unit(rng), unit(rng)};
        up = {unit(rng), unit(rng), unit(rng)};
    } while (length(right) < 0.1 || length(cross(right, up)) < 0.1);
    right = plus({0, 0, 0}, right, 1.0 / length(right));
    up = plus(up, right, -dot(up, right));
    up = plus({0, 0, 0}, up, 1.0 / length(up));
    const Vec forward = cross(right, up);
    std::uniform_real_distribution<double> scale(0.2, 5.0);
    const double rs = scale(rng), us = scale(rng), fs = scale(rng);
    for (int j = 0; j < 3; ++j) {
        in.right[j] = right[j] * rs;
        in.up[j] = up[j] * us;
        in.forward[j] = forward[j] * fs;
        in.position[j] = unit(rng) * 10.0;
    }
    return in;
}

/// One film sample as the host asks for it.
struct Query {
    double filmX, filmY, lensX, lensY, fraction;
};

Query randomQuery(std::mt19937_64 &rng, const SampleInputs &camera) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const double halfWidth = camera.filmWidth * 0.5;
    const double halfHeight = camera.filmHeight * 0.5;
    // A point on the unit lens disc.
    double lx = 0.0, ly = 0.0;
    do {
        lx = unit(rng);
        ly = unit(rng);
    } while (lx * lx + ly * ly > 1.0);
    return {unit(rng) * halfWidth, unit(rng) * halfHeight, lx, ly,
            std::uniform_real_distribution<double>(0.0, 1.0)(rng)};
}

std::string describe(const SampleInputs &in, const Query &q) {
    std::ostringstream out;
    out.precision(17);
    out << "camera: zoom " << in.zoomFactor << " hShift " << in.hShift << " vShift " << in.vShift
        << " distance " << in.stereoDistance << " angle " << in.stereoAngle << " W " << in.filmWidth
        << " H " << in.filmHeight << " fd " << in.focusDistance << " fs " << in.fStop;
    for (const double *v : {in.position, in.right, in.up, in.forward}) {
        out << " (" << v[0] << ", " << v[1] << ", " << v[2] << ")";
    }
    out << "\nquery: film (" << q.filmX << ", " << q.filmY << ") lens (" << q.lensX << ", "
        << q.lensY << ") fraction " << q.fraction;
    return out.str();
}

Ray trace(const MotionSample &sample, const Query &q) {
    return cameraRay(sample, q.filmX, q.filmY, q.lensX, q.lensY);
}

/// d turned by `angle` about the unit axis u, for row vectors, written
/// independently of the rotation helpers.
Vec turned(const Vec &d, const Vec &u, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    const Vec uxd = cross(u, d);
    const double ud = dot(u, d);
    return {d[0] * c + uxd[0] * s + u[0] * ud * (1 - c),
            d[1] * c + uxd[1] * s + u[1] * ud * (1 - c),
            d[2] * c + uxd[2] * s + u[2] * ud * (1 - c)};
}

void expectNear(const Vec &actual, const Vec &expected, double tolerance, const char *what) {
    for (int j = 0; j < 3; ++j) {
        EXPECT_NEAR(actual[j], expected[j], tolerance) << what << " component " << j;
    }
}

TEST(LensRay, ShutterFractionSelectsARecordInsideTheTable) {
    struct Case {
        uint32_t count;
        double fraction;
        uint32_t index;
    };
    const uint32_t most = std::numeric_limits<uint32_t>::max();
    const Case cases[] = {
        {4, 0.0, 0},       {4, 0.2, 0},       {4, 0.25, 1},
        {4, 0.99, 3},      {4, 1.0, 4},       {4, -0.0, 0},
        {4, -0.2, 0},      {4, -7.0, 0},      {4, -kInf, 0},
        {4, kNaN, 0},      {4, -kNaN, 0},     {4, 1.01, 4},
        {4, 1.25, 4},      {4, 1e300, 4},     {4, kInf, 4},
        {0, 0.0, 0},       {0, 0.5, 0},       {0, 1.0, 0},
        {0, 3.0, 0},       {0, -1.0, 0},      {0, kNaN, 0},
        {0, kInf, 0},      {8, 0.125, 1},     {8, 0.999, 7},
        {most, 1.0, most}, {most, 2.0, most}, {most, 0.5, 2147483647},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(sampleIndex(c.count, c.fraction), c.index)
            << "sampleCount " << c.count << " fraction " << c.fraction;
    }
}

TEST(LensRay, RaysUseTheSelectedRecord) {
    // Five records that differ only in position: the origin names the record.
    std::vector<MotionSample> table;
    for (int i = 0; i <= 4; ++i) {
        SampleInputs in = levelCamera(0.0, 0.0);
        in.position[0] = 10.0 * i;
        table.push_back(makeMotionSample(in));
    }
    const struct {
        double fraction;
        double originX;
    } cases[] = {{0.0, 0.0},  {0.2, 0.0},  {0.25, 10.0}, {0.99, 30.0},
                 {1.0, 40.0}, {-1.0, 0.0}, {kNaN, 0.0},  {kInf, 40.0}};
    for (const auto &c : cases) {
        const Ray ray = cameraRay(table[sampleIndex(4, c.fraction)], 0.001, 0.002, 0.0, 0.0);
        EXPECT_EQ(ray.origin[0], c.originX) << "fraction " << c.fraction;
    }
    // With no motion steps every fraction uses the one record.
    for (const double fraction : {0.0, 0.5, 1.0}) {
        const Ray ray = cameraRay((&table[2])[sampleIndex(0, fraction)], 0.001, 0.0, 0.0, 0.0);
        EXPECT_EQ(ray.origin[0], 20.0) << "fraction " << fraction;
    }
}

TEST(LensRay, FilmCentreLineBelongsToTheRightEye) {
    SampleInputs in = levelCamera(0.03, 0.1);
    in.hShift = 0.2;
    in.vShift = -0.1;
    const MotionSample s = makeMotionSample(in);
    // Right eye at film x 0: X = -W/4 + shiftX, turned by +eyeAngle.
    const double x = 0.0 - 0.25 * s.filmWidth + s.shiftX;
    const double y = 0.0 + s.shiftY;
    Vec d = turned(plus(plus(vec(s.focusForward), vec(s.focusRight), x), vec(s.focusUp), y),
                   {0, 1, 0}, 0.1);
    d = {d[0] / length(d), d[1] / length(d), d[2] / length(d)};
    for (const double filmX : {0.0, -0.0}) {
        SCOPED_TRACE(testing::Message() << "filmX " << filmX);
        const Ray ray = trace(s, {filmX, 0.0, 0.0, 0.0, 0.0});
        EXPECT_EQ(vec(ray.origin), (Vec{0.03, 0.0, 0.0}));
        expectNear(vec(ray.direction), d, 1e-15, "direction");
    }
    // Just left of the line is the left eye.
    const Ray left = trace(s, {-1e-300, 0.0, 0.0, 0.0, 0.0});
    EXPECT_EQ(vec(left.origin), (Vec{-0.03, 0.0, 0.0}));
}

TEST(LensRay, HalfCentresLookAlongTheTurnedAxes) {
    for (const double theta : {0.0, 0.05, -0.05, 0.3, -1.0}) {
        for (const double h : {0.0, 0.025, 0.4}) {
            SCOPED_TRACE(testing::Message() << "eyeAngle " << theta << " halfEyeDistance " << h);
            SampleInputs in = levelCamera(h, theta);
            in.position[0] = 1.5;
            in.position[1] = -2.0;
            in.position[2] = 3.0;
            const MotionSample s = makeMotionSample(in);
            const double quarter = s.filmWidth / 4;
            const Ray right = trace(s, {quarter, 0.0, 0.0, 0.0, 0.0});
            expectNear(vec(right.direction), {std::sin(theta), 0, std::cos(theta)}, 1e-15,
                       "right direction");
            EXPECT_EQ(vec(right.origin), (Vec{1.5 + h, -2.0, 3.0}));
            const Ray left = trace(s, {-quarter, 0.0, 0.0, 0.0, 0.0});
            expectNear(vec(left.direction), {-std::sin(theta), 0, std::cos(theta)}, 1e-15,
                       "left direction");
            EXPECT_EQ(vec(left.origin), (Vec{1.5 - h, -2.0, 3.0}));
        }
    }
}

TEST(LensRay, ZeroEyeAngleLeavesTheDirectionUnturnedBitForBit) {
    std::mt19937_64 rng(41);
    for (int i = 0; i < 500; ++i) {
        const SampleInputs in = randomCamera(rng, false);
        const Query q = randomQuery(rng, in);
        SCOPED_TRACE(describe(in, q));
        const MotionSample s = makeMotionSample(in);
        const double e = q.filmX >= 0 ? 1.0 : -1.0;
        const double x = q.filmX - e * 0.25 * s.filmWidth + s.shiftX;
        const double y = q.filmY + s.shiftY;
        double d[3];
        for (int j = 0; j < 3; ++j) {
            d[j] = x * s.focusRight[j] + y * s.focusUp[j] + s.focusForward[j] -
                   q.lensX * s.apertureRight[j] - q.lensY * s.apertureUp[j];
        }
        const double n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        const Ray ray = trace(s, q);
        EXPECT_EQ(vec(ray.direction), (Vec{d[0] / n, d[1] / n, d[2] / n}));
    }
}

TEST(LensRay, InvariantsOverRandomCameras) {
    std::mt19937_64 rng(42);
    for (int camera = 0; camera < 300; ++camera) {
        const SampleInputs in = randomCamera(rng, camera % 3 != 0);
        const MotionSample s = makeMotionSample(in);
        for (int i = 0; i < 20; ++i) {
            const Query q = randomQuery(rng, in);
            SCOPED_TRACE(describe(in, q));
            const Ray ray = trace(s, q);
            const double e = q.filmX >= 0 ? 1.0 : -1.0;
            const Vec direction = vec(ray.direction);
            EXPECT_NEAR(length(direction), 1.0, 4e-16);
            EXPECT_EQ(vec(ray.filmNormal), vec(s.unitForward));
            // The origin is the eye's point on the lens, never turned.
            const Vec eye = plus(vec(s.position), vec(s.unitRight), e * s.halfEyeDistance);
            const Vec origin =
                plus(plus(eye, vec(s.apertureRight), q.lensX), vec(s.apertureUp), q.lensY);
            expectNear(vec(ray.origin), origin, 1e-13, "origin");
            // Before the turn the ray aims at the film point's spot on the
            // plane of focus; the turn is about the up axis by +-eyeAngle.
            const double x = q.filmX - e * 0.25 * s.filmWidth + s.shiftX;
            const double y = q.filmY + s.shiftY;
            const Vec inFocus =
                plus(plus(plus(eye, vec(s.focusForward)), vec(s.focusRight), x), vec(s.focusUp), y);
            const Vec aim = plus(inFocus, origin, -1.0);
            const Vec expected = turned(aim, vec(s.unitUp), e * s.eyeAngle);
            const double scale = length(expected);
            expectNear(direction, {expected[0] / scale, expected[1] / scale, expected[2] / scale},
                       1e-12, "direction");
            if (s.eyeAngle == 0.0) {
                // The spot in focus lies on the ray, ahead of the origin.
                EXPECT_LE(length(cross(aim, direction)), 1e-12 * length(aim) + 1e-12);
                EXPECT_GT(dot(aim, direction), 0.0);
            }
        }
    }
}

TEST(LensRay, RaysOfOneFilmPointMeetOnThePlaneOfFocus) {
    std::mt19937_64 rng(43);
    for (int camera = 0; camera < 200; ++camera) {
        const SampleInputs in = randomCamera(rng, false);
        const MotionSample s = makeMotionSample(in);
        const Query centre = randomQuery(rng, in);
        const Ray pinhole = trace(s, {centre.filmX, centre.filmY, 0.0, 0.0, 0.0});
        // Where the lens-centre ray reaches the plane of focus.
        const Vec forward = vec(s.unitForward);
        const Vec focusPlanePoint = plus(vec(s.position), vec(s.focusForward));
        const auto onPlane = [&](const Ray &ray) {
            const double t = dot(plus(focusPlanePoint, vec(ray.origin), -1.0), forward) /
                             dot(vec(ray.direction), forward);
            return plus(vec(ray.origin), vec(ray.direction), t);
        };
        const Vec meet = onPlane(pinhole);
        for (int i = 0; i < 10; ++i) {
            Query q = randomQuery(rng, in);
            q.filmX = centre.filmX;
            q.filmY = centre.filmY;
            SCOPED_TRACE(describe(in, q));
            const Vec hit = onPlane(trace(s, q));
            const double tolerance = 1e-10 * (1.0 + length(plus(meet, vec(s.position), -1.0)));
            expectNear(hit, meet, tolerance, "point in focus");
        }
    }
}

TEST(LensRay, WithoutEyeOffsetBothHalvesShowTheSameView) {
    std::mt19937_64 rng(44);
    for (int camera = 0; camera < 200; ++camera) {
        SampleInputs in = randomCamera(rng, false);
        in.stereoDistance = 0.0;
        const MotionSample s = makeMotionSample(in);
        for (int i = 0; i < 10; ++i) {
            Query q = randomQuery(rng, in);
            q.filmX = std::fabs(q.filmX);
            if (q.filmX == s.filmWidth * 0.5) {
                continue;
            }
            SCOPED_TRACE(describe(in, q));
            const Ray right = trace(s, q);
            q.filmX -= s.filmWidth * 0.5;
            const Ray left = trace(s, q);
            expectNear(vec(left.origin), vec(right.origin), 1e-14, "origin");
            expectNear(vec(left.direction), vec(right.direction), 1e-12, "direction");
            EXPECT_EQ(vec(left.filmNormal), vec(right.filmNormal));
        }
    }
}

TEST(LensRay, DirectionWithoutLengthLooksForward) {
    SampleInputs in = levelCamera(0.02, 0.0);
    in.forward[0] = 1.0; // forward (1, 0, 1)/sqrt 2
    for (const double angle : {0.0, 0.2}) {
        SCOPED_TRACE(testing::Message() << "eyeAngle " << angle);
        in.stereoAngle = angle;
        MotionSample s = makeMotionSample(in);
        for (EyeView &view : s.eyeViews) {
            for (double *v : {view.focusRight, view.focusUp, view.focusForward}) {
                v[0] = v[1] = v[2] = 0.0;
            }
        }
        const Ray ray = trace(s, {0.001, 0.002, 0.0, 0.0, 0.0});
        EXPECT_EQ(vec(ray.direction), vec(s.unitForward));
        EXPECT_EQ(vec(ray.origin), (Vec{0.02, 0.0, 0.0}));
    }
}

TEST(LensRay, FallbackTablesGiveFiniteUnitRays) {
    const struct {
        const char *name;
        void (*change)(SampleInputs &);
    } cases[] = {
        {"f-stop 0", [](SampleInputs &in) { in.fStop = 0.0; }},
        {"zoom 0", [](SampleInputs &in) { in.zoomFactor = 0.0; }},
        {"film height 0", [](SampleInputs &in) { in.filmHeight = 0.0; }},
        {"focus distance 0", [](SampleInputs &in) { in.focusDistance = 0.0; }},
        {"axes 0",
         [](SampleInputs &in) {
             for (int j = 0; j < 3; ++j) {
                 in.right[j] = in.up[j] = in.forward[j] = 0.0;
             }
         }},
        {"everything 0", [](SampleInputs &in) { in = SampleInputs{}; }},
    };
    std::mt19937_64 rng(45);
    for (const auto &c : cases) {
        for (int camera = 0; camera < 20; ++camera) {
            SampleInputs in = randomCamera(rng, camera % 2 == 0);
            c.change(in);
            const MotionSample s = makeMotionSample(in);
            for (int i = 0; i < 20; ++i) {
                Query q = randomQuery(rng, levelCamera(0.0, 0.0));
                if (i == 0) {
                    // The centre of the right eye's view, through the lens centre.
                    q = {s.filmWidth * 0.25 - s.shiftX, -s.shiftY, 0.0, 0.0, q.fraction};
                }
                SCOPED_TRACE(std::string(c.name) + "\n" + describe(in, q));
                const Ray ray = trace(s, q);
                for (int j = 0; j < 3; ++j) {
                    EXPECT_TRUE(std::isfinite(ray.origin[j])) << "origin " << j;
                    EXPECT_TRUE(std::isfinite(ray.direction[j])) << "direction " << j;
                    EXPECT_TRUE(std::isfinite(ray.filmNormal[j])) << "film normal " << j;
                }
                EXPECT_NEAR(length(vec(ray.direction)), 1.0, 1e-15);
                // The view's centre still looks into the forward half-space.
                if (i == 0) {
                    EXPECT_GT(dot(vec(ray.direction), vec(s.unitForward)), 0.0);
                }
            }
        }
    }
}

} // namespace
} // namespace brelvix
