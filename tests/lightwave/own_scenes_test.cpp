// The scene reader on small scenes written the way the host writes each
// format (tests/lightwave/scenes): format 1's camera without AddCamera and
// its older envelopes, format 2's channel form with a target, and format 5's
// bones, an object hanging from a bone, a targeted camera and the current
// camera. Then object paths from other machines found in a content tree,
// and links of any length read without recursion.
#include "tools/lightwave/item_motion.h"
#include "tools/lightwave/object_path.h"
#include "tools/lightwave/scene_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace brelvix::lightwave {
namespace {

namespace fs = std::filesystem;
constexpr double kPi = std::numbers::pi;

Scene load(const std::string &name) {
    SceneResult result = loadScene(std::string(BRELVIX_OWN_SCENES) + "/" + name);
    EXPECT_TRUE(result.scene) << result.error;
    return result.scene.value_or(Scene{});
}

void expectNear(Vec3 actual, Vec3 expected, const std::string &what) {
    EXPECT_NEAR(actual.x, expected.x, 1e-9) << what;
    EXPECT_NEAR(actual.y, expected.y, 1e-9) << what;
    EXPECT_NEAR(actual.z, expected.z, 1e-9) << what;
}

Vec3 unit(Vec3 v) {
    const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / length, v.y / length, v.z / length};
}

TEST(OwnScenes, FormatOneCameraAndItsOlderEnvelopes) {
    const Scene scene = load("format1.lws");
    ASSERT_EQ(scene.items.size(), 3u);
    const Item *camera = scene.firstCamera();
    ASSERT_NE(camera, nullptr) << "ShowCamera starts the camera";
    EXPECT_EQ(camera->id, kCameraIdBase);
    // The camera's keys moved it, not the light before it: x from 0 to 1
    // over frames 0 to 30, linear; the zoom from 2 to 4 the same way.
    expectNear(worldPose(scene, *camera, 0.5).position, {0.5, 0.0, -4.0}, "camera at 0.5 s");
    EXPECT_NEAR(evaluate(camera->camera.zoomFactor, 0.5), 3.0, 1e-12);
    EXPECT_EQ(camera->camera.frameWidth, 320);
    const Item &light = scene.items[1];
    EXPECT_EQ(light.name, "Sun");
    expectNear(worldPose(scene, light, 0.5).position, {0.0, 2.0, -2.0}, "the light stays");
    // Intensity 0.5 to 1.5 over the first second, repeated after it
    // (EndBehavior 2 belongs to the intensity, not to the light's motion).
    EXPECT_NEAR(evaluate(light.light.intensity, 0.5), 1.0, 1e-12);
    EXPECT_NEAR(evaluate(light.light.intensity, 1.5), 1.0, 1e-12);
    EXPECT_EQ(light.motion[positionX].post, Behavior::constant);
    EXPECT_EQ(scene.items[0].objectPath, "C:\\NewTek\\Objects\\Box.lwo");
    EXPECT_FALSE(camera->camera.depthOfField); // no DepthOfField line: the host's off
}

TEST(OwnScenes, FormatTwoTargetAimsHeadingAndPitchAndKeepsTheBank) {
    const Scene scene = load("format2.lws");
    ASSERT_EQ(scene.items.size(), 4u);
    const Item &camera = scene.items[3];
    EXPECT_EQ(camera.name, "Watcher");
    EXPECT_DOUBLE_EQ(evaluate(scene.items[2].light.intensity, 0.5), 0.5); // channel form
    for (const double time : {0.0, 0.5, 1.0}) {
        // The null "Aim" moves from x = 2 to 3 at y = 1, z = 3; the camera
        // stands at (0, 0, -5) banked 30 degrees.
        const Vec3 aim{2.0 + time, 1.0, 8.0};
        const WorldPose pose = worldPose(scene, camera, time);
        expectNear(pose.forward, unit(aim), "forward at " + std::to_string(time));
        const double pitch = std::atan2(-aim.y, std::hypot(aim.x, aim.z));
        EXPECT_NEAR(pose.right.y, -std::sin(kPi / 6) * std::cos(pitch), 1e-9) << "bank kept";
    }
    EXPECT_FALSE(camera.camera.depthOfField);
}

