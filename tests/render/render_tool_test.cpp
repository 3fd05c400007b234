// The preview renderer through its own functions and the built module file:
// the sampling pattern, the camera set-up, what the two eyes see through the
// lens, motion over the shutter, the red/cyan composite and the scene traced.
#include "tests/render/render_test_support.h"
#include "tools/cli/options.h"
#include "tools/render/camera_placement.h"
#include "tools/render/display_image.h"
#include "tools/render/render_tool.h"
#include "tools/render/traced_scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace brelvix::render {
namespace {

using namespace test;

// --- sampling ---------------------------------------------------------------

TEST(FilmSamples, StayInTheirPixelAndShareTheShutterRecordsEqually) {
    std::mt19937 random(7);
    for (int trial = 0; trial < 200; ++trial) {
        FilmSettings settings;
        settings.width = 2 * static_cast<int>(1 + random() % 50);
        settings.height = static_cast<int>(1 + random() % 50);
        settings.samplesPerPixel = static_cast<int>(1 + random() % 40);
        settings.seed = random();
        settings.motionSteps = static_cast<int>(random() % 4);
        const int px = static_cast<int>(random() % static_cast<unsigned>(settings.width));
        const int py = static_cast<int>(random() % static_cast<unsigned>(settings.height));
        SCOPED_TRACE(testing::Message() << "size " << settings.width << "x" << settings.height
                                        << " spp " << settings.samplesPerPixel << " steps "
                                        << settings.motionSteps << " pixel " << px << "," << py);
        std::vector<FilmSample> samples;
        pixelSamples(settings, px, py, samples);
        ASSERT_EQ(samples.size(), static_cast<std::size_t>(settings.samplesPerPixel));

        const double pixelWidth = settings.filmWidth / settings.width;
        const double pixelHeight = settings.filmHeight / settings.height;
        const double left = (static_cast<double>(px) / settings.width - 0.5) * settings.filmWidth;
        const double top = (0.5 - static_cast<double>(py) / settings.height) * settings.filmHeight;
        // The lens uses the record at or below fraction x intervals.
        const int intervals = 4 * settings.motionSteps;
        std::vector<int> shareOfRecord(static_cast<std::size_t>(intervals) + 1, 0);
        for (const FilmSample &sample : samples) {
            EXPECT_GE(sample.filmX, left - 1e-15);
            EXPECT_LE(sample.filmX, left + pixelWidth + 1e-15);
            EXPECT_LE(sample.filmY, top + 1e-15);
            EXPECT_GE(sample.filmY, top - pixelHeight - 1e-15);
            EXPECT_LE(std::hypot(sample.lensX, sample.lensY), 1.0 + 1e-12);
            ASSERT_GE(sample.shutterFraction, 0.0);
            ASSERT_LE(sample.shutterFraction, 1.0);
            const auto record = static_cast<std::size_t>(sample.shutterFraction * intervals);
            EXPECT_EQ(sample.shutterFraction,
                      recordFraction(settings.motionSteps, static_cast<int>(record)));
            // Moving objects are met where the shutter's times place them:
            // at the record's own time, not within its interval.
            EXPECT_EQ(shutterTime(settings.motionSteps, sample.shutterFraction),
                      intervals > 0 ? static_cast<double>(record) / intervals : 0.0);
            ++shareOfRecord[record];
        }
        // Every record, the last included, an equal share give or take the
        // strata that straddle two records.
        const double share = static_cast<double>(samples.size()) / (intervals + 1);
        for (std::size_t r = 0; r < shareOfRecord.size(); ++r) {
            EXPECT_LT(std::abs(shareOfRecord[r] - share), 2.0) << "record " << r;
        }

        // The same pixel draws the same samples; the other eye's pixel at the
        // same place in its half draws the same pattern, half a film over.
        std::vector<FilmSample> again, otherEye;
        pixelSamples(settings, px, py, again);
        const int half = settings.width / 2;
        pixelSamples(settings, px < half ? px + half : px - half, py, otherEye);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            EXPECT_EQ(again[i].filmX, samples[i].filmX);
            EXPECT_EQ(again[i].lensX, samples[i].lensX);
            EXPECT_EQ(again[i].shutterFraction, samples[i].shutterFraction);
            EXPECT_NEAR(std::abs(otherEye[i].filmX - samples[i].filmX), settings.filmWidth / 2,
                        1e-15);
            EXPECT_EQ(otherEye[i].filmY, samples[i].filmY);
            EXPECT_EQ(otherEye[i].lensY, samples[i].lensY);
        }
    }
}

