// brelvix-render on real scene files of Debian's assimp-testmodels, run as a
// user runs it: the host's scenes move their objects as their envelopes say,
// frame after frame; a file's own cameras are the ones looked through; a
// frame is the same file whichever run renders it; bad input ends the run
// with one line, status 1 and no file.
#include "tests/render/render_test_support.h"
#include "tools/lightwave/item_motion.h"
#include "tools/lightwave/scene_reader.h"
#include "tools/shot/shot.h"
#include "tools/world/tracer.h"
#include "tools/world/world_scene.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace brelvix::render::test;
namespace lw = brelvix::lightwave;
namespace world = brelvix::world;

const std::string kModels = "/usr/share/assimp/models/";

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressLimitWorks = false; // the sanitizer reserves terabytes
#else
constexpr bool kAddressLimitWorks = true;
#endif

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

/// brelvix-render with `arguments`, in a child process under a 3 GiB
/// address-space limit (where the sanitizer allows one).
Outcome runRender(const std::vector<std::string> &arguments, const TempDirectory &scratch) {
    const std::string out = scratch.file("run.out");
    const std::string err = scratch.file("run.err");
    const pid_t pid = fork();
    if (pid == 0) {
        if (kAddressLimitWorks) {
            const rlimit limit{3ul << 30, 3ul << 30};
            setrlimit(RLIMIT_AS, &limit);
        }
        if (!std::freopen(out.c_str(), "w", stdout) || !std::freopen(err.c_str(), "w", stderr)) {
            _exit(126);
        }
        std::vector<std::string> all{BRELVIX_RENDER_PATH, "--module", BRELVIX_MODULE_PATH};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char *> argv;
        for (std::string &argument : all) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status), readFile(out),
            readFile(err)};
}

struct DepthImage {
    int width = 0;
    int height = 0;
    std::vector<float> z;
    float at(int x, int y) const { return z[static_cast<std::size_t>(y * width + x)]; }
};

DepthImage readDepth(const std::string &path) {
    Imf::InputFile file(path.c_str());
    const Imath::Box2i window = file.header().dataWindow();
    DepthImage image;
    image.width = window.max.x - window.min.x + 1;
    image.height = window.max.y - window.min.y + 1;
    image.z.resize(static_cast<std::size_t>(image.width * image.height));
    Imf::FrameBuffer buffer;
    buffer.insert("Z", Imf::Slice(Imf::FLOAT, reinterpret_cast<char *>(image.z.data()),
                                  sizeof(float), sizeof(float) * image.width));
    file.setFrameBuffer(buffer);
    file.readPixels(window.min.y, window.max.y);
    return image;
}

/// Pixel edges of what met a surface in the left eye's half: left, top,
/// right, bottom.
struct Extent {
    double left = 1e9, top = 1e9, right = -1e9, bottom = -1e9;
    void add(double x, double y) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
};

Extent hitExtent(const DepthImage &image) {
    Extent extent;
    for (int py = 0; py < image.height; ++py) {
        for (int px = 0; px < image.width / 2; ++px) {
            if (std::isfinite(image.at(px, py))) {
                extent.add(px, py);
                extent.add(px + 1, py + 1);
            }
        }
    }
    return extent;
}

// The options that make the lens a plain pinhole: its other channels at 0.
const std::vector<std::string> kPinhole = {
    "--no-dof", "--motion-steps", "0", "--spp",    "1", "--StereoDistance", "0", "--StereoAngle",
    "0",        "--HShift",       "0", "--VShift", "0"};

std::vector<std::string> with(std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), kPinhole.begin(), kPinhole.end());
    return arguments;
}

TEST(ShotCamera, HeadingPitchBankGiveTheStandInHostTheSameAxes) {
    // Fixed-seed random camera frames, straight up and down included: the
    // angles set on the host's camera item come back as the same axes.
    std::mt19937 random(11);
    std::uniform_real_distribution<double> angle(-3.2, 3.2);
    for (int i = 0; i < 200; ++i) {
        brelvix::standin::CameraItem made;
        made.heading.constant = angle(random);
        made.pitch.constant =
            i % 50 == 0 ? (i % 100 == 0 ? 1.0 : -1.0) * std::numbers::pi / 2 : angle(random) / 2.0;
        made.bank.constant = angle(random);
        double r[3], u[3], f[3];
        made.axes(0.0, r, u, f);
        brelvix::render::ShotCamera camera;
        camera.right = {r[0], r[1], r[2]};
        camera.up = {u[0], u[1], u[2]};
        camera.forward = {f[0], f[1], f[2]};
        const brelvix::render::Vec3 turn = brelvix::render::headingPitchBank(camera);
        brelvix::standin::CameraItem placed;
        placed.heading.constant = turn.x;
        placed.pitch.constant = turn.y;
        placed.bank.constant = turn.z;
        double r2[3], u2[3], f2[3];
        placed.axes(0.0, r2, u2, f2);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(r2[k], r[k], 1e-9) << "camera " << i;
            EXPECT_NEAR(u2[k], u[k], 1e-9) << "camera " << i;
            EXPECT_NEAR(f2[k], f[k], 1e-9) << "camera " << i;
        }
    }
}

