// The depth check against two pinhole eyes: each eye a point and a flat
// film, turned inward by the eye angle, the scene's boxes intersected by
// plain ray-box arithmetic. Nothing here goes through the lens; the check
// goes through nothing else.
#include "tests/parallax/lens_rig.h"
#include "tools/parallax/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace brelvix::parallax {
namespace {

using render::Vec3;
using test::kFocalLength;
using test::Rig;
using test::RigSettings;
using test::sceneOf;
using test::wall;

constexpr double kNone = std::numeric_limits<double>::infinity();

/// One pinhole eye with its film `width` by `height` pixels.
struct Pinhole {
    Vec3 origin;
    Vec3 right;
    Vec3 forward;
    double focalPixels = 0.0;
    int width = 0;
    int height = 0;

    Vec3 direction(double u, double v) const {
        const Vec3 d = right * (u - 0.5 * width) + Vec3{0.0, 1.0, 0.0} * (0.5 * height - v) +
                       forward * focalPixels;
        return d * (1.0 / length(d));
    }
    /// The film position (u, v) of a point, or of a direction at infinity.
    std::optional<std::pair<double, double>> project(Vec3 p, bool atInfinity) const {
        const Vec3 d = atInfinity ? p : p - origin;
        const double z = dot(d, forward);
        if (!(z > 0.0)) {
            return std::nullopt;
        }
        return std::pair{0.5 * width + focalPixels * dot(d, right) / z,
                         0.5 * height - focalPixels * d.y / z};
    }
    bool inView(const std::pair<double, double> &uv) const {
        return uv.first >= 0.0 && uv.first <= width && uv.second >= 0.0 && uv.second <= height;
    }
};

struct TwoEyes {
    Pinhole left;
    Pinhole right;
};

/// Eyes b apart, each turned inward by -stereoAngle (the lens's sign).
TwoEyes eyesOf(const RigSettings &rig) {
    const double in = -rig.eyeAngle;
    const double focal = kFocalLength * rig.height / 0.024;
    const Pinhole left{{-0.5 * rig.eyeDistance, 0.0, 0.0},
                       {std::cos(in), 0.0, -std::sin(in)},
                       {std::sin(in), 0.0, std::cos(in)},
                       focal,
                       rig.eyeWidth,
                       rig.height};
    Pinhole right = left;
    right.origin.x = -right.origin.x;
    right.right.z = -right.right.z;
    right.forward.x = -right.forward.x;
    return {left, right};
}

/// The nearest hit of a ray with the boxes; infinite for none.
double hit(const std::vector<render::Box> &boxes, Vec3 origin, Vec3 direction) {
    double nearest = kNone;
    for (const render::Box &box : boxes) {
        double t0 = 0.0;
        double t1 = kNone;
        for (int axis = 0; axis < 3; ++axis) {
            const double o = axis == 0 ? origin.x : axis == 1 ? origin.y : origin.z;
            const double d = axis == 0 ? direction.x : axis == 1 ? direction.y : direction.z;
            const double lo = axis == 0 ? box.low.x : axis == 1 ? box.low.y : box.low.z;
            const double hi = axis == 0 ? box.high.x : axis == 1 ? box.high.y : box.high.z;
            const double a = (lo - o) / d;
            const double b = (hi - o) / d;
            t0 = std::max(t0, std::min(a, b));
            t1 = std::min(t1, std::max(a, b));
        }
        if (t0 <= t1) {
            nearest = std::min(nearest, t0);
        }
    }
    return nearest;
}

/// The model's measurement of one pixel of `from`, found in `to`; parallax
/// right minus left.
PixelParallax modelPixel(const TwoEyes &eyes, const std::vector<render::Box> &boxes, bool fromLeft,
                         double u, double v) {
    const Pinhole &from = fromLeft ? eyes.left : eyes.right;
    const Pinhole &to = fromLeft ? eyes.right : eyes.left;
    const Vec3 d = from.direction(u, v);
    const double t = hit(boxes, from.origin, d);
    const bool sky = !std::isfinite(t);
    const Vec3 point = sky ? d : from.origin + d * t;
    PixelParallax p;
    p.distance = static_cast<float>(t);
    const auto uv = to.project(point, sky);
    if (!uv || !to.inView(*uv)) {
        p.seen = Seen::outside;
        return p;
    }
    const Vec3 back = sky ? d : point - to.origin;
    const double reach = hit(boxes, to.origin, back * (1.0 / length(back)));
    p.seen =
        sky ? (std::isfinite(reach) ? Seen::hidden : Seen::both)
            : (std::abs(reach - length(back)) < 1e-6 * length(back) ? Seen::both : Seen::hidden);
    const double sign = fromLeft ? 1.0 : -1.0;
    p.horizontal = static_cast<float>(sign * (uv->first - u));
    p.vertical = static_cast<float>(sign * (uv->second - v));
    return p;
}

/// The model's whole field, edges included.
ParallaxField modelField(const RigSettings &rig, const std::vector<render::Box> &boxes) {
    const TwoEyes eyes = eyesOf(rig);
    ParallaxField field;
    field.width = field.eyeWidth = rig.eyeWidth;
    field.height = field.eyeHeight = rig.height;
    for (int y = 0; y < rig.height; ++y) {
        for (int x = 0; x < rig.eyeWidth; ++x) {
            field.pixels.push_back(modelPixel(eyes, boxes, true, x + 0.5, y + 0.5));
        }
        field.leftEdge.push_back(modelPixel(eyes, boxes, false, 0.5, y + 0.5));
        field.rightEdge.push_back(modelPixel(eyes, boxes, true, rig.eyeWidth - 0.5, y + 0.5));
    }
    return field;
}

FrameFigures modelFigures(RigSettings rig, const std::vector<render::Box> &boxes,
                          const Budget &budget, double eyeDistance, double eyeAngle) {
    rig.eyeDistance = eyeDistance;
    rig.eyeAngle = eyeAngle;
    return frameFigures(modelField(rig, boxes), budget);
}

/// The example of a converged rig: a wall 10 m out, a box 2.5 m out in
/// front of its lower middle.
const RigSettings kConverged{0.1, -0.004, 0.0, 0.0, 120, 80};
const std::vector<render::Box> kWallAndBox{wall(10.0),
                                           {{-0.3, -0.6, 2.5}, {0.4, -0.1, 2.9}, {0.5, 0.5, 0.5}}};

TEST(ParallaxGeometry, EachPixelAgreesWithTwoPinholes) {
    const Rig rig(kConverged);
    const ParallaxField measured = rig.measure(sceneOf(kWallAndBox));
    const ParallaxField model = modelField(kConverged, kWallAndBox);
    // Pixels next to a change of surface or of what the right eye sees may
    // go either way by a rounding of the film position: left out.
    const auto steady = [&](int x, int y) {
        const PixelParallax &m = model.at(x, y);
        for (const auto &[dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
            const int nx = std::clamp(x + dx, 0, model.width - 1);
            const int ny = std::clamp(y + dy, 0, model.height - 1);
            const PixelParallax &n = model.at(nx, ny);
            if (n.seen != m.seen || std::abs(n.horizontal - m.horizontal) > 0.3F) {
                return false;
            }
        }
        return true;
    };
    int compared = 0;
    for (std::size_t i = 0; i < model.pixels.size(); ++i) {
        const int x = static_cast<int>(i % 120);
        const int y = static_cast<int>(i / 120);
        const PixelParallax &m = model.pixels[i];
        const PixelParallax &p = measured.pixels[i];
        if (!steady(x, y)) {
            continue;
        }
        ++compared;
        ASSERT_EQ(p.seen, m.seen) << i;
        if (m.seen == Seen::both) {
            EXPECT_NEAR(p.horizontal, m.horizontal, 0.01) << i;
            EXPECT_NEAR(p.vertical, m.vertical, 0.01) << i;
        }
    }
    EXPECT_GT(compared, 120 * 80 * 90 / 100);
    EXPECT_EQ(measured.leftEdge.size(), 80U);
}

TEST(ParallaxGeometry, ConvergedRangeEndsAreWhereTwoPinholesCrossTheBudget) {
    const Budget budget;
    const Rig rig(kConverged);
    const FrameReport report = rig.check(sceneOf(kWallAndBox), budget);
    ASSERT_EQ(report.rig.kind, RigKind::converged);
    EXPECT_NEAR(*report.rig.screenDistance, 0.05 / std::tan(0.004), 1e-3 * 12.5);
    EXPECT_TRUE(report.figures.overBudget) << "at 0.1 the box is too near";
    ASSERT_EQ(report.distance.kind, DistanceAdvice::Kind::range);
    ASSERT_TRUE(report.distance.high);
    const Measured &high = *report.distance.high;
    EXPECT_TRUE(horizontalWithin(high.figures, budget));
    EXPECT_TRUE(horizontalWithin(
        modelFigures(kConverged, kWallAndBox, budget, high.value, kConverged.eyeAngle), budget));
    EXPECT_FALSE(horizontalWithin(
        modelFigures(kConverged, kWallAndBox, budget, 1.02 * high.value, kConverged.eyeAngle),
        budget))
        << high.value;
    EXPECT_NEAR(high.figures.nearPercentile.percent,
                modelFigures(kConverged, kWallAndBox, budget, high.value, kConverged.eyeAngle)
                    .nearPercentile.percent,
                0.01);
    // Where the angle alone would put infinity over, the range still starts
    // where the model's far side comes within, or at 0.
    if (report.distance.low) {
        EXPECT_TRUE(horizontalWithin(report.distance.low->figures, budget));
        EXPECT_FALSE(
            horizontalWithin(modelFigures(kConverged, kWallAndBox, budget,
                                          0.98 * report.distance.low->value, kConverged.eyeAngle),
                             budget));
    }

    // The angle advised centres the model's depth in the budget, and its
    // screen plane is where the two axes cross.
    ASSERT_TRUE(report.angle);
    const double angle = report.angle->angle.value;
    const FrameFigures centred =
        modelFigures(kConverged, kWallAndBox, budget, kConverged.eyeDistance, angle);
    // The advice measures every other pixel: to a few hundredths of a percent.
    EXPECT_NEAR(depthCentre(centred), budgetCentre(budget), 0.05) << angle;
    if (angle < 0.0) {
        ASSERT_TRUE(report.angle->rig.screenDistance);
        const double crossing = 0.05 / std::tan(-angle);
        EXPECT_NEAR(*report.angle->rig.screenDistance, crossing, 1e-3 * crossing);
    }
}

TEST(ParallaxGeometry, WindowViolationsAtEitherEdgeMirrorEachOther) {
    // Converged at 12.5 m: the wall behind the screen, a box 2 m out in
    // front of it, cut by the left edge, then its mirror image by the right.
    const RigSettings settings{0.065, -0.0026, 0.0, 0.0, 120, 80};
    long counts[2][2] = {};
    for (const int side : {-1, 1}) {
        const double inner = side * 0.3;
        const double outer = side * 3.0;
        const std::vector<render::Box> boxes{
            wall(12.0),
            {{std::min(inner, outer), -0.2, 2.0}, {std::max(inner, outer), 0.2, 2.4}, {}}};
        const FrameFigures model = frameFigures(modelField(settings, boxes), Budget{});
        const FrameFigures measured = Rig(settings).check(sceneOf(boxes)).figures;
        EXPECT_EQ(measured.windowLeft, model.windowLeft) << side;
        EXPECT_EQ(measured.windowRight, model.windowRight) << side;
        counts[side > 0][0] = measured.windowLeft;
        counts[side > 0][1] = measured.windowRight;
    }
    EXPECT_GT(counts[0][0], 5);
    EXPECT_EQ(counts[0][1], 0);
    EXPECT_EQ(counts[1][1], counts[0][0]);
    EXPECT_EQ(counts[1][0], 0);
}

TEST(ParallaxGeometry, RigsAndFramesOfKnownShape) {
    // Parallel eyes and a wall at -0.524 px: the left eye's first column is
    // outside the right eye's view, however little.
    const RigSettings parallel{0.065, 0.0, 0.0, 0.0, 120, 80};
    const double focalPixels = kFocalLength * 80 / 0.024;
    const double z = 0.065 * focalPixels / 0.524;
    const FrameReport flat = Rig(parallel).check(sceneOf({wall(z)}));
    EXPECT_EQ(flat.rig.kind, RigKind::parallel);
    EXPECT_FALSE(flat.rig.screenDistance);
    EXPECT_NEAR(flat.figures.farthest.pixels, -0.524, 0.002);
    EXPECT_EQ(flat.figures.outsidePixels, 80);
    EXPECT_EQ(flat.figures.outsidePixels,
              frameFigures(modelField(parallel, {wall(z)}), Budget{}).outsidePixels);

    // The sky alone constrains no eye distance.
    const FrameReport sky = Rig(parallel).check(sceneOf({}));
    EXPECT_EQ(sky.distance.kind, DistanceAdvice::Kind::any);
    EXPECT_EQ(sky.figures.seenPixels, 120 * 80);

    // Eyes turned apart: infinity in front of the screen, and no plane.
    RigSettings apart = parallel;
    apart.eyeAngle = 0.004;
    const FrameReport diverged = Rig(apart).check(sceneOf({wall(20.0)}));
    EXPECT_EQ(diverged.rig.kind, RigKind::diverged);
    EXPECT_FALSE(diverged.rig.screenDistance);
    EXPECT_LT(frameFigures(modelField(apart, {}), Budget{}).farthest.pixels, 0.0);
}

} // namespace
} // namespace brelvix::parallax