TEST(FilmSamples, LensGridCoversTheDiscAndDepthOfFieldOffCentresIt) {
    FilmSettings settings;
    settings.samplesPerPixel = 64;
    std::vector<FilmSample> samples;
    pixelSamples(settings, 3, 5, samples);
    // An 8 x 8 grid over the disc puts samples in all four quadrants, some
    // near the rim.
    int quadrants[4] = {};
    double outermost = 0.0;
    for (const FilmSample &sample : samples) {
        ++quadrants[(sample.lensX >= 0.0 ? 1 : 0) + (sample.lensY >= 0.0 ? 2 : 0)];
        outermost = std::max(outermost, std::hypot(sample.lensX, sample.lensY));
    }
    for (const int count : quadrants) {
        EXPECT_EQ(count, 16);
    }
    EXPECT_GT(outermost, 0.85);

    settings.depthOfField = false;
    pixelSamples(settings, 3, 5, samples);
    for (const FilmSample &sample : samples) {
        EXPECT_EQ(sample.lensX, 0.0);
        EXPECT_EQ(sample.lensY, 0.0);
    }
}

TEST(FilmSamples, ConcentricMapKeepsCentreAndRim) {
    double x = 1.0, y = 1.0;
    squareToDisc(0.5, 0.5, x, y);
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(y, 0.0);
    for (const auto &[u, v] :
         {std::pair{0.0, 0.0}, {1.0, 0.0}, {0.0, 1.0}, {1.0, 1.0}, {1.0, 0.3}, {0.7, 0.0}}) {
        squareToDisc(u, v, x, y);
        EXPECT_NEAR(std::hypot(x, y), 1.0, 1e-12) << u << "," << v;
    }
    // The map's own sines and cosines agree with the library's to the last
    // bits over the whole square: radius r at angle pi/4 b/a in the left and
    // right quarters, pi/2 - pi/4 a/b in the top and bottom ones.
    for (int i = 0; i <= 40; ++i) {
        for (int j = 0; j <= 40; ++j) {
            const double u = i / 40.0, v = j / 40.0;
            const double a = 2.0 * u - 1.0, b = 2.0 * v - 1.0;
            if (a == 0.0 && b == 0.0) {
                continue;
            }
            const bool sideways = std::abs(a) > std::abs(b);
            const double r = sideways ? a : b;
            const double angle = sideways
                                     ? std::numbers::pi / 4.0 * (b / a)
                                     : std::numbers::pi / 2.0 - std::numbers::pi / 4.0 * (a / b);
            squareToDisc(u, v, x, y);
            EXPECT_NEAR(x, r * std::cos(angle), 4e-16) << u << "," << v;
            EXPECT_NEAR(y, r * std::sin(angle), 4e-16) << u << "," << v;
        }
    }
}

// --- camera set-up ----------------------------------------------------------

TEST(PlaceCamera, LooksAtTheTargetAndMovesOverTheShutter) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> coordinate(-5.0, 5.0);
    for (int trial = 0; trial < 100; ++trial) {
        RenderOptions options;
        options.position = {coordinate(random), coordinate(random), coordinate(random)};
        options.target = {coordinate(random), coordinate(random), coordinate(random)};
        options.move = {coordinate(random), coordinate(random), coordinate(random)};
        options.frameStart = coordinate(random);
        options.frameDuration = 0.5;
        SCOPED_TRACE(testing::Message()
                     << "position " << options.position.x << "," << options.position.y << ","
                     << options.position.z << " target " << options.target.x << ","
                     << options.target.y << "," << options.target.z);
        standin::CameraItem camera;
        placeCamera(camera, options);

        double right[3], up[3], forward[3];
        camera.axes(options.frameStart, right, up, forward);
        const Vec3 view = normalize(options.target - options.position);
        EXPECT_NEAR(forward[0], view.x, 1e-12);
        EXPECT_NEAR(forward[1], view.y, 1e-12);
        EXPECT_NEAR(forward[2], view.z, 1e-12);
        EXPECT_NEAR(right[1], 0.0, 1e-12); // no bank: the right axis stays level
        EXPECT_GT(up[1], 0.0);
        EXPECT_NEAR(camera.focalDistance.at(options.frameStart),
                    length(options.target - options.position), 1e-12);

        const double end = options.frameStart + options.frameDuration;
        for (int i = 0; i < 3; ++i) {
            EXPECT_DOUBLE_EQ(camera.position[i].at(options.frameStart), options.position[i]);
            EXPECT_DOUBLE_EQ(camera.position[i].at(end), options.position[i] + options.move[i]);
        }
    }
}

