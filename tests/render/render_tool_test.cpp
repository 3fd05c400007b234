// The preview renderer through its own functions and the built module file:
// the sampling pattern, the camera set-up, what the two eyes see, the scene
// file round trip, the command line's failures and the PNG it writes.
#include "tools/render/image_output.h"
#include "tools/render/options.h"
#include "tools/render/render_tool.h"
#include "tools/render/scene.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace brelvix::render {
namespace {

namespace fs = std::filesystem;

/// A small, quick film, rendered through the built module.
RenderOptions smallOptions() {
    RenderOptions options;
    options.modulePath = BRELVIX_MODULE_PATH;
    options.film.width = 64;
    options.film.height = 24;
    options.film.samplesPerPixel = 4;
    options.threads = 2;
    return options;
}

Image render(const RenderOptions &options, const RayShader &shader = {}) {
    RenderResult result;
    std::string error;
    EXPECT_TRUE(renderScene(options, result, error, shader)) << error;
    EXPECT_EQ(result.stats.missedRays, 0u);
    return result.film;
}

/// Largest difference of any colour component between two images.
double largestDifference(const Image &a, const Image &b) {
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    double largest = 0.0;
    for (std::size_t i = 0; i < a.pixels.size() && i < b.pixels.size(); ++i) {
        const Vec3 d = a.pixels[i] - b.pixels[i];
        largest = std::max({largest, std::abs(d.x), std::abs(d.y), std::abs(d.z)});
    }
    return largest;
}

/// One eye's half of a side-by-side film.
Image half(const Image &film, bool right) {
    Image result;
    result.width = film.width / 2;
    result.height = film.height;
    for (int y = 0; y < film.height; ++y) {
        for (int x = 0; x < result.width; ++x) {
            result.pixels.push_back(film.at(right ? x + result.width : x, y));
        }
    }
    return result;
}

/// A scratch directory, removed afterwards.
class TempDirectory {
  public:
    TempDirectory() {
        std::string pattern = (fs::temp_directory_path() / "brelvix-render-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) != nullptr ? pattern : "";
    }
    ~TempDirectory() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string file(const std::string &name) const { return (fs::path(path_) / name).string(); }
    const std::string &path() const { return path_; }
    std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const auto &entry : fs::directory_iterator(path_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

  private:
    std::string path_;
};

void writeFile(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

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

/// Runs the tool; fails the test unless it succeeds.
void runTool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--module", BRELVIX_MODULE_PATH, "--width", "64",
                                         "--height", "24", "--spp", "4", "--quiet"});
    std::ostringstream out, err;
    EXPECT_EQ(runRenderTool(arguments, out, err, false), kExitSuccess) << err.str();
}

std::string readFile(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

DisplayImage readPng(const std::string &path);

TEST(SceneFile, KeepsTheWholeSetUpAndLoadsUnderTheCommandLine) {
    TempDirectory directory;
    const auto file = [&directory](const char *name) { return directory.file(name); };
    const std::vector<std::string> channels = {
        "--ZoomFactor",   "3.1",   "--VShift",      "0.12",  "--key",
        "HShift@0=-0.05", "--key", "HShift@1=0.07", "--key", "StereoAngle@0.5=0.03"};
    const std::vector<std::string> camera = {"--target",
                                             "0.3,0.4,2",
                                             "--move",
                                             "0.05,0,0.1",
                                             "--f-stop",
                                             "2.5",
                                             "--film-width",
                                             "0.06",
                                             "--no-dof",
                                             "--motion-steps",
                                             "2",
                                             "--frame-start",
                                             "0.25",
                                             "--frame-duration",
                                             "0.5",
                                             "--focal-distance",
                                             "2.1"};
    const auto with = [](std::vector<std::string> a, const std::vector<std::string> &b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<std::string> position = {"--position", "0.1,0.5,-0.3"};
    runTool(with(with(with(channels, camera), position),
                 {"--save-scene", file("saved.scene"), "-o", file("saved.png")}));
    // Loaded alone it gives back the same picture, and saves the same text.
    runTool({"--load-scene", file("saved.scene"), "-o", file("loaded.png"), "--save-scene",
             file("again.scene")});
    EXPECT_TRUE(readPng(file("saved.png")) == readPng(file("loaded.png")));
    const std::string text = readFile(file("saved.scene"));
    EXPECT_EQ(readFile(file("again.scene")), text);
    EXPECT_EQ(text.rfind("brelvix-render scene 1\n", 0), 0u) << text;

    // A setting on the command line wins over the file's.
    runTool({"--load-scene", file("saved.scene"), "--position", "0,0.42,-0.2", "-o",
             file("moved.png")});
    runTool(with(with(channels, camera), {"-o", file("direct.png")}));
    EXPECT_TRUE(readPng(file("moved.png")) == readPng(file("direct.png")));
    EXPECT_FALSE(readPng(file("moved.png")) == readPng(file("saved.png")));

    // The lens's part alone, as earlier versions saved it, is the channels.
    writeFile(file("lens-only.scene"), text.substr(text.find("\nlens\n") + 6));
    runTool(with(with(camera, position),
                 {"--load-scene", file("lens-only.scene"), "-o", file("lens-only.png")}));
    EXPECT_TRUE(readPng(file("lens-only.png")) == readPng(file("saved.png")));
}

// --- the command line -------------------------------------------------------

TEST(CommandLine, ReadsChannelsKeysAndVectors) {
    const ParsedCommandLine parsed = parseCommandLine(
        {"--HShift", "-0.1", "--set", "HShift=0.25", "--key", "StereoAngle@0.5=0.1", "--key",
         "StereoAngle@-1e-1=-2", "--move=-1,0,2.5", "--width", "100", "--height", "30", "--threads",
         "3", "--no-dof", "--anaglyph", "-o", "x.png"});
    ASSERT_FALSE(parsed.exitCode) << parsed.message;
    const RenderOptions &options = parsed.options;
    ASSERT_EQ(options.values.size(), 2u);
    EXPECT_EQ(options.values[0].channel, "HShift");
    EXPECT_EQ(options.values[0].value, -0.1);
    EXPECT_EQ(options.values[1].value, 0.25); // --set after the named option
    ASSERT_EQ(options.keys.size(), 2u);
    EXPECT_EQ(options.keys[0].channel, "StereoAngle");
    EXPECT_EQ(options.keys[0].time, 0.5);
    EXPECT_EQ(options.keys[0].value, 0.1);
    EXPECT_EQ(options.keys[1].time, -0.1);
    EXPECT_EQ(options.keys[1].value, -2.0);
    EXPECT_EQ(options.move.x, -1.0);
    EXPECT_EQ(options.move.z, 2.5);
    EXPECT_EQ(options.film.width, 100);
    EXPECT_EQ(options.film.height, 30);
    EXPECT_EQ(options.threads, 3);
    EXPECT_FALSE(options.film.depthOfField);
    EXPECT_TRUE(options.anaglyph);
    EXPECT_EQ(options.outputPath, "x.png");

    const ParsedCommandLine help = parseCommandLine({"--help"});
    EXPECT_EQ(help.exitCode, kExitSuccess);
    EXPECT_NE(help.message.find("--StereoDistance"), std::string::npos);
}

struct BadInput {
    std::vector<std::string> arguments;
    int exitCode;
    std::string message; // part of the error line; "{dir}" stands for the directory
};

TEST(CommandLine, BadInputsFailWithOneLineAndNoOutput) {
    TempDirectory directory;
    const std::string dir = directory.path();
    writeFile(directory.file("text.so"), "not a module\n");
    writeFile(directory.file("damaged.scene"), "channel 0 2.5\nbogus line\n");
    fs::create_directory(directory.file("folder.png"));
    writeFile(directory.file("future.scene"), "brelvix-render scene 2\nlens\n");
    writeFile(directory.file("unknown.scene"), "brelvix-render scene 1\nzoom 2\nlens\n");
    writeFile(directory.file("bad-lens.scene"),
              "brelvix-render scene 1\nf-stop 2\nlens\nchannel 0 2.5\nbogus\n");
    const std::set<std::string> fixtures = directory.entries();

    const std::vector<BadInput> cases = {
        {{"--module", "{dir}/missing.so"}, kExitFailure, "Cannot load module {dir}/missing.so"},
        {{"--module", "{dir}/text.so"}, kExitFailure, "Cannot load module {dir}/text.so"},
        {{"--set", "Focus=2"}, kExitUsage, "unknown channel 'Focus'"},
        {{"--key", "Zoom@0=2"}, kExitUsage, "unknown channel 'Zoom'"},
        {{"--ZoomFactor", "2x"}, kExitUsage, "bad number '2x' for --ZoomFactor"},
        {{"--key", "HShift@soon=0.1"}, kExitUsage, "bad number 'soon'"},
        {{"--set", "VShift"}, kExitUsage, "expected NAME=VALUE"},
        {{"--position", "0,1"}, kExitUsage, "bad vector '0,1'"},
        {{"--f-stop", "nan"}, kExitUsage, "bad number 'nan'"},
        {{"--spp", "0"}, kExitUsage, "--spp must be from 1"},
        {{"--width", "63"}, kExitUsage, "--width must be even"},
        {{"--bogus"}, kExitUsage, "--bogus"},
        {{"-o", "{dir}/no-such-directory/out.png"},
         kExitFailure,
         "Cannot write {dir}/no-such-directory/out.png"},
        {{"-o", "{dir}/folder.png"}, kExitFailure, "Is a directory"},
        {{"--load-scene", "{dir}/damaged.scene"}, kExitFailure, "Scene line 2: expected a channel"},
        {{"--load-scene", "{dir}/missing.scene"}, kExitFailure, "Cannot read {dir}/missing.scene"},
        {{"--save-scene", "{dir}/no-such-directory/x.scene"}, kExitFailure, "Cannot write"},
        {{"--save-scene", ""}, kExitUsage, "--save-scene needs a file name"},
        {{"-o", "{dir}/out.jpg"}, kExitUsage, "--output must name a .png file"},
        {{"--load-scene", "{dir}/future.scene"}, kExitFailure, "Scene line 1: version 2 is newer"},
        {{"--load-scene", "{dir}/unknown.scene"}, kExitFailure, "line 2: unknown setting 'zoom'"},
        {{"--load-scene", "{dir}/bad-lens.scene"}, kExitFailure, "line 5: expected a channel"},
    };
    const auto expand = [&dir](std::string text) {
        const std::string placeholder = "{dir}";
        for (std::size_t at = text.find(placeholder); at != std::string::npos;
             at = text.find(placeholder, at + dir.size())) {
            text.replace(at, placeholder.size(), dir);
        }
        return text;
    };
    const std::string output = directory.file("out.png");
    for (const BadInput &bad : cases) {
        std::vector<std::string> arguments = {
            "--module", BRELVIX_MODULE_PATH, "-o", output,  "--width",
            "16",       "--height",          "8",  "--spp", "1"};
        std::string shown;
        for (const std::string &argument : bad.arguments) {
            arguments.push_back(expand(argument));
            shown += " " + argument;
        }
        SCOPED_TRACE(shown);
        std::ostringstream out, err;
        EXPECT_EQ(runRenderTool(arguments, out, err, false), bad.exitCode);
        const std::string line = err.str();
        EXPECT_EQ(line.rfind("brelvix-render: ", 0), 0u) << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
        EXPECT_NE(line.find(expand(bad.message)), std::string::npos) << line;
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(directory.entries(), fixtures) << "left behind by" << shown;
    }
}

/// Reads a PNG back as 8-bit RGB.
DisplayImage readPng(const std::string &path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    DisplayImage image;
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
        ADD_FAILURE() << png.message;
        return image;
    }
    png.format = PNG_FORMAT_RGB;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.rgb.resize(PNG_IMAGE_SIZE(png));
    if (png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr) == 0) {
        ADD_FAILURE() << png.message;
    }
    return image;
}

TEST(CommandLine, WritesThePngItReportsAndTheAnaglyphAtHalfWidth) {
    TempDirectory directory;
    for (const bool composite : {false, true}) {
        SCOPED_TRACE(composite ? "anaglyph" : "side by side");
        const std::string output = directory.file(composite ? "red-cyan.png" : "pair.png");
        std::vector<std::string> arguments = {
            "--module", BRELVIX_MODULE_PATH, "-o", output,  "--width",
            "64",       "--height",          "24", "--spp", "2"};
        if (composite) {
            arguments.push_back("--anaglyph");
        }
        std::ostringstream out, err;
        ASSERT_EQ(runRenderTool(arguments, out, err, false), kExitSuccess) << err.str();
        EXPECT_EQ(err.str(), "");
        // The preview's matrix, the panel's line for the default zoom on a
        // 24 mm film, then the file's name last.
        EXPECT_NE(out.str().find("viewport matrix"), std::string::npos);
        EXPECT_NE(out.str().find("\nFocal Length 31.5mm\n"), std::string::npos) << out.str();
        EXPECT_TRUE(out.str().ends_with("\n" + output + "\n")) << out.str();

        const ParsedCommandLine parsed = parseCommandLine(arguments);
        ASSERT_FALSE(parsed.exitCode);
        RenderResult result;
        std::string error;
        ASSERT_TRUE(renderScene(parsed.options, result, error)) << error;
        const DisplayImage written = readPng(output);
        EXPECT_EQ(written.width, composite ? 32 : 64);
        EXPECT_EQ(written.height, 24);
        EXPECT_TRUE(written == result.display);
    }
    std::ostringstream out, err;
    EXPECT_EQ(runRenderTool({"--module", BRELVIX_MODULE_PATH, "-o", directory.file("q.png"),
                             "--width", "8", "--height", "4", "--spp", "1", "--quiet"},
                            out, err, true),
              kExitSuccess);
    EXPECT_EQ(out.str(), directory.file("q.png") + "\n");
    EXPECT_EQ(err.str(), ""); // no progress bar when quiet

    // One row keeps one thread busy, whatever was asked for.
    std::ostringstream report;
    EXPECT_EQ(runRenderTool({"--module", BRELVIX_MODULE_PATH, "-o", directory.file("row.png"),
                             "--width", "8", "--height", "1", "--spp", "1", "--threads", "4"},
                            report, err, false),
              kExitSuccess);
    EXPECT_NE(report.str().find(" on 1 thread ("), std::string::npos) << report.str();
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

TEST(PngOutputFile, AppearsOnlyWhenCommitted) {
    TempDirectory directory;
    const std::string path = directory.file("image.png");
    std::string error;
    {
        const auto output = PngOutput::open(path, error);
        ASSERT_NE(output, nullptr) << error;
        EXPECT_FALSE(fs::exists(path));
    }
    EXPECT_TRUE(directory.entries().empty());

    writeFile(path, "an older image");
    // A name as long as the directory takes, although the temporary's is
    // longer still.
    const std::string longName = std::string(251, 'n') + ".png";
    const DisplayImage image{2, 1, {0, 10, 20, 255, 128, 1}};
    for (const std::string &name : {std::string("image.png"), longName}) {
        const auto output = PngOutput::open(directory.file(name), error);
        ASSERT_NE(output, nullptr) << error;
        ASSERT_TRUE(output->write(image, error)) << error;
        ASSERT_TRUE(output->commit(error)) << error;
        EXPECT_TRUE(readPng(directory.file(name)) == image);
    }
    EXPECT_EQ(directory.entries(), (std::set<std::string>{"image.png", longName}));
}

TEST(BuiltinScene, RaysMeetWhatIsInFrontOfThem) {
    const Scene scene = builtinScene();
    // Straight down from above the ground, between the objects.
    const Hit ground = scene.trace({{0.0, 2.0, -1.0}, {0.0, -1.0, 0.0}});
    EXPECT_EQ(ground.object, Scene::kGround);
    EXPECT_NEAR(ground.distance, 2.0, 1e-12);
    // Toward each sphere's centre from the camera's default place.
    for (std::size_t i = 0; i < scene.spheres.size(); ++i) {
        const Sphere &sphere = scene.spheres[i];
        const Vec3 from{0.0, 0.42, -0.2};
        const Hit hit = scene.trace({from, normalize(sphere.centre - from)});
        EXPECT_EQ(hit.object, Scene::sphereId(i)) << i;
        EXPECT_NEAR(hit.distance, length(sphere.centre - from) - sphere.radius, 1e-9) << i;
        EXPECT_NEAR(length(hit.normal), 1.0, 1e-12);
    }
    // Into a box's near face, level.
    const Box &box = scene.boxes[0];
    const Vec3 from{(box.low.x + box.high.x) / 2, 1.0, box.low.z - 3.0};
    const Hit wall = scene.trace({from, {0.0, 0.0, 1.0}});
    EXPECT_EQ(wall.object, scene.boxId(0));
    EXPECT_NEAR(wall.distance, 3.0, 1e-12);
    EXPECT_EQ(wall.normal.z, -1.0);
    // Up into the sky.
    EXPECT_EQ(scene.trace({{0.0, 1.0, 0.0}, {0.0, 1.0, 0.0}}).object, Scene::kSky);
}

} // namespace
} // namespace brelvix::render