TEST(SceneFiles, ObjectsAreWhereTheirEnvelopesPutThemFrameAfterFrame) {
    // The cube's centre, placed by the scene's envelopes and projected with
    // the scene camera's pose, zoom and film, is the centre of what the
    // left eye sees of it. Frames before, between and after the keys; the
    // five scenes that differ only after their last key (t = 1.3 s, frame
    // 39) must put the cube in five different places at frame 44.
    const std::string scenes[] = {"move_xz_linear",
                                  "move_xz_hermite",
                                  "move_xz_bezier",
                                  "move_xz_spline",
                                  "move_xz_stepped",
                                  "move_x_post_constant",
                                  "move_x_post_linear",
                                  "move_x_post_repeat",
                                  "move_x_post_offset_repeat",
                                  "move_x_post_reset",
                                  "move_x",
                                  "move_x_oldformat_56",
                                  "move_x_oldformat_6",
                                  "move_y_pre_ofrep_post_osc"};
    constexpr int kWidth = 320;
    constexpr int kHeight = 120;
    const TempDirectory scratch;
    std::string error;
    const std::optional<std::vector<world::Mesh>> cube =
        world::loadObjectLayer(kModels + "LWS/simple_cube.lwo", 1, error);
    ASSERT_TRUE(cube) << error;
    world::Bounds bounds;
    for (const world::Mesh &mesh : *cube) {
        for (const world::Point3f &p : mesh.positions) {
            bounds.add({p.x, p.y, p.z});
        }
    }
    std::vector<double> afterLastKey;
    for (const std::string &name : scenes) {
        SCOPED_TRACE(name);
        const std::string path = kModels + "LWS/" + name + ".lws";
        const lw::SceneResult read = lw::loadScene(path);
        ASSERT_TRUE(read.scene) << read.error;
        const lw::Scene &scene = *read.scene;
        const lw::Item &camera = *scene.firstCamera();
        const lw::Item *object = nullptr;
        for (const lw::Item &item : scene.items) {
            object = item.kind == lw::ItemKind::object && !object ? &item : object;
        }
        ASSERT_NE(object, nullptr);
        const long last = std::min(70L, std::lround(scene.lastFrame));

        const Outcome run = runRender(
            with({path, "--frames", "5-" + std::to_string(last), "--width", std::to_string(kWidth),
                  "--height", std::to_string(kHeight), "-q", "-o", scratch.file(name + ".exr")}),
            scratch);
        ASSERT_EQ(run.status, 0) << run.err;
        for (const int frame : {5, 15, 30, 44, 50, 70}) {
            SCOPED_TRACE(testing::Message() << "frame " << frame);
            if (frame > last) {
                break;
            }
            const double time = frame / scene.framesPerSecond;
            const lw::WorldPose eye = lw::worldPose(scene, camera, time);
            const lw::WorldPose cubePose = lw::worldPose(scene, *object, time);
            const double zoom = lw::evaluate(camera.camera.zoomFactor, time);
            // The cube's corners through a pinhole with the camera's zoom,
            // on square pixels; each eye's half is kWidth / 2 wide.
            Extent expected;
            Extent unclipped;
            for (int corner = 0; corner < 8; ++corner) {
                const lw::Vec3 p = cubePose.toWorld({corner & 1 ? bounds.high.x : bounds.low.x,
                                                     corner & 2 ? bounds.high.y : bounds.low.y,
                                                     corner & 4 ? bounds.high.z : bounds.low.z});
                const lw::Vec3 d{p.x - eye.position.x, p.y - eye.position.y, p.z - eye.position.z};
                const auto along = [&d](lw::Vec3 axis) {
                    return d.x * axis.x + d.y * axis.y + d.z * axis.z;
                };
                ASSERT_GT(along(eye.forward), 0.0) << "a corner behind the camera";
                const double scale = zoom * kHeight / 2.0 / along(eye.forward);
                unclipped.add(kWidth / 4.0 + along(eye.right) * scale,
                              kHeight / 2.0 - along(eye.up) * scale);
                expected.add(std::clamp(kWidth / 4.0 + along(eye.right) * scale, 0.0, kWidth / 2.0),
                             std::clamp(kHeight / 2.0 - along(eye.up) * scale, 0.0, 1.0 * kHeight));
            }
            char number[16];
            std::snprintf(number, sizeof number, "%04d", frame);
            const Extent seen = hitExtent(readDepth(scratch.file(name + "." + number + ".exr")));
            if (frame == 44 && name.starts_with("move_x_post")) {
                afterLastKey.push_back(seen.left + seen.right);
            }
            if (unclipped.right <= 0.0 || unclipped.left >= kWidth / 2.0) {
                EXPECT_GT(seen.left, seen.right) << "the cube should be out of view";
                continue;
            }
            if (unclipped.left < 0.0 || unclipped.right > kWidth / 2.0) {
                // Cut by the edge: the cut changes the height it shows.
                EXPECT_NEAR(seen.left, expected.left, 1.5);
                EXPECT_NEAR(seen.right, expected.right, 1.5);
                continue;
            }
            EXPECT_NEAR(seen.left, expected.left, 1.5);
            EXPECT_NEAR(seen.right, expected.right, 1.5);
            EXPECT_NEAR(seen.top, expected.top, 1.5);
            EXPECT_NEAR(seen.bottom, expected.bottom, 1.5);
        }
    }
    ASSERT_EQ(afterLastKey.size(), 5u);
    for (std::size_t i = 0; i < afterLastKey.size(); ++i) {
        for (std::size_t j = i + 1; j < afterLastKey.size(); ++j) {
            EXPECT_GT(std::abs(afterLastKey[i] - afterLastKey[j]), 3.0) << i << " and " << j;
        }
    }
}