// --- rendering through the module -------------------------------------------

TEST(RenderScene, ThreadCountDoesNotChangeThePixels) {
    RenderOptions still = smallOptions();
    RenderOptions moving = smallOptions();
    moving.move = {0.2, 0.05, 0.3};
    moving.film.motionSteps = 2;
    moving.keys = {{"StereoAngle", 0.0, -0.05}, {"StereoAngle", 1.0, 0.05}};
    for (const RenderOptions &options : {still, moving}) {
        RenderOptions one = options;
        one.threads = 1;
        RenderOptions four = options;
        four.threads = 4;
        const Image a = render(one);
        const Image b = render(four);
        ASSERT_EQ(a.pixels.size(), b.pixels.size());
        for (std::size_t i = 0; i < a.pixels.size(); ++i) {
            ASSERT_EQ(a.pixels[i].x, b.pixels[i].x) << "pixel " << i;
            ASSERT_EQ(a.pixels[i].y, b.pixels[i].y) << "pixel " << i;
            ASSERT_EQ(a.pixels[i].z, b.pixels[i].z) << "pixel " << i;
        }
    }
}

TEST(RenderScene, WithoutEyeDistanceAndAngleBothHalvesShowOneView) {
    RenderOptions options = smallOptions();
    options.values = {{"StereoDistance", 0.0}, {"StereoAngle", 0.0}};
    const Image flat = render(options);
    EXPECT_LT(largestDifference(half(flat, false), half(flat, true)), 1e-9);

    // The lens's default eye distance makes them differ, and so does an
    // eye angle alone.
    const Image stereo = render(smallOptions());
    EXPECT_GT(largestDifference(half(stereo, false), half(stereo, true)), 0.1);
    options.values = {{"StereoDistance", 0.0}, {"StereoAngle", 0.05}};
    const Image turned = render(options);
    EXPECT_GT(largestDifference(half(turned, false), half(turned, true)), 0.1);
}

/// Horizontal centre of a mask in one eye's half, in pixels of that half.
double maskCentre(const Image &mask, bool right) {
    const Image eye = half(mask, right);
    double weight = 0.0, sum = 0.0;
    for (int y = 0; y < eye.height; ++y) {
        for (int x = 0; x < eye.width; ++x) {
            weight += eye.at(x, y).x;
            sum += eye.at(x, y).x * (x + 0.5);
        }
    }
    EXPECT_GT(weight, 4.0) << "the sphere is out of view";
    return sum / weight;
}

TEST(RenderScene, EyesSeeNearerSpheresShiftedApart) {
    // Masks of one sphere: its horizontal centre in each half, without and
    // with an eye distance. The left eye sits to the left, so it sees the
    // sphere further right than the centre of the lens does, and the right
    // eye further left; the nearer the sphere, the larger the shift.
    const Scene scene = builtinScene();
    RenderOptions options = smallOptions();
    options.film.width = 128;
    options.film.height = 48;
    options.film.depthOfField = false;
    double shift[3] = {};
    for (const std::size_t sphere : {kNearSphere, kFocusSphere, kFarSphere}) {
        SCOPED_TRACE(testing::Message() << "sphere " << sphere);
        const int id = Scene::sphereId(sphere);
        const RayShader mask = [&scene, id](const Ray &ray) {
            return scene.trace(ray).object == id ? Rgb{1.0, 1.0, 1.0} : Rgb{};
        };
        options.values = {{"StereoDistance", 0.0}};
        const Image centred = render(options, mask);
        const double centre = maskCentre(centred, false);
        EXPECT_NEAR(maskCentre(centred, true), centre, 1e-9);

        options.values = {{"StereoDistance", 0.12}};
        const Image apart = render(options, mask);
        const double left = maskCentre(apart, false) - centre;
        const double right = maskCentre(apart, true) - centre;
        EXPECT_GT(left, 0.2);
        EXPECT_LT(right, -0.2);
        EXPECT_NEAR(left, -right, 0.25 * left); // the same offset, mirrored
        shift[sphere] = left;
    }
    EXPECT_GT(shift[kNearSphere], shift[kFocusSphere]);
    EXPECT_GT(shift[kFocusSphere], shift[kFarSphere]);
}

