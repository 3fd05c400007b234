// Files written to break the renderer, one of each kind, through the built
// brelvix-render under a 4 GB address space: each run ends with its status
// and one line, leaves no file, and ends within the 20 s a pipeline allows
// (a guard against a hang, not a measure of speed).
#include "tests/render/child_process.h"
#include "tests/render/render_test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using namespace brelvix::render::test;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// A sanitizer's shadow needs more, and its allocator ends the process on a
// huge allocation rather than fail it.
constexpr bool kSanitized = true;
constexpr rlim_t kAddressSpace = 0;
#else
constexpr bool kSanitized = false;
constexpr rlim_t kAddressSpace = rlim_t{4} << 30;
#endif

/// A glTF file whose one triangle sits under `depth` nested nodes.
std::string deepGltf(int depth) {
    std::string nodes;
    for (int i = 0; i + 1 < depth; ++i) {
        nodes += "{\"children\":[" + std::to_string(i + 1) + "]},";
    }
    nodes += "{\"mesh\":0}";
    // Three points (0,0,0), (1,0,0), (0,1,0) as little-endian floats.
    const std::string buffer = "AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA";
    return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[)" + nodes +
           R"(],"meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],)"
           R"("accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3",)"
           R"("min":[0,0,0],"max":[1,1,0]}],"bufferViews":[{"buffer":0,"byteLength":36}],)"
           R"("buffers":[{"byteLength":36,"uri":"data:application/octet-stream;base64,)" +
           buffer + R"("}]})";
}

/// A scene of the host whose one object is `object`.
std::string sceneNaming(const std::string &object) {
    return "LWSC\n5\n\nFirstFrame 1\nLastFrame 1\nFramesPerSecond 30\n\nLoadObjectLayer 1 " +
           object + "\n";
}

/// A PLY file of one triangle and a face of `face`.
std::string plyWithFace(const std::string &face) {
    return "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
           "property float z\nelement face 1\nproperty list uchar int vertex_indices\n"
           "end_header\n0 0 0\n1 0 0\n0 1 0\n" +
           face + "\n";
}

struct Outcome {
    int status;
    std::string err;
    double seconds;
};

/// A run on the files in `arguments`, its output in `work`; a small image
/// unless the scene's own size is wanted.
Outcome run(const std::vector<std::string> &arguments, const TempDirectory &work,
            const TempDirectory &logs) {
    std::vector<std::string> command = {
        BRELVIX_RENDER_PATH,  "--module",     BRELVIX_MODULE_PATH,      "--spp", "1", "-q", "-o",
        work.file("out.png"), "--save-scene", work.file("camera.scene")};
    if (arguments.back().find("huge") == std::string::npos) {
        command.insert(command.end(), {"--width", "32", "--height", "16"});
    }
    command.insert(command.end(), arguments.begin(), arguments.end());
    const auto start = std::chrono::steady_clock::now();
    Child render(command, logs.file("render"), kAddressSpace);
    const int status = render.wait();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return {status, render.err(), took.count()};
}

