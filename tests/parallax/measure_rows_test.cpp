// The field is measured a row at a time, its rays traced in batches; each
// pixel must still get its own ray's answer, as measurePixel gives it for
// that pixel alone, wherever a row mixes the sky, hidden and unseen pixels,
// on the centre row (whose rays lie on the film's axis), and when a stride
// leaves a partial step at the row's end.
#include "tests/parallax/lens_rig.h"

#include <gtest/gtest.h>

#include <cmath>

namespace brelvix::parallax {
namespace {

using test::Rig;
using test::sceneOf;
using test::wall;

TEST(MeasureRows, EachPixelGetsWhatItsOwnRaysGiveAlone) {
    // A wall 4 m out up to below the eyes, the sky above it, and a pillar 1 m
    // out that hides a strip of the wall from the right eye.
    const render::Scene scene =
        sceneOf({wall(4.0, -0.2), {{-0.05, -100.0, 1.0}, {0.05, 100.0, 1.2}, {0.6, 0.4, 0.3}}});
    const Rig rig(0.065, 0.0);
    const EyeRays eyes = rig.eyes();
    for (const int stride : {1, 3}) {
        const ParallaxField field = rig.measure(scene, true, stride);
        // 97 columns: a stride of 3 ends on a lone column.
        ASSERT_EQ(field.width, (97 + stride - 1) / stride);
        int counts[3] = {};
        int sky = 0;
        for (int y = 0; y < field.height; ++y) {
            for (int x = 0; x < field.width; ++x) {
                const PixelParallax &batch = field.at(x, y);
                const double px = x * stride + 0.5;
                const double py = y * stride + 0.5;
                // Started where the row's search ended (or afresh where it
                // found nothing), so that both settle on the same spot.
                FilmPosition guess =
                    batch.seen == Seen::outside
                        ? eyes.film(Eye::right, px, py)
                        : eyes.film(Eye::right, px + batch.horizontal, py + batch.vertical);
                render::Rgb colour;
                const PixelParallax alone =
                    measurePixel(eyes, scene, Eye::left, px, py, guess, &colour);
                const std::string where =
                    std::to_string(stride) + ": " + std::to_string(x) + "," + std::to_string(y);
                ASSERT_EQ(batch.seen, alone.seen) << where;
                EXPECT_EQ(batch.distance, alone.distance) << where;
                EXPECT_EQ(field.light[static_cast<std::size_t>(y * field.width + x)],
                          brightness(colour))
                    << where;
                if (batch.seen != Seen::outside) {
                    EXPECT_NEAR(batch.horizontal, alone.horizontal, 0.01) << where;
                    EXPECT_NEAR(batch.vertical, alone.vertical, 0.01) << where;
                }
                ++counts[static_cast<int>(batch.seen)];
                sky += std::isinf(batch.distance) ? 1 : 0;
            }
        }
        // Every kind of pixel is there to be mixed up.
        EXPECT_GT(counts[static_cast<int>(Seen::both)], field.width * field.height / 4);
        EXPECT_GT(counts[static_cast<int>(Seen::hidden)], field.height);
        EXPECT_GT(counts[static_cast<int>(Seen::outside)], field.height / 4);
        EXPECT_GT(sky, field.width * field.height / 4);
    }
}

} // namespace
} // namespace brelvix::parallax