TEST(RenderScene, MotionBlurIsCentredOnTheTravel) {
    // A camera that moves sideways over the shutter: the blurred sphere's
    // centre lies halfway between where the still camera sees it at the
    // frame's start and at its end, with one motion step (five records) as
    // with three, and keys within the shutter are weighed the same way.
    const Scene scene = builtinScene();
    const int id = Scene::sphereId(kFocusSphere);
    const RayShader mask = [&scene, id](const Ray &ray) {
        return scene.trace(ray).object == id ? Rgb{1.0, 1.0, 1.0} : Rgb{};
    };
    RenderOptions options = smallOptions();
    options.film.width = 128;
    options.film.height = 48;
    options.film.samplesPerPixel = 20;
    options.film.depthOfField = false;
    options.values = {{"StereoDistance", 0.0}};
    const Vec3 travel{0.4, 0.0, 0.0};
    RenderOptions end = options;
    end.position = options.position + travel;
    end.target = options.target + travel;
    const double startCentre = maskCentre(render(options, mask), false);
    const double endCentre = maskCentre(render(end, mask), false);
    ASSERT_GT(startCentre - endCentre, 8.0) << "the sphere should cross several pixels";

    for (const int steps : {1, 3}) {
        SCOPED_TRACE(testing::Message() << steps << " motion steps");
        RenderOptions moving = options;
        moving.move = travel;
        moving.film.motionSteps = steps;
        EXPECT_NEAR(maskCentre(render(moving, mask), false), (startCentre + endCentre) / 2, 0.15);

        // The same travel as a key of the lens's horizontal shift.
        RenderOptions shifted = options;
        shifted.film.motionSteps = steps;
        shifted.keys = {{"HShift", 0.0, 0.0}, {"HShift", 1.0, 0.2}};
        RenderOptions shiftedEnd = options;
        shiftedEnd.values.push_back({"HShift", 0.2});
        EXPECT_NEAR(maskCentre(render(shifted, mask), false),
                    (startCentre + maskCentre(render(shiftedEnd, mask), false)) / 2, 0.15);
    }
}

// --- pieces -----------------------------------------------------------------

TEST(Anaglyph, RedFromTheLeftEyeGreenAndBlueFromTheRight) {
    Image film;
    film.width = 4;
    film.height = 1;
    film.pixels = {{0.1, 0.2, 0.3}, {0.4, 0.5, 0.6}, {0.7, 0.8, 0.9}, {1.0, 0.0, 0.5}};
    const Image composite = anaglyph(film);
    ASSERT_EQ(composite.width, 2);
    EXPECT_EQ(composite.pixels[0].x, 0.1);
    EXPECT_EQ(composite.pixels[0].y, 0.8);
    EXPECT_EQ(composite.pixels[0].z, 0.9);
    EXPECT_EQ(composite.pixels[1].x, 0.4);
    EXPECT_EQ(composite.pixels[1].y, 0.0);
    EXPECT_EQ(composite.pixels[1].z, 0.5);
}

TEST(BuiltinScene, RaysMeetWhatIsInFrontOfThem) {
    const Scene scene = builtinScene();
    // Straight down from above the ground, between the objects.
    const Hit ground = scene.trace({{0.0, 2.0, -1.0}, {0.0, -1.0, 0.0}});
    EXPECT_EQ(ground.object, Scene::kGround);
    EXPECT_NEAR(ground.distance, 2.0, 1e-6); // Embree traces in single precision
    // Toward each sphere's centre from the camera's default place.
    for (std::size_t i = 0; i < scene.spheres.size(); ++i) {
        const Sphere &sphere = scene.spheres[i];
        const Vec3 from{0.0, 0.42, -0.2};
        const Hit hit = scene.trace({from, normalize(sphere.centre - from)});
        EXPECT_EQ(hit.object, Scene::sphereId(i)) << i;
        EXPECT_NEAR(hit.distance, length(sphere.centre - from) - sphere.radius, 1e-6) << i;
        EXPECT_NEAR(length(hit.normal), 1.0, 1e-9);
    }
    // Into a box's near face, level.
    const Box &box = scene.boxes[0];
    const Vec3 from{(box.low.x + box.high.x) / 2, 1.0, box.low.z - 3.0};
    const Hit wall = scene.trace({from, {0.0, 0.0, 1.0}});
    EXPECT_EQ(wall.object, scene.boxId(0));
    EXPECT_NEAR(wall.distance, 3.0, 1e-6);
    EXPECT_NEAR(wall.normal.z, -1.0, 1e-12);
    // Up into the sky.
    EXPECT_EQ(scene.trace({{0.0, 1.0, 0.0}, {0.0, 1.0, 0.0}}).object, Scene::kSky);
}

} // namespace
} // namespace brelvix::render