TEST(OwnScenes, FormatFiveBonesTargetsAndTheCurrentCamera) {
    const Scene scene = load("bones.lws");
    // The plug-in's own AddBone is not a bone of the scene.
    ASSERT_EQ(scene.items.size(), 7u);
    const Item *upper = scene.find(kBoneIdBase);
    const Item *lower = scene.find(0x40010000u);
    const Item *held = scene.find(kObjectIdBase + 1);
    ASSERT_TRUE(upper && lower && held);
    EXPECT_EQ(upper->kind, ItemKind::bone);
    EXPECT_EQ(upper->name, "Upper");
    EXPECT_EQ(*upper->parent, kObjectIdBase); // a root bone hangs from its object
    EXPECT_EQ(*lower->parent, kBoneIdBase);
    // The object at x = 1; the upper bone at rest 1 above it; the lower bone
    // 1 ahead of that, turning from heading 0 to 90 degrees over a second;
    // the held object 1 ahead of the lower bone, at half scale.
    expectNear(worldPose(scene, *upper, 0.0).position, {1.0, 1.0, 0.0}, "upper bone");
    expectNear(worldPose(scene, *held, 0.0).position, {1.0, 1.0, 2.0}, "held at 0 s");
    expectNear(worldPose(scene, *held, 1.0).position, {2.0, 1.0, 1.0}, "held at 1 s");
    EXPECT_NEAR(worldPose(scene, *held, 1.0).xAxis.z, -0.5, 1e-9);

    ASSERT_TRUE(scene.currentCamera);
    const Item &side = scene.items[*scene.currentCamera];
    EXPECT_EQ(side.name, "Side");
    EXPECT_FALSE(side.camera.depthOfField);
    EXPECT_TRUE(scene.firstCamera()->camera.depthOfField);
    // Side stands at (-6, 1, 0) aiming at the held object, banked 0.2.
    for (const double time : {0.0, 1.0}) {
        const Vec3 target = worldPose(scene, *held, time).position;
        const WorldPose pose = worldPose(scene, side, time);
        expectNear(pose.forward, unit({target.x + 6.0, target.y - 1.0, target.z}), "aim");
        EXPECT_NEAR(pose.right.y, -std::sin(0.2), 1e-9);
    }
    // One item placed alone, through its parents and its target's, lands
    // exactly where placing the whole scene puts it.
    for (const double time : {0.0, 0.37, 1.0}) {
        const std::vector<WorldPose> poses = worldPoses(scene, time);
        for (std::size_t i = 0; i < scene.items.size(); ++i) {
            const WorldPose alone = worldPose(scene, scene.items[i], time);
            const WorldPose &all = poses[i];
            const std::pair<Vec3, Vec3> parts[] = {{alone.position, all.position},
                                                   {alone.forward, all.forward},
                                                   {alone.up, all.up},
                                                   {alone.origin, all.origin},
                                                   {alone.xAxis, all.xAxis}};
            for (const auto &[a, b] : parts) {
                EXPECT_TRUE(a.x == b.x && a.y == b.y && a.z == b.z)
                    << scene.items[i].name << " at " << time;
            }
        }
    }
}

