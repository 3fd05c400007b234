// The scene reader on small scene texts: the oldest motion form, parents and
// pivots composed into world poses, settings given as envelopes, and the
// line that names each fault of a malformed file.
#include "tools/lightwave/item_motion.h"
#include "tools/lightwave/scene_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

namespace brelvix::lightwave {
namespace {

constexpr double kPi = std::numbers::pi;

Scene read(const std::string &text) {
    SceneResult result = readScene(text, "test.lws");
    EXPECT_TRUE(result.scene) << result.error;
    return result.scene.value_or(Scene{});
}

void expectNear(Vec3 actual, Vec3 expected, const char *what) {
    EXPECT_NEAR(actual.x, expected.x, 1e-12) << what;
    EXPECT_NEAR(actual.y, expected.y, 1e-12) << what;
    EXPECT_NEAR(actual.z, expected.z, 1e-12) << what;
}

// A channel that holds `value`, written with every digit.
std::string still(double value) {
    char key[64];
    std::snprintf(key, sizeof key, " Key %.17g 0 0 0 0 0 0 0 0\n", value);
    return std::string("{ Envelope\n 1\n") + key + " Behaviors 1 1\n}\n";
}

// Format 1: per key all nine channel values, then frame, linear flag and
// tension, continuity, bias; degrees; parents by object number.
TEST(SceneText, OldestMotionFormWithParentObject) {
    const Scene scene = read("LWSC\n1\n\nFramesPerSecond 25\n"
                             "LoadObject objects/base.lwo\n"
                             "ObjectMotion (unnamed)\n  9\n  2\n"
                             "  0 0 0 0 0 0 1 1 1\n  0 1 0 0 0\n"
                             "  10 0 0 90 0 0 1 1 1\n  50 1 0 0 0\n"
                             "EndBehavior 2\n"
                             "LoadObject objects/arm.lwo\n"
                             "ObjectMotion (unnamed)\n  9\n  1\n"
                             "  0 0 2 0 0 0 1 1 1\n  0 0 0 0 0\n"
                             "ParentObject 1\n");
    ASSERT_EQ(scene.items.size(), 2u);
    EXPECT_EQ(scene.items[0].name, "base");
    EXPECT_EQ(scene.items[1].id, kObjectIdBase + 1);
    const Item &arm = scene.items[1];
    // Frame 25 is 1 s, half way along the linear keys at frames 0 and 50:
    // the base is at x = 5, turned 45 degrees; the arm 2 ahead of it.
    const WorldPose half = worldPose(scene, arm, 1.0);
    const double r = std::sqrt(0.5);
    expectNear(half.position, {5.0 + 2.0 * r, 0.0, 2.0 * r}, "arm at 1 s");
    expectNear(half.forward, {r, 0.0, r}, "arm's forward at 1 s");
    // EndBehavior 2 repeats: 3 s is 1 s again.
    expectNear(worldPose(scene, arm, 3.0).position, half.position, "arm at 3 s");
}

// Heading, pitch and bank turn the axes as the host does, parents compose
// with their scale, and a pivot is the point of the item's geometry that its
// position places.
TEST(SceneText, ParentsPivotsAndAxesCompose) {
    const Scene scene = read("LWSC\n5\n\nAddNullObject 10000000 Rig\nObjectMotion\nNumChannels 5\n"
                             "Channel 0\n" +
                             still(1.0) + "Channel 3\n" + still(kPi / 2) + "Channel 6\n" +
                             still(2.0) + "Channel 7\n" + still(2.0) + "Channel 8\n" + still(2.0) +
                             "LoadObjectLayer 1 10000001 My Objects/box.lwo\n"
                             "ObjectMotion\nNumChannels 2\nChannel 2\n" +
                             still(1.0) + "Channel 1\n" + still(0.5) +
                             "ParentItem 10000000\nPivotPosition 0 0.5 0\n"
                             "AddCamera 30000000\nCameraMotion\nNumChannels 2\n"
                             "Channel 4\n" +
                             still(kPi / 2) + "Channel 5\n" + still(kPi / 2) +
                             "ParentItem 10000001\n"
                             "ZoomFactor (envelope)\n{ Envelope\n 2\n Key 2 0 3 0 0 0 0 0 0\n"
                             " Key 4 1 3 0 0 0 0 0 0\n Behaviors 1 1\n}\n"
                             "Plugin CameraHandler 1 Other\nZoomFactor 9\nEndPlugin\n"
                             "FrameSize 640 480\nUseGlobalResolution 1\n"
                             "GlobalFrameSize 1920 1080\nGlobalPixelAspect 1\n");
    ASSERT_EQ(scene.items.size(), 3u);
    const Item &box = scene.items[1];
    EXPECT_EQ(box.objectPath, "My Objects/box.lwo");
    EXPECT_EQ(scene.items[0].name, "Rig");
    // The rig at x = 1, turned right by 90 degrees (+z to +x), scaled by 2:
    // the box's position (0, 0.5, 1) lands at (1 + 2, 1, 0).
    const WorldPose boxPose = worldPose(scene, box, 0.0);
    expectNear(boxPose.position, {3.0, 1.0, 0.0}, "box's pivot");
    expectNear(boxPose.toWorld(box.pivot), boxPose.position, "pivot maps to position");
    expectNear(boxPose.toWorld({0.0, 0.0, 0.0}), {3.0, 0.0, 0.0}, "box's origin");
    expectNear(boxPose.forward, {1.0, 0.0, 0.0}, "box's forward");
    expectNear(boxPose.right, {0.0, 0.0, -1.0}, "box's right");
    // The camera on the box, pitched down 90 degrees and banked 90: it looks
    // down, its up axis is the box's right (bank tilts up toward right).
    const Item &camera = scene.items[2];
    const WorldPose cameraPose = worldPose(scene, camera, 0.0);
    // Children hang in their parent's object space, as its geometry does:
    // the camera at rest sits at the box's origin, not at its pivot.
    expectNear(cameraPose.position, {3.0, 0.0, 0.0}, "camera at the box's origin");
    expectNear(cameraPose.forward, {0.0, -1.0, 0.0}, "camera's forward");
    expectNear(cameraPose.up, {0.0, 0.0, -1.0}, "camera's up");
    expectNear(cameraPose.right, {-1.0, 0.0, 0.0}, "camera's right");
    EXPECT_DOUBLE_EQ(evaluate(camera.camera.zoomFactor, 0.25), 2.5);
    EXPECT_EQ(camera.camera.frameWidth, 1920); // the global resolution
    EXPECT_DOUBLE_EQ(camera.camera.filmWidth(), 0.015 * 1920 / 1080);
}

// The effects settings: the ambient light, the backdrop and its gradient,
// colours 0..255 before format 3; the cameras' motion blur, their own or
// the scene's global one.
TEST(SceneText, AmbientLightBackdropAndMotionBlur) {
    const Scene old = read("LWSC\n1\nAmbientColor 255 0 51\nAmbientIntensity 0.25\n"
                           "SolidBackdrop 0\nZenithColor 0 0 255\nSkySqueezeAmount 3\n"
                           "ShowCamera 1 0\nMotionBlur 1\nBlurLength 0.75\n");
    const Environment &e = old.environment;
    expectNear(e.ambientColour, {1.0, 0.0, 0.2}, "ambient colour");
    EXPECT_DOUBLE_EQ(evaluate(e.ambientIntensity, 0.0), 0.25);
    EXPECT_FALSE(e.solidBackdrop);
    expectNear(e.zenithColour, {0.0, 0.0, 1.0}, "zenith");
    EXPECT_DOUBLE_EQ(e.skySqueeze, 3.0);
    EXPECT_DOUBLE_EQ(e.groundSqueeze, 2.0); // the host's default
    ASSERT_EQ(old.items.size(), 1u);
    EXPECT_TRUE(old.items[0].camera.motionBlur);
    EXPECT_DOUBLE_EQ(evaluate(old.items[0].camera.blurLength, 0.0), 0.75);

    const Scene current =
        read("LWSC\n3\nAmbientIntensity (envelope)\n{ Envelope\n 2\n Key 0 0 3 0 0 0 0 0 0\n"
             " Key 1 1 3 0 0 0 0 0 0\n Behaviors 1 1\n}\nBackdropColor 0.5 0.25 1\n"
             "GlobalMotionBlur 1\nGlobalBlurLength 0.3\nAddCamera 30000000\n"
             "UseGlobalBlur 1\nAddCamera 30000001\nMotionBlur 0\nBlurLength 0.9\n");
    EXPECT_DOUBLE_EQ(evaluate(current.environment.ambientIntensity, 0.5), 0.5);
    EXPECT_TRUE(current.environment.solidBackdrop);
    expectNear(current.environment.backdropColour, {0.5, 0.25, 1.0}, "backdrop");
    ASSERT_EQ(current.items.size(), 2u);
    EXPECT_TRUE(current.items[0].camera.motionBlur);
    EXPECT_DOUBLE_EQ(evaluate(current.items[0].camera.blurLength, 0.0), 0.3);
    EXPECT_FALSE(current.items[1].camera.motionBlur);
    EXPECT_DOUBLE_EQ(evaluate(current.items[1].camera.blurLength, 0.0), 0.9);
}

TEST(SceneText, MalformedFilesNameTheLineAndFault) {
    const struct {
        std::string text;
        const char *error;
    } cases[] = {
        {"LWSX\n5\n", "test.lws:1: not a scene file"},
        {"LWSC\nfive\n", "test.lws:2: expected the scene format's version"},
        {"LWSC\n3\nFramesPerSecond 0\n", "test.lws:3: FramesPerSecond must be positive"},
        {"LWSC\n3\nAddCamera 30000000\nCameraMotion\nNumChannels 1\nChannel 0\n{ Envelope\n 1\n"
         " Key 0 0 7 0 0 0 0 0 0\n Behaviors 1 1\n}\n",
         "test.lws:9: unknown span type \"7\""},
        {"LWSC\n3\nAddCamera 30000000\nZoomFactor (envelope)\n{ Envelope\n 2\n"
         " Key 1 0 0 0 0 0 0 0 0\n Behaviors 1 1\n}\n",
         "test.lws:8: expected \"Key value time"},
        {"LWSC\n3\nAddCamera\nZoomFactor (envelope)\n{ Envelope\n 0\n Behaviors 1 9\n}\n",
         "test.lws:7: unknown behaviour \"9\""},
        {"LWSC\n3\nAddLight 20000000\nParentItem 10000000\n",
         "test.lws:4: no item has the parent id 10000000"},
        {"LWSC\n3\nAddNullObject 10000000 A\nParentItem 10000001\n"
         "AddNullObject 10000001 B\nParentItem 10000000\n",
         "test.lws:4: the item's parents form a loop"},
        {"LWSC\n2\nLoadObject a.lwo\nObjectMotion (unnamed)\n 9\n 1\n 0 0 0\n",
         "test.lws:7: expected a key: value, time"},
        {"LWSC\n3\nPlugin X\n{ Block\n  { Inner\n  }\n",
         "test.lws: at the end of the file: the block opened on line 4"},
        {"LWSC\n3\nAddCamera 30000000\nFrameSize 640 x\n", "test.lws:4: \"x\" is not a number"},
        {"LWSC\n3\nAddLight\nAddLight 20000000\n", "test.lws:4: a second item with the same id"},
        // Lines counted alike whether they end in CR or CR LF.
        {"LWSC\r3\rFramesPerSecond 0\r", "test.lws:3: FramesPerSecond must be positive"},
        {"LWSC\r\n3\r\n\r\nFramesPerSecond 0\r\n", "test.lws:4: FramesPerSecond must be"},
        {"LWSC\n3\nSkySqueezeAmount 0\n", "test.lws:3: SkySqueezeAmount must be positive"},
        {"LWSC\n3\nAddCamera\nBlurLength 1000\n", "test.lws:4: BlurLength out of range"},
    };
    for (const auto &c : cases) {
        const SceneResult result = readScene(c.text, "test.lws");
        EXPECT_FALSE(result.scene) << c.text;
        EXPECT_EQ(result.error.rfind(c.error, 0), 0u) << result.error;
    }
    EXPECT_EQ(loadScene("/nonexistent/x.lws").error, "/nonexistent/x.lws: no such file");
    EXPECT_EQ(loadScene(BRELVIX_LWS_MODELS).error,
              BRELVIX_LWS_MODELS ": is a folder, not a scene file");
}

} // namespace
} // namespace brelvix::lightwave
