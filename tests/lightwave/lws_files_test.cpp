// The scene reader and envelope evaluation on real scene files written by the
// host (Debian's assimp-testmodels). Expected positions are worked out by hand
// from the keys in each file, as the comments show.
#include "tools/lightwave/item_motion.h"
#include "tools/lightwave/scene_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <numbers>
#include <string>

namespace brelvix::lightwave {
namespace {

const std::string kModels = BRELVIX_LWS_MODELS;

Scene load(const std::string &name) {
    if (!std::filesystem::exists(kModels)) {
        ADD_FAILURE() << kModels << " is missing: install assimp-testmodels";
        return {};
    }
    SceneResult result = loadScene(kModels + "/" + name);
    EXPECT_TRUE(result.scene) << result.error;
    return result.scene.value_or(Scene{});
}

// The cube's world position at a frame.
Vec3 cubeAt(const Scene &scene, double frame) {
    const Item *cube = scene.find(kObjectIdBase);
    if (cube == nullptr) {
        ADD_FAILURE() << "no object 10000000";
        return {};
    }
    return worldPose(scene, *cube, scene.frameTime(frame)).position;
}

TEST(LwsFiles, EveryTestSceneReadsWithItsCubeLightAndCamera) {
    int count = 0;
    for (const auto &entry : std::filesystem::directory_iterator(kModels)) {
        if (entry.path().extension() != ".lws") {
            continue;
        }
        ++count;
        const SceneResult result = loadScene(entry.path().string());
        ASSERT_TRUE(result.scene) << result.error;
        const Scene &scene = *result.scene;
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_LE(scene.firstFrame, 1.0);
        EXPECT_GE(scene.lastFrame, 60.0);
        EXPECT_EQ(scene.framesPerSecond, 30.0);
        ASSERT_NE(scene.find(kObjectIdBase), nullptr);
        EXPECT_EQ(scene.find(kObjectIdBase)->objectPath, "simple_cube.lwo");
        ASSERT_NE(scene.find(kLightIdBase), nullptr);
        EXPECT_EQ(scene.find(kLightIdBase)->name, "Light");
        EXPECT_EQ(scene.find(kLightIdBase)->light.type, LightType::distant);
        EXPECT_DOUBLE_EQ(evaluate(scene.find(kLightIdBase)->light.intensity, 0.0), 1.0);
        const Item *camera = scene.firstCamera();
        ASSERT_NE(camera, nullptr);
        EXPECT_EQ(camera->id, kCameraIdBase);
        EXPECT_DOUBLE_EQ(evaluate(camera->camera.zoomFactor, 0.0), 3.2);
        EXPECT_DOUBLE_EQ(camera->camera.apertureHeight, 0.015);
        EXPECT_EQ(camera->camera.frameWidth, 640);
        EXPECT_EQ(camera->camera.frameHeight, 480);
        EXPECT_DOUBLE_EQ(camera->camera.filmWidth(), 0.02);
        EXPECT_DOUBLE_EQ(evaluate(camera->camera.focalDistance, 0.0), 1.0);
        EXPECT_DOUBLE_EQ(evaluate(camera->camera.lensFStop, 0.0), 4.0);
        // The camera stands back on -z, looking along +z.
        const WorldPose pose = worldPose(scene, *camera, 0.0);
        EXPECT_NEAR(pose.position.z, -6.384, 1e-6);
        EXPECT_NEAR(pose.forward.z, 1.0, 1e-12);
        EXPECT_NEAR(pose.up.y, 1.0, 1e-12);
    }
    EXPECT_EQ(count, 14);
}

// Each move_xz scene keys x at 0, 2/3 s and 2 s, and z at 0, 4/3 s and
// 2.9667 s, with the one span type its name says. Frame 10 is the middle of
// x's first span, frame 40 of its second, frame 20 of z's first.
TEST(LwsFiles, MoveXzCubeFollowsEachSpanType) {
    // Hermite at the middle of a span: (v0 + v1) / 2 + (out0 - in1) / 8, the
    // tangents per span: p5 of the first key, p4 of the second.
    // TCB with zero tension, continuity and bias: the first key leaves along
    // v1 - v0, the middle key's tangents are (v2 - v0) times its span's share
    // of both spans (1/3 in, 2/3 out), the last key enters along v2 - v1.
    // 2D Bezier: the handles split both spans into thirds of time, so the
    // middle of the span is the curve's middle: (v0 + 3 h0 + 3 h1 + v1) / 8.
    struct Case {
        const char *file;
        double xFrame10, xFrame40, zFrame20;
    };
    const Case cases[] = {
        // v1 / 2, (v1 + v2) / 2 and z1 / 2
        {"move_xz_linear.lws", 0.9624592419593565, 0.7009575124709837, -1.3280583620071411},
        // 1.924918 / 2 + (2.014494 + 0.174334) / 8, and so on
        {"move_xz_hermite.lws", 1.2360628377350193, 0.9633003990623179, -1.6546217498639106},
        {"move_xz_spline.lws", 1.281375343600909, 1.019873614112536, -1.6536665385526217},
        // z's handles are uneven (0.44444 s out, 0.46576 s in): frame 20 is
        // at the curve's parameter 0.50607, found by bisection on its time
        {"move_xz_bezier.lws", 1.2079142224949995, 0.9682040858792167, -1.6769075312052526},
        // the first key's value until the second key's time
        {"move_xz_stepped.lws", 0.0, 1.924918483918713, 0.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        const Scene scene = load(c.file);
        EXPECT_NEAR(cubeAt(scene, 10).x, c.xFrame10, 1e-6);
        EXPECT_NEAR(cubeAt(scene, 40).x, c.xFrame40, 1e-6);
        EXPECT_NEAR(cubeAt(scene, 20).z, c.zFrame20, 1e-6);
        EXPECT_EQ(cubeAt(scene, 40).y, 0.0);
        // On the keys the curve holds the keys' values; after the last key x
        // stays (behaviour "constant"), before the first it is reset to 0.
        EXPECT_NEAR(cubeAt(scene, 60).x, -0.52300345897674561, 1e-9);
        EXPECT_NEAR(cubeAt(scene, 110).x, -0.52300345897674561, 1e-9);
        EXPECT_EQ(cubeAt(scene, -5).x, 0.0);
    }
}

// The five scenes share three TCB keys in x, (0 s, 0), (2/3 s, 2.138186),
// (1.3 s, -1.638183), and differ only in what follows the last key. At 1.6 s
// (frame 48), 0.3 s after it:
TEST(LwsFiles, PostBehavioursContinueAfterTheLastKeyAsNamed) {
    // Repeat: the curve at 0.3 s, s = 0.45 of the first span with out0 =
    // 2.138186 and in1 = (-1.638183) * (2/3) / 1.3 = -0.840094 (as the file
    // caches it).
    const double repeated = 1.2938896298603988;
    const struct {
        const char *file;
        double x;
    } cases[] = {
        {"move_x_post_reset.lws", 0.0},
        {"move_x_post_constant.lws", -1.6381832361221313},
        {"move_x_post_repeat.lws", repeated},
        {"move_x_post_offset_repeat.lws", repeated - 1.6381832361221313},
        // the last key's incoming slope: (v2 - v1) / (1.3 - 2/3) per second
        {"move_x_post_linear.lws", -3.426989715132252},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        const Scene scene = load(c.file);
        EXPECT_NEAR(cubeAt(scene, 48).x, c.x, 1e-6);
        EXPECT_NEAR(cubeAt(scene, 39).x, -1.6381832361221313, 1e-9); // the last key
    }
}

// y keyed (0 s, 0), (1 s, 0), (1.7 s, 0.989099), TCB. The middle key's
// tangents are 0.989099 times its spans' shares, 1/1.7 in and 0.7/1.7 out (as
// the file caches them); the last enters along 0.989099. Before the keys:
// offset repeat; after: oscillate.
TEST(LwsFiles, OscillateAndOffsetRepeat) {
    const Scene scene = load("move_y_pre_ofrep_post_osc.lws");
    const struct {
        double time, y;
    } cases[] = {
        {1.35, 0.4218215162263197},   // s = 0.5 of the second span
        {1.9, 0.6725735646274688},    // back down: mirrored to 1.5 s
        {2.5, -0.04712764526114742},  // mirrored to 0.9 s, the first span's dip
        {3.6, -0.018618328992058255}, // forward again: 0.2 s
        {-0.5, -0.7913129076890646},  // 1.2 s, one rise lower
    };
    const Item *cube = scene.find(kObjectIdBase);
    ASSERT_NE(cube, nullptr);
    for (const auto &c : cases) {
        EXPECT_NEAR(worldPose(scene, *cube, c.time).position.y, c.y, 1e-9) << "at " << c.time;
    }
}

// The same motion saved in format 2's channel form and in format 3's envelope
// form: the reader gives the same curve, with format 2's degrees in radians.
TEST(LwsFiles, OlderMotionFormMatchesEnvelopeForm) {
    const Scene older = load("move_x_oldformat_56.lws");
    const Scene newer = load("move_x_oldformat_6.lws");
    EXPECT_EQ(older.version, 2);
    EXPECT_EQ(newer.version, 3);
    for (const double frame : {1.0, 7.0, 15.0, 33.0, 50.0}) {
        EXPECT_NEAR(cubeAt(older, frame).x, cubeAt(newer, frame).x, 1e-5) << "frame " << frame;
    }
    const Item *light = older.find(kLightIdBase);
    ASSERT_NE(light, nullptr);
    const LocalPose pose = localPose(*light, 0.0);
    EXPECT_NEAR(pose.rotation.x, std::numbers::pi / 4, 1e-12);
    EXPECT_NEAR(pose.rotation.y, 35.0 * std::numbers::pi / 180, 1e-12);
    EXPECT_DOUBLE_EQ(light->light.colour.x, 1.0); // 255 in the file
    const Item *cube = older.find(kObjectIdBase);
    ASSERT_NE(cube, nullptr);
    EXPECT_NEAR(localPose(*cube, 0.0).scale.y, 0.8858733, 1e-9);
    EXPECT_EQ(older.firstCamera()->camera.frameWidth, 640); // CustomSize
}

} // namespace
} // namespace brelvix::lightwave