// Paths as other machines wrote them, found in a moved project's content
// folder: CONTENT/Scenes holds the scene, CONTENT/Objects the objects.
TEST(OwnScenes, ObjectPathsFromOtherMachinesAreFoundInTheContentTree) {
    const fs::path content =
        fs::temp_directory_path() / ("lws-content-" + std::to_string(getpid()));
    fs::create_directories(content / "Scenes");
    fs::create_directories(content / "Objects" / "Parts");
    for (const char *file : {"Objects/Box.lwo", "Objects/Parts/Wheel.lwo", "Scenes/Local.lwo"}) {
        std::ofstream(content / file) << "LWO";
    }
    const std::string scene = (content / "Scenes" / "robot.lws").string();
    const std::string box = (content / "Objects" / "Box.lwo").string();
    const std::string wheel = (content / "Objects" / "Parts" / "Wheel.lwo").string();
    const struct {
        std::string written, contentFolder, found;
    } cases[] = {
        {"Objects/Box.lwo", "", box},                      // relative to the content
        {"C:\\NewTek\\Objects\\Box.lwo", "", box},         // a drive, leading folder dropped
        {"Z:Dev/Proj/Objects/Parts/Wheel.lwo", "", wheel}, // a drive without a slash
        {"Work:Objects/Parts/Wheel.lwo", "", wheel},       // a volume name
        {"/Users/someone/Robot/OBJECTS/box.LWO", "", box}, // a root, in another case
        {"D:\\Elsewhere\\Local.lwo", "", (content / "Scenes" / "Local.lwo").string()},
        {"Dev\\Objects\\Box.lwo", content.string(), box},              // --content
        {(content / "Objects" / "Box.lwo").string(), "/nowhere", box}, // as written
    };
    for (const auto &c : cases) {
        const ObjectSearch search = findObjectFile(c.written, scene, c.contentFolder);
        EXPECT_EQ(search.found.value_or("not found"), c.found) << c.written;
    }
    const ObjectSearch missing = findObjectFile("X:Lost\\Objects\\Gone.lwo", scene, "");
    EXPECT_FALSE(missing.found);
    ASSERT_FALSE(missing.tried.empty());
    EXPECT_EQ(missing.tried.front(), "X:Lost/Objects/Gone.lwo");
    EXPECT_NE(std::find(missing.tried.begin(), missing.tried.end(),
                        (content / "Objects" / "Gone.lwo").string()),
              missing.tried.end());
    fs::remove_all(content);
}

// A chain of a hundred thousand nulls, each the child of the one before, is
// read and placed without recursion; closing it into a loop is refused on the
// line that closes it. A bone before any object, a missing target and a
// current camera the scene does not have are refused with their lines.
TEST(OwnScenes, LinksOfAnyLengthAndTheirFaults) {
    std::string chain = "LWSC\n3\n";
    constexpr int kLength = 100000;
    for (int i = 0; i < kLength; ++i) {
        chain += "AddNullObject\nObjectMotion\nNumChannels 1\nChannel 1\n{ Envelope\n 1\n"
                 " Key 0.001 0 0 0 0 0 0 0 0\n Behaviors 1 1\n}\n";
        if (i > 0) {
            char parent[32];
            std::snprintf(parent, sizeof parent, "ParentItem %08X\n", kObjectIdBase + i - 1);
            chain += parent;
        }
    }
    const SceneResult read = readScene(chain, "chain.lws");
    ASSERT_TRUE(read.scene) << read.error;
    const std::vector<WorldPose> poses = worldPoses(*read.scene, 0.0);
    EXPECT_NEAR(poses.back().position.y, 0.001 * kLength, 1e-6);
    EXPECT_EQ(worldPose(*read.scene, read.scene->items.back(), 0.0).position.y,
              poses.back().position.y);

    // The first null made the child of the last.
    char last[32];
    std::snprintf(last, sizeof last, "ParentItem %08X\n", kObjectIdBase + kLength - 1);
    std::string closed = chain;
    closed.insert(std::string("LWSC\n3\nAddNullObject\n").size(), last);
    const struct {
        std::string text;
        std::string error;
    } faults[] = {
        {"LWSC\n3\nAddNullObject 10000000\nParentItem 10000001\nAddNullObject 10000001\n"
         "ParentItem 10000000\n",
         "x.lws:4: the item's parents form a loop"},
        {"LWSC\n5\nAddBone\n", "x.lws:3: AddBone before any object"},
        {"LWSC\n5\nAddNullObject\nAddCamera\nTargetItem 10000004\n",
         "x.lws:5: no item has the target id 10000004"},
        {"LWSC\n5\nAddCamera\nCurrentCamera 1\n", "x.lws:4: CurrentCamera 1 but the scene has 1"},
        {"LWSC\n5\nAddNullObject\nObjectMotion\nNumChannels 999999\n",
         "x.lws:5: 999999 channels, more than the rest of the file holds"},
    };
    for (const auto &fault : faults) {
        const SceneResult result = readScene(fault.text, "x.lws");
        EXPECT_FALSE(result.scene);
        EXPECT_EQ(result.error.rfind(fault.error, 0), 0u) << result.error;
    }
    const SceneResult loop = readScene(closed, "chain.lws");
    EXPECT_EQ(loop.error, "chain.lws:4: the item's parents form a loop");
}

} // namespace
} // namespace brelvix::lightwave
