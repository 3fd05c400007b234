// The built programs as a user runs them, each in a child process: an
// interrupted or starved brelvix-render leaves nothing behind, brelvix-info
// reads its command line, and an installed brelvix-render finds its module.
#include "tests/render/child_process.h"
#include "tests/render/render_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace brelvix::render::test;

TEST(RenderCommand, SignalDuringTheRenderLeavesNothingBehind) {
    const std::pair<int, int> cases[] = {{SIGINT, 130}, {SIGTERM, 1}};
    for (const auto &[number, exitCode] : cases) {
        SCOPED_TRACE(strsignal(number));
        TempDirectory work, logs;
        // A render of a minute or so on one thread, stopped once it has
        // begun writing.
        Child render({BRELVIX_RENDER_PATH, "--module", BRELVIX_MODULE_PATH, "--spp", "256",
                      "--threads", "1", "-o", work.file("out.png"), "--save-scene",
                      work.file("camera.scene")},
                     logs.file("render"));
        ASSERT_TRUE(eventually([&work] { return work.entries().size() == 2; }))
            << "no temporaries appeared";
        render.signal(number);
        EXPECT_EQ(render.wait(), exitCode);
        expectOneLine(render.err(), number == SIGINT ? "interrupted (SIGINT); nothing written"
                                                     : "(SIGTERM); nothing written");
        EXPECT_EQ(render.out(), "");
        EXPECT_TRUE(work.entries().empty()) << *work.entries().begin();
    }
}

TEST(RenderCommand, ImageTooLargeForMemoryFailsInOneLine) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's allocator does not run under a memory limit";
#else
    TempDirectory work, logs;
    // 16384 x 16384 pixels need about 7 GiB; the child may have 1 GiB.
    Child render({BRELVIX_RENDER_PATH, "--module", BRELVIX_MODULE_PATH, "--width", "16384",
                  "--height", "16384", "--spp", "1", "-o", work.file("out.png"), "--save-scene",
                  work.file("camera.scene")},
                 logs.file("render"), rlim_t{1} << 30);
    EXPECT_EQ(render.wait(), 1);
    expectOneLine(render.err(), "not enough memory for a 16384 x 16384 image");
    EXPECT_TRUE(work.entries().empty()) << *work.entries().begin();
#endif
}

TEST(InfoCommand, ReadsItsCommandLine) {
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string out; // part of the output
        std::string err; // part of the errors
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage: brelvix-info [MODULE]", ""},
        {{"-h"}, 0, "Usage: brelvix-info [MODULE]", ""},
        {{"--verbose"}, 2, "", "brelvix-info: unknown option"},
        {{BRELVIX_MODULE_PATH, "extra"}, 2, "", "one module path at most"},
        {{BRELVIX_MODULE_PATH}, 0, "server      CameraHandler", ""},
        {{}, 0, "module      " + fs::path(BRELVIX_MODULE_PATH).string(), ""},
    };
    TempDirectory logs;
    for (const Case &c : cases) {
        std::vector<std::string> arguments = {BRELVIX_INFO_PATH};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        SCOPED_TRACE(c.arguments.empty() ? "no arguments" : c.arguments[0]);
        Child info(arguments, logs.file("info"));
        EXPECT_EQ(info.wait(), c.exitCode);
        const std::string out = info.out();
        const std::string err = info.err();
        EXPECT_NE(out.find(c.out), std::string::npos) << out;
        EXPECT_NE(err.find(c.err), std::string::npos) << err;
        if (c.exitCode != 0) {
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        }
    }
}

TEST(InstalledTools, FindTheInstalledModule) {
    TempDirectory prefix, logs;
    Child install(
        {BRELVIX_CMAKE_COMMAND, "--install", BRELVIX_BUILD_DIR, "--prefix", prefix.file("")},
        logs.file("install"));
    ASSERT_EQ(install.wait(), 0) << install.err();

    Child info({prefix.file("bin/brelvix-info")}, logs.file("info"));
    EXPECT_EQ(info.wait(), 0) << info.err();
    const std::string firstLine = info.out().substr(0, info.out().find('\n'));
    EXPECT_NE(firstLine.find(prefix.file("")), std::string::npos) << firstLine;
    EXPECT_FALSE(fs::exists(prefix.file("bin/brelvix.so")));

    const std::string image = prefix.file("out.png");
    Child render({prefix.file("bin/brelvix-render"), "--width", "8", "--height", "4", "--spp", "1",
                  "-q", "-o", image},
                 logs.file("render"));
    EXPECT_EQ(render.wait(), 0) << render.err();
    EXPECT_EQ(render.out(), image + "\n");
    EXPECT_TRUE(fs::exists(image));
}

} // namespace
