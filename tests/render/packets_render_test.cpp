// The film traced in packets against the same film traced one ray at a time:
// the built-in scene and scene files with meshes, motion blur and depth of
// field on, for each packet width. The two differ only where Embree's packet
// and single-ray code round differently, so the images agree far within
// the sampling noise, and the packets were really used.
#include "tests/render/render_test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace brelvix::render::test {
namespace {

/// Mean absolute difference of each colour channel over the image.
std::array<double, 3> meanDifference(const Image &a, const Image &b) {
    std::array<double, 3> sum{};
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        const Vec3 d = a.pixels[i] - b.pixels[i];
        sum[0] += std::abs(d.x);
        sum[1] += std::abs(d.y);
        sum[2] += std::abs(d.z);
    }
    for (double &channel : sum) {
        channel /= static_cast<double>(a.pixels.size());
    }
    return sum;
}

double meanBrightness(const Image &image) {
    double sum = 0.0;
    for (const Rgb &p : image.pixels) {
        sum += p.x + p.y + p.z;
    }
    return sum / (3.0 * static_cast<double>(image.pixels.size()));
}

RenderResult renderWith(RenderOptions options, bool singleRays) {
    options.singleRays = singleRays;
    RenderResult result;
    std::string error;
    EXPECT_TRUE(renderScene(options, result, error)) << error;
    return result;
}

TEST(PacketRender, MatchesSingleRaysWithinTheSamplingNoise) {
    struct Case {
        std::string scene;
        std::string isa;
    };
    const std::string models = "/usr/share/assimp/models/";
    const Case cases[] = {
        {"", ""},
        {"", "sse2"},
        {"", "avx2"},
        {models + "LWS/move_xz_spline.lws", ""},
        {models + "glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.scene + " isa " + c.isa);
        RenderOptions options = smallOptions();
        options.film.width = 96;
        options.film.height = 42; // not a whole number of tiles
        options.film.samplesPerPixel = 8;
        options.film.motionSteps = 2;
        options.film.depthOfField = true;
        options.scenePath = c.scene;
        options.isa = c.isa;
        options.frame = 3;
        if (c.scene.empty()) {
            options.move = {0.3, 0.0, 0.2};
        }
        const RenderResult packets = renderWith(options, false);
        const RenderResult single = renderWith(options, true);
        ASSERT_EQ(packets.film.pixels.size(), single.film.pixels.size());
        EXPECT_EQ(packets.stats.packetRays, packets.stats.rays);
        EXPECT_EQ(single.stats.packetRays, 0u);
        EXPECT_GT(meanBrightness(single.film), 0.05) << "the view shows something";
        for (const double channel : meanDifference(packets.film, single.film)) {
            EXPECT_LT(channel, 2e-3);
        }
        // Depths agree where both see a surface.
        for (std::size_t i = 0; i < single.film.depth.size(); ++i) {
            const float a = packets.film.depth[i];
            const float b = single.film.depth[i];
            EXPECT_TRUE(std::isinf(a) == std::isinf(b) || std::abs(a - b) < 1e-3f * b)
                << "pixel " << i;
        }
    }
}

/// A lens whose ray carries its arguments: the film point in the origin, the
/// lens point and the shutter fraction in the direction.
int echoLens(void *, double filmX, double filmY, double lensX, double lensY, double fraction,
             CameraRay *ray) {
    *ray = CameraRay{};
    ray->origin[0] = filmX;
    ray->origin[1] = filmY;
    ray->direction[0] = lensX;
    ray->direction[1] = lensY;
    ray->direction[2] = fraction;
    return 1;
}

TEST(PacketRender, EveryPixelGetsItsOwnSamplesWhateverTheTiling) {
    // Through tiles, partial tiles and the two eyes' twin tiles, each pixel
    // is the mean of what its own samples give, to the bit, and each ray
    // carries its sample's shutter time.
    for (const auto &[width, height] : {std::pair{64, 24}, {62, 23}, {8, 1}, {9, 5}}) {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        FilmSettings settings;
        settings.width = width;
        settings.height = height;
        settings.samplesPerPixel = 5;
        settings.motionSteps = 2;
        const RayShader echo = [&settings](const Ray &ray) {
            EXPECT_EQ(ray.time, shutterTime(settings.motionSteps, ray.direction.z));
            return ShadedRay(Rgb{ray.origin.x + ray.direction.z, ray.origin.y, ray.direction.x},
                             ray.direction.y);
        };
        RenderStats stats;
        const Image image = renderFilm(settings, LensRays{echoLens, nullptr}, echo, 2, {}, &stats);
        EXPECT_EQ(stats.rays, static_cast<uint64_t>(width * height * 5));
        std::vector<FilmSample> samples;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                pixelSamples(settings, x, y, samples);
                Rgb sum{};
                double nearest = INFINITY;
                for (const FilmSample &s : samples) {
                    sum = sum + Rgb{s.filmX + s.shutterFraction, s.filmY, s.lensX};
                    nearest = std::min(nearest, s.lensY);
                }
                ASSERT_EQ(image.at(x, y), sum * (1.0 / static_cast<double>(samples.size())))
                    << x << ", " << y;
                ASSERT_EQ(image.depth[static_cast<std::size_t>(y * width + x)],
                          static_cast<float>(nearest));
            }
        }
    }
}

} // namespace
} // namespace brelvix::render::test