TEST(HostileInput, EachKindEndsInOneLineAndLeavesNothing) {
    TempDirectory inputs, logs;
    writeFile(inputs.file("deep.gltf"), deepGltf(100000));
    writeFile(inputs.file("itself.lws"), sceneNaming("itself.lws"));
    // A scene by its content under an object's name, read as an object.
    writeFile(inputs.file("named.lws"), sceneNaming("disguised.lwo"));
    writeFile(inputs.file("disguised.lwo"), sceneNaming("disguised.lwo"));
    writeFile(inputs.file("empty-face.ply"), plyWithFace("0"));
    // A binary face whose corner count, 0xFFFFFFFF, Assimp reserves for.
    std::string binary =
        "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\n"
        "property float y\nproperty float z\nelement face 1\n"
        "property list uint int vertex_indices\nend_header\n";
    const float corners[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    binary.append(reinterpret_cast<const char *>(corners), sizeof corners);
    binary.append("\xff\xff\xff\xff");
    binary.append(12, '\0');
    writeFile(inputs.file("bad-count.ply"), binary);
    // A camera's frame size beyond what the renderer makes.
    const std::string models = "/usr/share/assimp/models/LWS/";
    std::string huge = readFile(models + "move_x.lws");
    ASSERT_NE(huge.find("FrameSize 640 480"), std::string::npos);
    huge.replace(huge.find("FrameSize 640 480"), 17, "FrameSize 100000 90000");
    writeFile(inputs.file("huge.lws"), huge);
    writeFile(inputs.file("simple_cube.lwo"), readFile(models + "simple_cube.lwo"));
    ASSERT_EQ(mkfifo(inputs.file("fifo").c_str(), 0600), 0) << std::strerror(errno);
    const auto setUp = [](const std::string &settings, double zoom) {
        return "brelvix-render scene 1\n" + settings + "lens\nchannel 0 " + std::to_string(zoom) +
               "\nchannel 0 0\nchannel 0 0\nchannel 0 0.05\nchannel 0 0\n";
    };
    writeFile(inputs.file("far.scene"), setUp("position 1e39 0 0\ntarget 1e39 0 1\n", 2.6));
    writeFile(inputs.file("no-zoom.scene"), setUp("", 0.0));
    const std::string control =
        "brelvix-render scene 1\n\x1b[2J" + std::string(100000, 'x') + " 1\nlens\n";
    writeFile(inputs.file("noise.scene"), control);

    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string part; // of the one line
    };
    const Case cases[] = {
        {{inputs.file("itself.lws")}, 1, "itself.lws: is a scene file, not an object"},
        {{inputs.file("named.lws")}, 1, "disguised.lwo: is a scene file, not an object"},
        {{inputs.file("empty-face.ply")}, 1, "empty-face.ply crashed the importer (SIGABRT)"},
        {{inputs.file("bad-count.ply"), "--max-memory", "1"},
         1,
         kSanitized ? "bad-count.ply crashed the importer"
                    : "bad-count.ply needs more than 1 GB of memory"},
        {{inputs.file("huge.lws")}, 1, "the camera's frame size 100000 x 90000 is outside"},
        {{"/dev/zero"}, 1, "/dev/zero: is a device, not a file"},
        {{inputs.file("fifo")}, 1, "fifo: is a FIFO, not a file"},
        {{"--load-scene", "/dev/zero"}, 1, "/dev/zero: is a device, not a file"},
        {{"--f-stop", "1e-40"}, 1, "the camera's rays leave single precision (f-stop 1e-40)"},
        {{"--ZoomFactor", "1e308"}, 1, "leave single precision (ZoomFactor 1e+308)"},
        {{"--load-scene", inputs.file("far.scene")},
         1,
         "leave single precision (camera position x 1e+39)"},
        {{"--ZoomFactor", "0"}, 2, "ZoomFactor must be above 0"},
        {{"--key", "ZoomFactor@1=-2"}, 2, "ZoomFactor must be above 0"},
        {{"--load-scene", inputs.file("no-zoom.scene")},
         1,
         "ZoomFactor 0 is out of the lens's range (above 0)"},
        {{"--load-scene", inputs.file("noise.scene")}, 1, "unknown setting '\\x1b[2Jxxxxxxxxxx"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments.back());
        TempDirectory work;
        const Outcome result = run(c.arguments, work, logs);
        EXPECT_EQ(result.status, c.status);
        expectOneLine(result.err, c.part);
        EXPECT_LT(result.err.size(), 300u) << result.err;
        EXPECT_TRUE(work.entries().empty()) << *work.entries().begin();
        EXPECT_LT(result.seconds, 20.0);
    }

    // Deep but legal: rendered, the camera framing its one triangle.
    TempDirectory work;
    const Outcome deep = run({inputs.file("deep.gltf")}, work, logs);
    EXPECT_EQ(deep.status, 0) << deep.err;
    EXPECT_EQ(work.entries(), (std::set<std::string>{"camera.scene", "out.png"}));
    EXPECT_LT(deep.seconds, 20.0);
}

/// The one child of process `pid`, or 0.
pid_t childOf(pid_t pid) {
    std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                           "/children");
    pid_t child = 0;
    children >> child;
    return child;
}

TEST(HostileInput, SignalDuringALoadEndsItAtOnce) {
    TempDirectory inputs, work, logs;
    // Three star-shaped faces of 30,000 corners each: Assimp cuts each into
    // triangles in time that grows with the square of its corners, seconds
    // a face.
    std::string object;
    constexpr int kCorners = 30000;
    for (int i = 0; i < kCorners; ++i) {
        const double angle = 2.0 * M_PI * i / kCorners;
        const double radius = 1.0 + 0.3 * (i % 2);
        object += "v " + std::to_string(radius * std::cos(angle)) + " " +
                  std::to_string(radius * std::sin(angle)) + " 0\n";
    }
    for (int face = 0; face < 3; ++face) {
        object += "f";
        for (int i = 1; i <= kCorners; ++i) {
            object.append(" ").append(std::to_string(i));
        }
        object += "\n";
    }
    writeFile(inputs.file("slow.obj"), object);

    Child render({BRELVIX_RENDER_PATH, "--module", BRELVIX_MODULE_PATH, "-q", "-o",
                  work.file("out.png"), "--save-scene", work.file("camera.scene"),
                  inputs.file("slow.obj")},
                 logs.file("render"), kAddressSpace);
    // Both temporaries made and the loading process started.
    pid_t loader = 0;
    ASSERT_TRUE(eventually([&] {
        loader = childOf(render.pid());
        return loader != 0 && work.entries().size() == 2;
    }));
    render.signal(SIGINT);
    const auto signalled = std::chrono::steady_clock::now();
    EXPECT_EQ(render.wait(), 130);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - signalled;
    EXPECT_LT(took.count(), 3.0) << "the load went on after the signal";
    expectOneLine(render.err(), "interrupted (SIGINT); nothing written");
    EXPECT_TRUE(work.entries().empty()) << *work.entries().begin();
    EXPECT_TRUE(kill(loader, 0) != 0 && errno == ESRCH) << "the loading process lives on";
}

TEST(HostileInput, ACrashLeavesNoTemporary) {
    if (kSanitized) {
        GTEST_SKIP() << "a sanitizer keeps its own crash handlers";
    }
    TempDirectory work, logs;
    Child render({BRELVIX_RENDER_PATH, "--module", BRELVIX_MODULE_PATH, "--spp", "256", "--threads",
                  "1", "-o", work.file("out.png"), "--save-scene", work.file("camera.scene")},
                 logs.file("render"));
    ASSERT_TRUE(eventually([&work] { return work.entries().size() == 2; }));
    render.signal(SIGSEGV);
    EXPECT_EQ(render.wait(), 1000 + SIGSEGV);
    EXPECT_TRUE(work.entries().empty()) << *work.entries().begin();
}

} // namespace