TEST(SceneFiles, AFileIsSeenFromItsOwnCameras) {
    // Each camera of the glTF file, by name: the distance the centre of the
    // left eye's view meets is the distance along that camera's forward
    // axis from its position to the scene, as the file places them.
    const std::string path = kModels + "glTF2/cameras/Cameras.gltf";
    std::string error;
    const std::optional<world::WorldScene> scene = world::loadScene(path, error);
    ASSERT_TRUE(scene) << error;
    ASSERT_GE(scene->cameras.size(), 2u);
    const std::unique_ptr<world::Tracer> tracer =
        world::Tracer::create(scene->meshes, {}, {}, {}, error);
    ASSERT_TRUE(tracer) << error;
    const TempDirectory scratch;
    std::vector<float> seen;
    for (const world::Camera &camera : scene->cameras) {
        SCOPED_TRACE(camera.name);
        const world::Hit expected = tracer->closestHit({camera.position, camera.forward});
        ASSERT_TRUE(std::isfinite(expected.distance));
        const std::string out = scratch.file("view.exr");
        const Outcome run = runRender(
            with({path, "--camera", camera.name, "--width", "64", "--height", "33", "-o", out}),
            scratch);
        ASSERT_EQ(run.status, 0) << run.err;
        const DepthImage depth = readDepth(out);
        EXPECT_NEAR(depth.at(16, 16), expected.distance, 0.02 * expected.distance);
        EXPECT_FALSE(std::isfinite(depth.at(0, 0))) << "a corner shows the sky";
        seen.push_back(depth.at(16, 16));
    }
    // Without --camera: the first camera.
    const Outcome run = runRender(
        with({path, "--width", "64", "--height", "33", "-o", scratch.file("first.exr")}), scratch);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readDepth(scratch.file("first.exr")).at(16, 16), seen.front());
}

TEST(SceneFiles, AFrameIsTheSameFileWhicheverRunRendersIt) {
    const TempDirectory scratch;
    const std::string scene = kModels + "LWS/move_xz_spline.lws";
    const std::vector<std::string> size = {"--width", "96", "--height", "64", "--spp", "4", "-q"};
    std::vector<std::string> range = {scene, "--frames", "1-5", "-o", scratch.file("range.png")};
    range.insert(range.end(), size.begin(), size.end());
    ASSERT_EQ(runRender(range, scratch).status, 0);
    std::vector<std::string> single = {scene, "--frame", "3", "-o", scratch.file("one.png")};
    single.insert(single.end(), size.begin(), size.end());
    single.insert(single.end(), {"--threads", "1"});
    ASSERT_EQ(runRender(single, scratch).status, 0);
    const std::string frame3 = readFile(scratch.file("range.0003.png"));
    EXPECT_FALSE(frame3.empty());
    EXPECT_EQ(frame3, readFile(scratch.file("one.png")));
    EXPECT_NE(readFile(scratch.file("range.0002.png")), frame3) << "the cube moves";
}

