// The parallax measurement through the built module, on scenes whose answer
// the geometry of two pinhole eyes gives independently of the lens: walls at
// known distances, a pillar that hides part of a wall from one eye.
#include "tests/parallax/lens_rig.h"
#include "tests/render/render_test_support.h"
#include "tools/parallax/advice.h"
#include "tools/parallax/colour_scale.h"
#include "tools/parallax/parallax_map.h"
#include "tools/parallax/probe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

namespace brelvix::parallax {
namespace {

using render::test::TempDirectory;

using test::kFocalLength;
using test::Rig;
using test::sceneOf;
using test::wall;

TEST(Parallax, ParallelRigPutsInfinityOnTheScreenAndAWallWhereThinLensGeometrySays) {
    // Two pinholes b apart looking the same way see a point at depth z
    // b f / z apart on the film: in front of the screen, the right eye's
    // image to the left. A lens shift moves both eyes' pictures alike.
    const double b = 0.065;
    struct Case {
        double z;
        double hShift;
        double vShift;
    };
    for (const auto &[z, hShift, vShift] :
         {Case{1.5, 0.0, 0.0}, Case{4.0, 0.0, 0.0}, Case{12.0, 0.0, 0.0}, Case{4.0, 0.1, -0.05}}) {
        const Rig rig(b, 0.0, hShift, vShift);
        const ParallaxField field = rig.measure(sceneOf({wall(z, 0.0)}));
        const double expected = -b * kFocalLength / z * rig.pixelsPerFilm();
        int wallPixels = 0;
        int skyPixels = 0;
        for (int y = 0; y < field.height; ++y) {
            for (int x = 0; x < field.width; ++x) {
                const PixelParallax &p = field.at(x, y);
                if (p.seen != Seen::both) {
                    continue;
                }
                if (std::isfinite(p.distance)) {
                    ++wallPixels;
                    EXPECT_NEAR(p.horizontal, expected, 0.01) << z << " at " << x << "," << y;
                } else {
                    ++skyPixels;
                    EXPECT_NEAR(p.horizontal, 0.0, 0.01) << "sky at " << x << "," << y;
                }
                EXPECT_NEAR(p.vertical, 0.0, 0.01);
            }
        }
        EXPECT_GT(wallPixels, 97 * 20);
        EXPECT_GT(skyPixels, 97 * 20);
        EXPECT_EQ(rigShape(rig.eyes()).kind, RigKind::parallel);
    }
}

TEST(Parallax, ConvergedRigPutsItsConvergenceDistanceOnTheScreen) {
    // Eyes b apart, each turned inward by a: their axes cross at
    // (b / 2) / tan(a).
    // A lens shift moves both pictures alike: the axis, and the same
    // parallax, 15 pixels to one side.
    struct Case {
        double b;
        double angle;
        double hShift;
    };
    for (const auto &[b, angle, hShift] :
         {Case{0.065, 0.02, 0.0}, Case{0.03, 0.005, 0.0}, Case{0.065, 0.02, -15.0 / 97.0}}) {
        const Rig rig(b, -angle, hShift);
        const double convergence = 0.5 * b / std::tan(angle);
        const RigShape shape = rigShape(rig.eyes());
        EXPECT_EQ(shape.kind, RigKind::converged);
        const std::optional<double> zero = shape.screenDistance;
        ASSERT_TRUE(zero);
        EXPECT_NEAR(*zero, convergence, 1e-3 * convergence);
        // On the axis, a wall there is on the screen, and one at z is
        // b f (1 / convergence - 1 / z) from it (to the angle's square).
        const int axis = 48 - static_cast<int>(std::lround(hShift * 97.0));
        for (const double z : {convergence, 0.5 * convergence, 2.0 * convergence}) {
            const PixelParallax centre = rig.measure(sceneOf({wall(z)})).at(axis, 32);
            ASSERT_EQ(centre.seen, Seen::both);
            const double expected =
                b * kFocalLength * (1.0 / convergence - 1.0 / z) * rig.pixelsPerFilm();
            EXPECT_NEAR(centre.horizontal, expected, 0.01 + 0.01 * std::abs(expected)) << z;
        }
    }
}

TEST(Parallax, ToeInGivesVerticalParallaxOfOppositeSignsInOppositeCornersAndNoneOnTheAxes) {
    const double b = 0.065;
    const double angle = 0.03;
    const Rig rig(b, -angle);
    const ParallaxField field = rig.measure(sceneOf({wall(0.5 * b / std::tan(angle))}));
    // Corners a few pixels in: at the very corners the keystone moves the
    // point out of the right eye's view.
    const float topLeft = field.at(3, 3).vertical;
    const float topRight = field.at(93, 3).vertical;
    const float bottomLeft = field.at(3, 61).vertical;
    const float bottomRight = field.at(93, 61).vertical;
    for (const auto &[x, y] : {std::pair{3, 3}, {93, 3}, {3, 61}, {93, 61}}) {
        EXPECT_EQ(field.at(x, y).seen, Seen::both);
        EXPECT_GT(std::abs(field.at(x, y).vertical), 0.5F);
    }
    EXPECT_LT(topLeft * topRight, 0.0F);
    EXPECT_LT(topLeft * bottomLeft, 0.0F);
    EXPECT_LT(bottomLeft * bottomRight, 0.0F);
    const float scale = std::abs(topLeft);
    for (int i = 0; i < 97; ++i) {
        EXPECT_LT(std::abs(field.at(i, 32).vertical), 0.02F * scale) << "row at column " << i;
    }
    for (int i = 0; i < 65; ++i) {
        EXPECT_LT(std::abs(field.at(48, i).vertical), 0.02F * scale) << "column at row " << i;
    }
}

TEST(Parallax, PointsHiddenFromTheRightEyeAreMarkedAndLeftOutOfTheFigures) {
    // A pillar 1 m out hides a strip of a wall 20 m out from the right eye:
    // a wall point is hidden when the line from the right eye to it passes
    // through the pillar.
    const double b = 0.2;
    const double h = 0.5 * b;
    const double x0 = -0.05;
    const double x1 = 0.05;
    const double pillar = 1.0;
    const double depth = 0.1;
    const double far = 20.0;
    const Rig rig(b, 0.0);
    const ParallaxField field = rig.measure(
        sceneOf({wall(far), {{x0, -100.0, pillar}, {x1, 100.0, pillar + depth}, {0.5, 0.5, 0.5}}}));
    const double footprint = far / kFocalLength / rig.pixelsPerFilm();
    int hidden = 0;
    int checked = 0;
    for (int x = 0; x < field.width; ++x) {
        // The wall point this column of the left eye sees, if it sees the wall.
        const double wallX = -h + rig.filmX(x) * far / kFocalLength;
        const double atPillar = -h + rig.filmX(x) * pillar / kFocalLength;
        const double pillarMargin = footprint * (pillar + depth) / far;
        if (atPillar > x0 - pillarMargin && atPillar < x1 + pillarMargin) {
            continue;
        }
        // The right eye's line at the pillar's front and back faces.
        const double nearX = h + (wallX - h) * pillar / far;
        const double farX = h + (wallX - h) * (pillar + depth) / far;
        const double low = std::min(nearX, farX);
        const double high = std::max(nearX, farX);
        const double margin = footprint * (pillar + depth) / far;
        if ((high > x0 - margin && high < x0 + margin) ||
            (low > x1 - margin && low < x1 + margin)) {
            continue;
        }
        const bool expected = high >= x0 && low <= x1;
        for (int y = 0; y < field.height; ++y) {
            EXPECT_EQ(field.at(x, y).seen == Seen::hidden, expected) << x << "," << y;
            hidden += expected ? 1 : 0;
            ++checked;
        }
    }
    EXPECT_GT(hidden, 65 * 3);
    EXPECT_GT(checked, 65 * 80);

    // Whatever a hidden pixel holds, the figures do not see it.
    const FrameFigures figures = frameFigures(field, Budget{});
    ParallaxField spoiled = field;
    long marked = 0;
    for (PixelParallax &p : spoiled.pixels) {
        if (p.seen == Seen::hidden) {
            p.horizontal = 1000.0F;
            p.vertical = -1000.0F;
            ++marked;
        }
    }
    const FrameFigures after = frameFigures(spoiled, Budget{});
    EXPECT_EQ(after.hiddenPixels, marked);
    EXPECT_EQ(after.seenPixels + after.hiddenPixels + after.outsidePixels, 97 * 65);
    EXPECT_EQ(after.farthest.percent, figures.farthest.percent);
    EXPECT_EQ(after.vertical.percent, figures.vertical.percent);
    EXPECT_NEAR(after.farthest.pixels, -b * kFocalLength / far * rig.pixelsPerFilm(), 0.01);
}

/// A field of one row whose pixels hold the given parallaxes, all seen.
ParallaxField rowOf(const std::vector<float> &horizontal, const std::vector<float> &vertical) {
    ParallaxField field;
    field.width = static_cast<int>(horizontal.size());
    field.height = 1;
    field.eyeWidth = 100;
    field.eyeHeight = 50;
    for (std::size_t i = 0; i < horizontal.size(); ++i) {
        field.pixels.push_back(
            {horizontal[i], vertical[i], 2.0F + static_cast<float>(i), Seen::both});
    }
    return field;
}

TEST(Parallax, FiguresHoldAFrameToItsBudget) {
    // 100 pixels of an image 100 wide: parallax -2 to +2.95 pixels, so
    // percent and pixels agree; the 1st percentile is the smallest value by
    // nearest rank, the 99th the 99th smallest.
    std::vector<float> horizontal;
    std::vector<float> vertical(100, 0.0F);
    for (int i = 0; i < 100; ++i) {
        horizontal.push_back(-2.0F + 0.05F * static_cast<float>(i));
    }
    vertical[37] = vertical[38] = -0.15F;
    vertical[39] = 0.1F;
    // Limits between the values, clear of their rounding.
    Budget budget{-1.01, 2.01, 2.0, 0.2}; // divergence at 3.25 %
    FrameFigures f = frameFigures(rowOf(horizontal, vertical), budget);
    EXPECT_EQ(f.seenPixels, 100);
    EXPECT_FLOAT_EQ(f.nearest.percent, -2.0);
    EXPECT_EQ(f.nearest.place.x, 0);
    EXPECT_FLOAT_EQ(f.farthest.percent, 2.95);
    EXPECT_EQ(f.farthest.place.x, 99);
    EXPECT_FLOAT_EQ(f.nearPercentile.percent, -2.0);
    EXPECT_FLOAT_EQ(f.farPercentile.percent, 2.9);
    EXPECT_EQ(f.farPercentile.place.distance, 2.0 + 98);
    EXPECT_EQ(f.vertical.place.x, 37);
    EXPECT_FLOAT_EQ(f.vertical.percent, -0.3); // of the height, 50
    // Below -1.01: 20 pixels; above +2.01: 19.
    EXPECT_NEAR(f.outsideBudgetShare, 0.39, 1e-9);
    EXPECT_FALSE(f.diverges);
    EXPECT_TRUE(f.overBudget);

    // A 9.5 m screen puts divergence at 0.68 %: far more pixels are over.
    budget.screenWidth = 9.5;
    f = frameFigures(rowOf(horizontal, vertical), budget);
    EXPECT_TRUE(f.diverges);
    EXPECT_NEAR(f.outsideBudgetShare, (20.0 + 46.0) / 100.0, 1e-9);

    // Within a wide budget, vertical alone is over when above its limit.
    budget = Budget{-3.0, 3.0, 1.0, 0.5};
    EXPECT_FALSE(frameFigures(rowOf(horizontal, vertical), budget).overBudget);
    budget.verticalPercent = 0.25;
    EXPECT_TRUE(frameFigures(rowOf(horizontal, vertical), budget).overBudget);
}

TEST(Parallax, DistanceRangeSolvesTheLinesAgainstTheBudget) {
    // An image 100 pixels wide, so that pixels are percent; budget -1 to
    // +2 % on a 1 m screen (divergence 6.5 %).
    constexpr double kInf = std::numeric_limits<double>::infinity();
    struct Case {
        const char *name;
        std::vector<ParallaxLine> lines;
        double percentile;
        std::optional<DistanceInterval> expected;
    };
    std::vector<ParallaxLine> oneStray(99, ParallaxLine{0.0, 0.0});
    oneStray.push_back({0.0, -1.0});
    const std::vector<Case> cases{
        {"parallel: the near side ends it", {{0.0, -0.1}, {0.5, 0.05}}, 0.0, {{0.0, 10.0}}},
        {"converged: the far side ends it", {{1.5, -0.1}, {1.8, 0.05}}, 0.0, {{0.0, 4.0}}},
        {"the angle alone over: a lower end", {{2.5, -0.1}}, 0.0, {{5.0, 35.0}}},
        {"too near whatever the distance", {{-2.0, 0.0}, {0.0, 0.1}}, 0.0, std::nullopt},
        {"sky only: any", {{0.5, 0.0}, {1.0, 0.0}}, 0.0, {{0.0, kInf}}},
        {"one pixel in a hundred counts at the 1st percentile", oneStray, 1.0, {{0.0, 1.0}}},
        {"and not at the 2nd", oneStray, 2.0, {{0.0, kInf}}},
    };
    for (const Case &c : cases) {
        Budget budget;
        budget.screenWidth = 1.0;
        budget.percentile = c.percentile;
        const std::optional<DistanceInterval> range = solveDistanceRange(c.lines, 100, budget, 1.0);
        ASSERT_EQ(range.has_value(), c.expected.has_value()) << c.name;
        if (range) {
            EXPECT_NEAR(range->low, c.expected->low, 1e-9) << c.name;
            EXPECT_EQ(std::isfinite(range->high), std::isfinite(c.expected->high)) << c.name;
            if (std::isfinite(c.expected->high)) {
                EXPECT_NEAR(range->high, c.expected->high, 1e-9) << c.name;
            }
        }
    }
}

TEST(Parallax, MapColoursFollowTheScalePastTheBudgetToo) {
    // A wall at the depth of a chosen parallax: half the near limit takes
    // the front side's middle colour; half a limit past it the colour half
    // way from the full one to the darkest, and yellow on the stripes that
    // mark pixels over. The view's shading scales all three components.
    struct Case {
        double percent;
        int row;
        Colour colour;
    };
    const Budget budget;
    // Row 32 of column 48 lies between stripes, row 36 on one.
    for (const Case &c : {Case{0.5 * budget.nearPercent, 32, {0.57, 0.77, 0.87}},
                          Case{1.5 * budget.nearPercent, 32, {0.075, 0.25, 0.46}},
                          Case{1.5 * budget.nearPercent, 36, kWarningColour}}) {
        const double b = 0.065;
        const Rig rig(b, 0.0);
        const double pixels = -c.percent / 100.0 * 97.0;
        const double z = b * kFocalLength * rig.pixelsPerFilm() / pixels;
        const ParallaxField field = rig.measure(sceneOf({wall(z)}), true);
        const FrameFigures figures = frameFigures(field, budget);
        ASSERT_NEAR(figures.nearPercentile.percent, c.percent, 1e-3);
        const TempDirectory directory;
        const std::string path = directory.file("map.png");
        std::FILE *const file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::string error;
        EXPECT_TRUE(writeParallaxMap(file, field, figures, budget, "test", error)) << error;
        std::fclose(file);
        const render::DisplayImage image = render::test::readPng(path);
        ASSERT_GT(image.width, kMapLeft + 48);
        const std::size_t at =
            3 * (static_cast<std::size_t>(kMapTop + c.row) * static_cast<std::size_t>(image.width) +
                 kMapLeft + 48);
        const double r = image.rgb[at];
        const double g = image.rgb[at + 1];
        const double bl = image.rgb[at + 2];
        const double largest = std::max({r, g, bl});
        const double expectedLargest = std::max({c.colour.r, c.colour.g, c.colour.b});
        ASSERT_GT(largest, 40.0);
        EXPECT_NEAR(r / largest, c.colour.r / expectedLargest, 0.04) << c.percent << " " << c.row;
        EXPECT_NEAR(g / largest, c.colour.g / expectedLargest, 0.04) << c.percent << " " << c.row;
        EXPECT_NEAR(bl / largest, c.colour.b / expectedLargest, 0.04) << c.percent << " " << c.row;
    }
}

} // namespace
} // namespace brelvix::parallax
