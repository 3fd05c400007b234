// brelvix-render on LightWave objects written here in both generations:
// the LWOB and LWO2 forms of one object render the same, alone and placed
// by a scene; the subdivision level reaches the loader; a damaged object is
// one line naming its chunk and byte offset.
#include "tests/lwo/object_writer.h"
#include "tests/render/render_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <tuple>
#include <vector>

namespace {

using namespace brelvix::render::test;
namespace lwo = brelvix::lwo::test;

struct Outcome {
    int status = -1;
    std::string err;
};

Outcome run(const std::vector<std::string> &arguments, const TempDirectory &scratch) {
    std::string command = std::string(BRELVIX_RENDER_PATH) + " --module " + BRELVIX_MODULE_PATH +
                          " -q --width 96 --height 48 --spp 2 --threads 2";
    for (const std::string &argument : arguments) {
        command += " '" + argument + "'";
    }
    command += " >/dev/null 2>" + scratch.file("run.err");
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(scratch.file("run.err"))};
}

std::string sceneOf(const std::string &object) {
    return "LWSC\n3\n\nFirstFrame 1\nLastFrame 1\nFramesPerSecond 30\n\nLoadObjectLayer 1 " +
           object + "\nObjectMotion\nNumChannels 2\n" +
           // Turned a quarter about y and raised: the scene places it.
           "Channel 1\n{ Envelope\n  1\n  Key 0.5 0 0 0 0 0 0 0 0\n  Behaviors 1 1\n}\n" +
           "Channel 3\n{ Envelope\n  1\n  Key 0.7 0 0 0 0 0 0 0 0\n  Behaviors 1 1\n}\n";
}

class ObjectForms : public ::testing::Test {
  protected:
    void write(const std::string &name, const std::string &bytes) const {
        writeFile(scratch.file(name), bytes);
    }
    std::string rendered(const std::vector<std::string> &arguments, const std::string &name) {
        std::vector<std::string> all = arguments;
        all.insert(all.end(), {"-o", scratch.file(name + ".png")});
        const Outcome outcome = run(all, scratch);
        EXPECT_EQ(outcome.status, 0) << name << ": " << outcome.err;
        return readFile(scratch.file(name + ".png"));
    }
    TempDirectory scratch;
};

TEST_F(ObjectForms, BothGenerationsRenderTheSameAloneAndInAScene) {
    const lwo::TestObject sample = lwo::sampleObject();
    write("modern.lwo", lwo::lwo2(sample));
    write("old.lwo", lwo::lwob(sample));
    lwo::TestObject recoloured = sample;
    recoloured.surfaces[0].green = 200;
    write("recoloured.lwo", lwo::lwo2(recoloured));
    write("modern.lws", sceneOf("modern.lwo"));
    write("old.lws", sceneOf("old.lwo"));

    const std::string modern = rendered({scratch.file("modern.lwo")}, "modern");
    ASSERT_FALSE(modern.empty());
    EXPECT_EQ(rendered({scratch.file("old.lwo")}, "old"), modern);
    // The surface's colour is read: another colour is another picture.
    EXPECT_NE(rendered({scratch.file("recoloured.lwo")}, "recoloured"), modern);

    const std::string placed = rendered({scratch.file("modern.lws")}, "modern-scene");
    ASSERT_FALSE(placed.empty());
    EXPECT_EQ(rendered({scratch.file("old.lws")}, "old-scene"), placed);
    EXPECT_NE(placed, modern) << "the scene moves the object";
}