TEST(SceneFiles, BadInputIsOneLineStatusOneAndNoFile) {
    const TempDirectory scratch;
    // A host scene whose object file is nowhere to be found.
    std::string lonely = readFile(kModels + "LWS/move_x.lws");
    writeFile(scratch.file("lonely.lws"), lonely);
    struct Case {
        std::vector<std::string> arguments;
        std::string fault;
    };
    std::vector<Case> cases = {
        {{kModels + "invalid/empty.obj"}, "empty.obj"},
        {{kModels + "invalid/malformed.obj"}, "malformed.obj"},
        {{kModels + "invalid/empty.lwo"}, "empty.lwo"},
        {{kModels + "invalid/empty.ply"}, "empty.ply"},
        {{kModels + "missing.gltf"}, "missing.gltf"},
        {{kModels + "PLY/pond.0.ply"}, "pond.0.ply"},
        {{scratch.file("lonely.lws")}, "simple_cube.lwo"},
        {{kModels + "glTF2/cameras/Cameras.gltf", "--camera", "Nobody"}, "Nobody"},
        {{kModels + "LWS/move_x.lws", "--frame", "61"}, "frame 61"},
        {{kModels + "LWS/move_x.lws", "--frames", "59-62"}, "frame 61"},
    };
    if (kAddressLimitWorks) {
        cases.push_back({{kModels + "invalid/OutOfMemory.off"}, "OutOfMemory.off"});
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments.front() + (c.arguments.size() > 1 ? " " + c.arguments[1] : ""));
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(),
                         {"--width", "32", "--height", "16", "-o", scratch.file("out.png")});
        const Outcome run = runRender(arguments, scratch);
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_NE(run.err.find(c.fault), std::string::npos) << run.err;
        EXPECT_EQ(scratch.entries(), (std::set<std::string>{"lonely.lws", "run.out", "run.err"}));
    }
}

} // namespace

TEST(SceneFiles, PacketsDrawWhatSingleRaysDraw) {
    // The program traces in packets unless told --single-rays (kept out of
    // the help); with motion blur and depth of field, the two files agree to
    // a fraction of a level in every channel on average.
    const TempDirectory scratch;
    const std::vector<std::string> common = {"--width",        "80", "--height", "36", "--spp", "4",
                                             "--motion-steps", "2",  "--dof",    "-q"};
    for (const std::string &scene : {std::string(), kModels + "LWS/move_xz_spline.lws"}) {
        SCOPED_TRACE(scene);
        std::vector<std::string> packets = common;
        std::vector<std::string> single = common;
        // The built-in scene seen from a camera that moves; the scene
        // file's cube moves itself.
        const std::vector<std::string> what = scene.empty()
                                                  ? std::vector<std::string>{"--move", "0.3,0,0.2"}
                                                  : std::vector<std::string>{scene, "--frame", "3"};
        packets.insert(packets.end(), what.begin(), what.end());
        single.insert(single.end(), what.begin(), what.end());
        packets.insert(packets.end(), {"-o", scratch.file("packets.png")});
        single.insert(single.end(), {"--single-rays", "-o", scratch.file("single.png")});
        ASSERT_EQ(runRender(packets, scratch).status, 0);
        const Outcome run = runRender(single, scratch);
        ASSERT_EQ(run.status, 0) << run.err;
        const brelvix::render::DisplayImage a = readPng(scratch.file("packets.png"));
        const brelvix::render::DisplayImage b = readPng(scratch.file("single.png"));
        ASSERT_EQ(a.rgb.size(), b.rgb.size());
        ASSERT_FALSE(a.rgb.empty());
        double difference[3] = {};
        for (std::size_t i = 0; i < a.rgb.size(); ++i) {
            difference[i % 3] += std::abs(static_cast<int>(a.rgb[i]) - static_cast<int>(b.rgb[i]));
        }
        for (const double channel : difference) {
            EXPECT_LT(channel / static_cast<double>(a.rgb.size() / 3), 0.25);
        }
    }
    const Outcome help = runRender({"--help"}, scratch);
    EXPECT_EQ(help.out.find("single-rays"), std::string::npos);
}
