// brelvix-render on scenes of the host written here, as their authors see
// them: children hang in their parents' object space and turn about their
// pivots, a scene with lights is lit by them and its ambient light alone
// before its own backdrop, the camera's motion blur switch and blur length
// are the shutter's, objects are found in the content folder's Objects/, and
// lines may end in LF, CR LF or CR.
#include "tests/render/render_test_support.h"
#include "tools/lightwave/item_motion.h"
#include "tools/lightwave/object_path.h"
#include "tools/lightwave/scene_reader.h"
#include "tools/render/camera_placement.h"
#include "tools/shot/byte_stream.h"
#include "tools/shot/shot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <tuple>
#include <vector>

namespace {

using namespace brelvix::render::test;
namespace lw = brelvix::lightwave;
using brelvix::render::Vec3;

/// brelvix-render with `arguments` (no quotes in them); its status, its
/// error output in `err`.
int run(const std::vector<std::string> &arguments, const TempDirectory &scratch,
        std::string *err = nullptr) {
    std::string command = std::string(BRELVIX_RENDER_PATH) + " --module " + BRELVIX_MODULE_PATH +
                          " -q --width 64 --height 32 --spp 4 --threads 2";
    for (const std::string &argument : arguments) {
        command += " '" + argument + "'";
    }
    command += " >/dev/null 2>" + scratch.file("run.err");
    const int status = std::system(command.c_str());
    if (err != nullptr) {
        *err = readFile(scratch.file("run.err"));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// An OBJ box of half-edge `half` about `centre`, given in the host's axes
/// (the OBJ file's z is mirrored).
std::string box(Vec3 centre, double half) {
    std::string text;
    for (int i = 0; i < 8; ++i) {
        const double x = centre.x + ((i & 1) ? half : -half);
        const double y = centre.y + ((i & 2) ? half : -half);
        const double z = centre.z + ((i & 4) ? half : -half);
        text +=
            "v " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(-z) + "\n";
    }
    return text + "f 1 3 4 2\nf 5 6 8 7\nf 1 2 6 5\nf 3 7 8 4\nf 1 5 7 3\nf 2 4 8 6\n";
}

/// One channel of an item's motion: its number, its value at frame 0 and
/// at frame 1 (30 frames a second).
using Channel = std::tuple<int, double, double>;

std::string motion(const std::string &keyword, const std::vector<Channel> &channels) {
    if (channels.empty()) {
        return "";
    }
    std::string text = keyword + "\nNumChannels " + std::to_string(channels.size()) + "\n";
    for (const auto &[channel, first, second] : channels) {
        text += "Channel " + std::to_string(channel) + "\n{ Envelope\n  2\n  Key " +
                std::to_string(first) + " 0 3 0 0 0 0 0 0\n  Key " + std::to_string(second) +
                " 0.0333333333333 3 0 0 0 0 0 0\n  Behaviors 1 1\n}\n";
    }
    return text;
}

/// A still channel.
Channel still(int channel, double value) { return {channel, value, value}; }

/// The scene's head, a camera at the origin looking along +z (moving as
/// `cameraChannels` say) with `cameraLines`, and the lines of `rest`.
std::string scene(const std::string &rest, const std::string &cameraLines = "",
                  const std::vector<Channel> &cameraChannels = {}) {
    return "LWSC\n3\n\nFirstFrame 0\nLastFrame 1\nFramesPerSecond 30\n\n" + rest +
           "\nAddCamera 30000000\nCameraName Cam\n" + motion("CameraMotion", cameraChannels) +
           "ZoomFactor 2\n" + cameraLines;
}

/// A distant light along +z at `intensity`.
std::string light(double intensity) {
    return "AddLight 20000000\nLightName Key\n" + motion("LightMotion", {}) +
           "LightColor 1 1 1\nLightIntensity " + std::to_string(intensity) + "\nLightType 0\n";
}

/// An object item from `file`, at `position` with heading `heading`, its
/// pivot at `pivot`, hung from `parent` when not empty.
std::string object(const std::string &id, const std::string &file, Vec3 position, Vec3 pivot,
                   double heading = 0.0, const std::string &parent = "") {
    return "LoadObjectLayer 1 " + id + " " + file + "\n" +
           motion("ObjectMotion", {still(0, position.x), still(1, position.y), still(2, position.z),
                                   still(3, heading)}) +
           (parent.empty() ? "" : "ParentItem " + parent + "\n") + "PivotPosition " +
           std::to_string(pivot.x) + " " + std::to_string(pivot.y) + " " + std::to_string(pivot.z) +
           "\n";
}

class LwsLook : public ::testing::Test {
  protected:
    void SetUp() override {
        writeFile(scratch.file("base.obj"), box({0.0, -0.5, 6.0}, 0.5));
        writeFile(scratch.file("lid.obj"), box({0.6, 0.4, 6.0}, 0.3));
    }
    /// Renders scene text `text` (as NAME.lws) to NAME.png with `extra`
    /// arguments; the PNG's bytes, empty when the run failed.
    std::string render(const std::string &name, const std::string &text,
                       const std::vector<std::string> &extra = {}) {
        writeFile(scratch.file(name + ".lws"), text);
        std::vector<std::string> arguments{scratch.file(name + ".lws"), "-o",
                                           scratch.file(name + ".png")};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        std::string err;
        EXPECT_EQ(run(arguments, scratch, &err), 0) << name << ": " << err;
        return readFile(scratch.file(name + ".png"));
    }

    TempDirectory scratch;
};

// A lid modelled in place on its base (each one's position its pivot), hung
// from the base, stands where it was modelled; with the base turned a
// quarter about its pivot, the lid turns with it about the base's pivot.
TEST_F(LwsLook, ChildrenHangInTheirParentsObjectSpaceAndTurnAboutThePivot) {
    const Vec3 basePivot{0.0, -0.5, 6.0};
    const Vec3 lidPivot{0.6, 0.4, 6.0};
    const std::string lit = light(1.0);
    const std::string parented =
        render("parented",
               scene(object("10000000", "base.obj", basePivot, basePivot) +
                     object("10000001", "lid.obj", lidPivot, lidPivot, 0.0, "10000000") + lit));
    const std::string apart =
        render("apart", scene(object("10000000", "base.obj", basePivot, basePivot) +
                              object("10000001", "lid.obj", lidPivot, lidPivot) + lit));
    EXPECT_FALSE(apart.empty());
    EXPECT_EQ(parented, apart);

    // Heading a quarter turn takes +z to +x: the lid's pivot, 0.6 to the
    // right of the base's, goes 0.6 behind it.
    const double quarter = std::acos(0.0);
    const std::string turned = render(
        "turned", scene(object("10000000", "base.obj", basePivot, basePivot, quarter) +
                        object("10000001", "lid.obj", lidPivot, lidPivot, 0.0, "10000000") + lit));
    const Vec3 lidTurned{0.0, 0.4, 5.4};
    const std::string turnedApart = render(
        "turned-apart", scene(object("10000000", "base.obj", basePivot, basePivot, quarter) +
                              object("10000001", "lid.obj", lidTurned, lidPivot, quarter) + lit));
    EXPECT_EQ(turned, turnedApart);
    EXPECT_NE(turned, apart);
}

/// Big-endian bytes of the host's object files.
void put16(std::string &out, unsigned value) {
    out += static_cast<char>(value >> 8 & 0xFF);
    out += static_cast<char>(value & 0xFF);
}
void put32(std::string &out, std::uint32_t value) {
    put16(out, value >> 16);
    put16(out, value & 0xFFFF);
}
void putFloat(std::string &out, double value) {
    const float f = static_cast<float>(value);
    std::uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    put32(out, bits);
}
std::string chunk(const char *tag, const std::string &body) {
    std::string out(tag);
    put32(out, static_cast<std::uint32_t>(body.size()));
    return out + body + (body.size() % 2 ? std::string(1, '\0') : "");
}

/// A LightWave object of one box layer per (centre, half-edge), each
/// layer's pivot at its box's centre; points in the object's own space.
std::string layeredBoxes(const std::vector<std::pair<Vec3, double>> &boxes) {
    std::string body = "LWO2" + chunk("TAGS", std::string("Default\0", 8));
    for (std::size_t layer = 0; layer < boxes.size(); ++layer) {
        const auto &[centre, half] = boxes[layer];
        std::string header;
        put16(header, static_cast<unsigned>(layer));
        put16(header, 0);
        for (const double v : {centre.x, centre.y, centre.z}) {
            putFloat(header, v);
        }
        header += std::string("box\0", 4);
        std::string points;
        for (int i = 0; i < 8; ++i) {
            putFloat(points, centre.x + ((i & 1) ? half : -half));
            putFloat(points, centre.y + ((i & 2) ? half : -half));
            putFloat(points, centre.z + ((i & 4) ? half : -half));
        }
        std::string faces = "FACE";
        std::string tags = "SURF";
        const int quads[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1},
                                 {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
        for (unsigned q = 0; q < 6; ++q) {
            put16(faces, 4);
            for (const int corner : quads[q]) {
                put16(faces, static_cast<unsigned>(corner));
            }
            put16(tags, q);
            put16(tags, 0);
        }
        body += chunk("LAYR", header) + chunk("PNTS", points) + chunk("POLS", faces) +
                chunk("PTAG", tags);
    }
    body += chunk("SURF", std::string("Default\0\0\0", 10));
    return chunk("FORM", body);
}

// Each layer of an object loaded as its own item, its pivot the layer's,
// its position the pivot: the lid's layer hung from the base's stands where
// the boxes of OBJ files placed without parents do. Lit by nothing before a
// white backdrop, the renders show the boxes' outlines alone, whatever the
// surfaces of either file say.
TEST_F(LwsLook, LayersWithPivotsStandWhereTheyWereModelled) {
    const Vec3 basePivot{0.0, -0.5, 6.0};
    const Vec3 lidPivot{0.6, 0.4, 6.0};
    writeFile(scratch.file("boxes.lwo"), layeredBoxes({{basePivot, 0.5}, {lidPivot, 0.3}}));
    const std::string outline =
        light(0.0) + "AmbientIntensity 0\nSolidBackdrop 1\nBackdropColor 1 1 1\n";
    const std::string lid =
        "LoadObjectLayer 2 10000001 boxes.lwo\n" +
        motion("ObjectMotion", {still(0, lidPivot.x), still(1, lidPivot.y), still(2, lidPivot.z)}) +
        "ParentItem 10000000\nPivotPosition 0.6 0.4 6\n";
    const std::string layered = render(
        "layered", scene(object("10000000", "boxes.lwo", basePivot, basePivot) + lid + outline));
    const std::string apart =
        render("apart", scene(object("10000000", "base.obj", basePivot, basePivot) +
                              object("10000001", "lid.obj", lidPivot, lidPivot) + outline));
    EXPECT_FALSE(apart.empty());
    EXPECT_EQ(layered, apart);
}

/// The 8-bit colour of pixel (x, y) of a PNG.
std::array<int, 3> pixel(const std::string &path, int x, int y) {
    const brelvix::render::DisplayImage image = readPng(path);
    const std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) +
                            static_cast<std::size_t>(x)) *
                           3;
    if (at + 2 >= image.rgb.size()) {
        ADD_FAILURE() << path << " has no pixel " << x << ", " << y;
        return {-1, -1, -1};
    }
    return {image.rgb[at], image.rgb[at + 1], image.rgb[at + 2]};
}

// The centre of the left eye's half shows the base, its top-left corner and
// bottom-left corner the backdrop.
TEST_F(LwsLook, ASceneWithLightsIsLitByThemAndItsAmbientLightBeforeItsBackdrop) {
    const std::string base = object("10000000", "base.obj", {0, -0.5, 6}, {0, -0.5, 6});
    const std::string dark = "AmbientColor 1 0 0\nAmbientIntensity 0\n";
    const struct {
        const char *name;
        std::string lines;
        std::array<int, 3> object;
    } cases[] = {
        {"unlit",
         base + light(0.0) + dark + "SolidBackdrop 1\nBackdropColor 0.2 0.4 0.6\n",
         {0, 0, 0}},
        {"ambient", base + light(0.0) + "AmbientColor 1 0 0\nAmbientIntensity 0.5\n", {-1, 0, 0}},
        {"gradient",
         base + light(0.0) + dark +
             "SolidBackdrop 0\nZenithColor 0 0 1\nSkyColor 0 0 1\nGroundColor 0 1 0\n"
             "NadirColor 0 1 0\n",
         {0, 0, 0}},
    };
    for (const auto &c : cases) {
        render(c.name, scene(c.lines));
        const std::string png = scratch.file(std::string(c.name) + ".png");
        const std::array<int, 3> centre = pixel(png, 16, 20);
        for (std::size_t k = 0; k < 3; ++k) {
            if (c.object[k] < 0) {
                EXPECT_GT(centre[k], 0) << c.name << " component " << k;
            } else {
                EXPECT_EQ(centre[k], c.object[k]) << c.name << " component " << k;
            }
        }
    }
    const std::array<int, 3> solid = pixel(scratch.file("unlit.png"), 0, 0);
    EXPECT_EQ(solid, pixel(scratch.file("unlit.png"), 0, 31));
    EXPECT_TRUE(solid[0] > 0 && solid[1] > solid[0] && solid[2] > solid[1]);
    // The gradient: the sky's colour above the horizon, the ground's below.
    const std::array<int, 3> top = pixel(scratch.file("gradient.png"), 0, 0);
    const std::array<int, 3> bottom = pixel(scratch.file("gradient.png"), 0, 31);
    EXPECT_TRUE(top[2] > 0 && top[0] == 0 && top[1] == 0) << top[0] << top[1] << top[2];
    EXPECT_TRUE(bottom[1] > 0 && bottom[0] == 0 && bottom[2] == 0);
    // Without lights the sun and the sky light it, before the sky.
    render("sunlit", scene(base + dark + "BackdropColor 0 0 0\n"));
    const std::array<int, 3> sunlit = pixel(scratch.file("sunlit.png"), 16, 20);
    EXPECT_GT(sunlit[0] + sunlit[1] + sunlit[2], 0);
    EXPECT_NE(pixel(scratch.file("sunlit.png"), 0, 0), (std::array<int, 3>{0, 0, 0}));
}

// A camera that pans while the shutter is open.
const std::vector<Channel> kPanning{{3, 0.0, 0.3}};

TEST_F(LwsLook, TheCamerasMotionBlurSwitchIsTheShutters) {
    const std::string objects = object("10000000", "base.obj", {0, -0.5, 6}, {0, -0.5, 6}) +
                                object("10000001", "lid.obj", {0.6, 0.4, 6}, {0.6, 0.4, 6}) +
                                light(1.0);
    const std::string off = render("off", scene(objects, "MotionBlur 0\n", kPanning));
    const std::string stepless =
        render("stepless", scene(objects, "MotionBlur 0\n", kPanning), {"--motion-steps", "0"});
    const std::string overridden =
        render("overridden", scene(objects, "MotionBlur 1\nBlurLength 1\n", kPanning),
               {"--motion-steps", "0"});
    const std::string blurred =
        render("blurred", scene(objects, "MotionBlur 1\nBlurLength 1\n", kPanning));
    const std::string forced =
        render("forced", scene(objects, "MotionBlur 0\n", kPanning), {"--motion-steps", "1"});
    EXPECT_FALSE(off.empty());
    EXPECT_EQ(off, stepless);
    EXPECT_EQ(off, overridden);
    EXPECT_NE(off, blurred);
    EXPECT_EQ(forced, blurred); // a whole frame's shutter either way
}

/// The scene `text` read and loaded as the renderer's child does.
std::unique_ptr<brelvix::render::Shot> loadShot(const TempDirectory &scratch,
                                                const std::string &text) {
    writeFile(scratch.file("shot.lws"), text);
    std::string error;
    std::unique_ptr<brelvix::render::Shot> shot =
        brelvix::render::Shot::load(scratch.file("shot.lws"), std::string(), error);
    EXPECT_TRUE(shot) << error;
    return shot;
}

// The shutter opens at the frame's time for the blur length's share of the
// frame, or closes there for a negative one; a camera without blur, or a
// frame without motion steps, leaves the frame as it is.
TEST_F(LwsLook, TheShutterIsOpenForTheBlurLength) {
    const std::string objects = object("10000000", "base.obj", {0, 0, 6}, {0, 0, 6});
    const struct {
        std::string lines;
        int motionSteps;
        double start;
        double duration;
    } cases[] = {
        {"MotionBlur 1\nBlurLength 0.5\n", 1, 1.0, 0.5},
        {"MotionBlur 2\nBlurLength -0.25\n", 3, 0.75, 0.25},
        {"MotionBlur 1\nBlurLength 0.5\n", 0, 1.0, 1.0},
        {"MotionBlur 0\nBlurLength 0.5\n", 1, 1.0, 1.0},
        {"UseGlobalBlur 1\n", 1, 1.0, 0.25}, // the scene's global blur
    };
    for (const auto &c : cases) {
        const auto shot = loadShot(
            scratch, scene(objects + "GlobalMotionBlur 1\nGlobalBlurLength 0.25\n", c.lines));
        ASSERT_TRUE(shot);
        FrameInfo frame{0, 1.0, 1.0, 30.0, c.motionSteps};
        brelvix::render::applyShutter(frame, *shot);
        EXPECT_DOUBLE_EQ(frame.start, c.start) << c.lines;
        EXPECT_DOUBLE_EQ(frame.duration, c.duration) << c.lines;
    }
}

// Each moving object's placement at the shutter's times is what the scene's
// poses give, it survives the trip from the loading process, and an object
// that stands still is not among them.
TEST_F(LwsLook, MovingObjectsArePlacedAtEachTimeOfTheShutter) {
    const std::string text =
        scene(object("10000000", "base.obj", {0, 0, 6}, {0, 0, 6}) +
                  "LoadObjectLayer 1 10000001 lid.obj\n" +
                  motion("ObjectMotion", {{0, 0.0, 3.0}, {3, 0.0, 1.0}}) + "ParentItem 10000000\n",
              "MotionBlur 1\n");
    const auto shot = loadShot(scratch, text);
    ASSERT_TRUE(shot);
    brelvix::render::ByteWriter out;
    shot->write(out);
    std::string error;
    const auto arrived = brelvix::render::Shot::read(out.bytes(), error);
    ASSERT_TRUE(arrived) << error;
    const lw::SceneResult read = lw::readScene(text, "shot.lws");
    ASSERT_TRUE(read.scene) << read.error;
    const brelvix::world::ShutterTimes times{0.0, 1.0 / 30.0, 5};
    for (const auto *placed : {shot.get(), arrived.get()}) {
        brelvix::world::PlacedGeometry geometry;
        placed->place(geometry, times.open);
        placed->placeAcross(geometry.instanced, times);
        const auto &instances = geometry.instanced.instances;
        ASSERT_EQ(instances.size(), 2u);
        EXPECT_EQ(instances[0].steps.size(), 1u); // the base stands still
        ASSERT_EQ(instances[1].steps.size(), 5u);
        for (int step = 0; step < times.count; ++step) {
            const lw::WorldPose pose =
                lw::worldPose(*read.scene, read.scene->items[1], times.at(step));
            const brelvix::world::Placement &at =
                instances[1].steps[static_cast<std::size_t>(step)];
            const lw::Vec3 q{0.3, -0.2, 0.7};
            const lw::Vec3 expected = pose.toWorld(q);
            const Vec3 got = at.point({q.x, q.y, q.z});
            EXPECT_NEAR(got.x, expected.x, 1e-12) << step;
            EXPECT_NEAR(got.y, expected.y, 1e-12) << step;
            EXPECT_NEAR(got.z, expected.z, 1e-12) << step;
        }
        EXPECT_NE(instances[1].steps.front().origin, instances[1].steps.back().origin);
    }
}

// A box that moves right by twice its width while the shutter is open,
// before a still camera and a black backdrop: blurred, it covers a wider
// stretch of the middle row than when sharp, reaching further right, and no
// pixel of it is covered for the whole shutter, so none is as bright as the
// sharp box's brightest.
TEST_F(LwsLook, MotionBlurBlursMovingObjects) {
    writeFile(scratch.file("mover.obj"), box({-1.0, 0.0, 6.0}, 0.5));
    const std::string mover = "LoadObjectLayer 1 10000000 mover.obj\n" +
                              motion("ObjectMotion", {{0, -1.0, 1.0}, still(1, 0), still(2, 6)}) +
                              "PivotPosition -1 0 6\n";
    const std::string lines =
        mover + light(1.0) + "AmbientIntensity 0\nSolidBackdrop 1\nBackdropColor 0 0 0\n";
    render("sharp", scene(lines, "MotionBlur 0\n"), {"--spp", "16"});
    render("blurred", scene(lines, "MotionBlur 1\nBlurLength 1\n"), {"--spp", "16"});
    const auto row = [&](const char *name) {
        std::vector<int> grey;
        for (int x = 0; x < 32; ++x) { // the left eye
            const std::array<int, 3> p = pixel(scratch.file(std::string(name) + ".png"), x, 16);
            grey.push_back(p[0] + p[1] + p[2]);
        }
        return grey;
    };
    const std::vector<int> sharp = row("sharp");
    const std::vector<int> blurred = row("blurred");
    const auto covered = [](const std::vector<int> &grey) {
        return std::count_if(grey.begin(), grey.end(), [](int g) { return g > 0; });
    };
    const auto last = [](const std::vector<int> &grey) {
        return std::find_if(grey.rbegin(), grey.rend(), [](int g) { return g > 0; }) -
               grey.rbegin();
    };
    const int sharpest = *std::max_element(sharp.begin(), sharp.end());
    ASSERT_GT(covered(sharp), 2);
    EXPECT_GE(covered(blurred), covered(sharp) + 6);
    // It moves right: its trail reaches further right than the sharp box.
    EXPECT_LE(last(blurred) + 6, last(sharp));
    EXPECT_LT(*std::max_element(blurred.begin(), blurred.end()), sharpest * 4 / 5);
}

// `E:LightWave/box.obj` in a scene of CONTENT/Scenes is CONTENT/Objects/box.obj,
// with the content folder given or by the default folders.
TEST_F(LwsLook, ObjectsAreFoundInTheContentFoldersObjects) {
    fs::create_directories(scratch.file("CONTENT/Scenes"));
    fs::create_directories(scratch.file("CONTENT/Objects"));
    fs::copy_file(scratch.file("base.obj"), scratch.file("CONTENT/Objects/box.obj"));
    const std::string path = scratch.file("CONTENT/Scenes/s.lws");
    writeFile(path, scene(object("10000000", "E:LightWave/box.obj", {}, {}) + light(1.0)));
    std::string err;
    EXPECT_EQ(run({path, "--content", scratch.file("CONTENT"), "-o", scratch.file("a.png")},
                  scratch, &err),
              0)
        << err;
    EXPECT_EQ(run({path, "-o", scratch.file("b.png")}, scratch, &err), 0) << err;
    EXPECT_EQ(readFile(scratch.file("a.png")), readFile(scratch.file("b.png")));
    const lw::ObjectSearch search =
        lw::findObjectFile("E:LightWave/box.obj", path, scratch.file("CONTENT"));
    ASSERT_TRUE(search.found);
    EXPECT_EQ(*search.found, scratch.file("CONTENT") + "/Objects/box.obj");
}

std::string withEnds(const std::string &text, const std::string &end) {
    std::string out;
    for (const char c : text) {
        out += c == '\n' ? end : std::string(1, c);
    }
    return out;
}

// A scene and a set-up file with CR LF or CR line ends render as with LF.
TEST_F(LwsLook, LinesEndInLfCrLfOrCrAlike) {
    const std::string text =
        scene(object("10000000", "base.obj", {0, -0.5, 6}, {0, -0.5, 6}) + light(1.0));
    const std::string lf = render("lf", text);
    EXPECT_FALSE(lf.empty());
    EXPECT_EQ(render("crlf", withEnds(text, "\r\n")), lf);
    EXPECT_EQ(render("cr", withEnds(text, "\r")), lf);

    std::string err;
    ASSERT_EQ(run({"--save-scene", scratch.file("setup.txt"), "--f-stop", "2", "-o",
                   scratch.file("saved.png")},
                  scratch, &err),
              0)
        << err;
    const std::string setup = readFile(scratch.file("setup.txt"));
    ASSERT_NE(setup.find('\n'), std::string::npos);
    for (const char *end : {"\r\n", "\r"}) {
        writeFile(scratch.file("ended.txt"), withEnds(setup, end));
        EXPECT_EQ(run({"--load-scene", scratch.file("ended.txt"), "-o", scratch.file("ended.png")},
                      scratch, &err),
                  0)
            << err;
        EXPECT_EQ(readFile(scratch.file("ended.png")), readFile(scratch.file("saved.png")))
            << (end[1] ? "CR LF" : "CR");
    }
}

} // namespace