TEST_F(ObjectForms, SubdivisionLevelReachesTheLoader) {
    lwo::TestObject cage = lwo::sampleObject();
    cage.patches = true;
    write("cage.lwo", lwo::lwo2(cage));
    write("cage-old.lwo", lwo::lwob(cage));
    const std::string path = scratch.file("cage.lwo");
    const std::string byDefault = rendered({path}, "default");
    EXPECT_EQ(rendered({path, "--subdivision-level", "2"}, "two"), byDefault);
    EXPECT_NE(rendered({path, "--subdivision-level", "0"}, "cage"), byDefault);
    EXPECT_NE(rendered({path, "--subdivision-level", "3"}, "three"), byDefault);
    EXPECT_EQ(rendered({scratch.file("cage-old.lwo")}, "old"), byDefault);
    // A scene's objects are read by the loading process through the scene
    // reader: the level must reach them there too.
    write("cage.lws", sceneOf("cage.lwo"));
    const std::string scene = scratch.file("cage.lws");
    const std::string sceneByDefault = rendered({scene}, "scene-default");
    EXPECT_EQ(rendered({scene, "--subdivision-level", "2"}, "scene-two"), sceneByDefault);
    EXPECT_NE(rendered({scene, "--subdivision-level", "0"}, "scene-cage"), sceneByDefault);
    for (const char *bad : {"-1", "6", "two"}) {
        const Outcome outcome =
            run({path, "--subdivision-level", bad, "-o", scratch.file("bad.png")}, scratch);
        EXPECT_EQ(outcome.status, 2) << bad;
        EXPECT_NE(outcome.err.find("bad --subdivision-level '" + std::string(bad) + "'"),
                  std::string::npos)
            << outcome.err;
    }
}

TEST_F(ObjectForms, ADamagedObjectIsOneLineNamingChunkAndOffset) {
    std::string bytes = lwo::lwo2(lwo::sampleObject());
    // The first polygon's third point (after TAGS, LAYR, PNTS and the
    // POLS header) made 0x7F00, far beyond the object's points.
    const std::size_t polygons = bytes.find("POLS") + 8 + 4;
    bytes[polygons + 2 + 4] = 0x7F;
    write("damaged.lwo", bytes);
    write("damaged.lws", sceneOf("damaged.lwo"));
    const std::string offset = std::to_string(polygons + 2 + 4);
    for (const char *input : {"damaged.lwo", "damaged.lws"}) {
        const Outcome outcome = run({scratch.file(input), "-o", scratch.file("x.png")}, scratch);
        EXPECT_EQ(outcome.status, 1) << input;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
        EXPECT_NE(outcome.err.find(scratch.file("damaged.lwo") + ": POLS chunk at byte " + offset +
                                   ": polygon 0 names point 32514 of "),
                  std::string::npos)
            << outcome.err;
    }
}

// With lights and ambient light at 0 before a black backdrop the object is
// black, but for a luminous surface, which shows its own colour: the same
// in both generations.
TEST_F(ObjectForms, ALuminousSurfaceShowsItsColourUnlit) {
    const std::string dark = "AddLight 20000000\nLightName Key\nLightColor 1 1 1\n"
                             "LightIntensity 0\nLightType 0\nAmbientIntensity 0\n"
                             "SolidBackdrop 1\nBackdropColor 0 0 0\n";
    lwo::TestObject glowing = lwo::sampleObject();
    glowing.surfaces[0].luminosity = 1.0f; // "Red"
    write("unlit.lwo", lwo::lwo2(lwo::sampleObject()));
    write("modern.lwo", lwo::lwo2(glowing));
    write("old.lwo", lwo::lwob(glowing));
    const auto reds = [&](const std::string &object) {
        write(object + ".lws", sceneOf(object + ".lwo") + dark);
        const std::string png = rendered({scratch.file(object + ".lws")}, object);
        const brelvix::render::DisplayImage image = readPng(scratch.file(object + ".png"));
        std::size_t lit = 0;     // any colour
        std::size_t reddish = 0; // red's hue, at any coverage of the pixel
        std::size_t red = 0;     // and bright
        for (std::size_t i = 0; i + 2 < image.rgb.size(); i += 3) {
            const int r = image.rgb[i], g = image.rgb[i + 1], b = image.rgb[i + 2];
            lit += r + g + b > 0 ? 1 : 0;
            reddish += r > 0 && 2 * g <= r && 2 * b <= r ? 1 : 0;
            red += r > 150 && 2 * g <= r && 2 * b <= r ? 1 : 0;
        }
        return std::tuple{png, lit, reddish, red};
    };
    const auto [unlitPng, unlitLit, unlitReddish, unlitRed] = reds("unlit");
    EXPECT_FALSE(unlitPng.empty());
    EXPECT_EQ(unlitLit, 0u);
    const auto [modernPng, modernLit, modernReddish, modernRed] = reds("modern");
    EXPECT_GT(modernRed, 20u);
    EXPECT_EQ(modernLit, modernReddish) << "only the luminous surface shows";
    EXPECT_EQ(std::get<0>(reds("old")), modernPng);
}

} // namespace
