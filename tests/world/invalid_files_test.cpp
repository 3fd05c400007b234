// Every file of Assimp's invalid/ folder is refused with one line that
// names it. Each is loaded in a child process under a memory limit (and a
// watch on its resident size where the sanitizer's shadow memory rules out
// an address-space limit), so that a file that makes the reader allocate
// without bound fails the test instead of taking the machine down.
#include "tools/world/declared_size.h"
#include "tools/world/world_scene.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace brelvix::world {
namespace {

constexpr long kMemoryLimitBytes = 3L << 30;
constexpr auto kTimeLimit = std::chrono::seconds(30);

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressLimitWorks = false;
#else
constexpr bool kAddressLimitWorks = true;
#endif

struct ChildResult {
    bool finished = false; ///< Exited by itself, within time and memory.
    int exitCode = -1;
    std::string output;
    std::string fault; ///< Why it was stopped or how it died.
};

long residentBytes(pid_t pid) {
    std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

/// Loads `path` in a child process; its error text comes back through a
/// pipe, and its exit code is 0 exactly when the load failed.
ChildResult loadInChild(const std::string &path) {
    int channel[2];
    if (pipe(channel) != 0) {
        return {false, -1, {}, "no pipe"};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(channel[0]);
        if (kAddressLimitWorks) {
            const rlimit limit{kMemoryLimitBytes, kMemoryLimitBytes};
            setrlimit(RLIMIT_AS, &limit);
        }
        std::string error;
        const bool loaded = loadScene(path, error).has_value();
        const ssize_t written = write(channel[1], error.data(), error.size());
        _exit(loaded || written != static_cast<ssize_t>(error.size()) ? 1 : 0);
    }
    close(channel[1]);
    ChildResult result;
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (residentBytes(pid) > kMemoryLimitBytes) {
            result.fault = "over the memory limit";
        } else if (std::chrono::steady_clock::now() - start > kTimeLimit) {
            result.fault = "over the time limit";
        }
        if (!result.fault.empty()) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    char buffer[4096];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) {
        result.output.append(buffer, static_cast<std::size_t>(n));
    }
    close(channel[0]);
    if (result.fault.empty() && WIFEXITED(status)) {
        result.finished = true;
        result.exitCode = WEXITSTATUS(status);
    } else if (result.fault.empty()) {
        result.fault = "killed by signal " + std::to_string(WTERMSIG(status));
    }
    return result;
}

TEST(InvalidFiles, EachIsRefusedWithOneLineNamingIt) {
    const std::filesystem::path folder = "/usr/share/assimp/models/invalid";
    int tried = 0;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        const std::string path = entry.path().string();
        if (entry.path().filename() == "readme.txt") {
            continue;
        }
        ++tried;
        const ChildResult result = loadInChild(path);
        ASSERT_TRUE(result.finished) << path << ": " << result.fault;
        EXPECT_EQ(result.exitCode, 0) << path << " loaded: " << result.output;
        EXPECT_EQ(result.output.rfind(path + ": ", 0), 0u) << result.output;
        EXPECT_EQ(result.output.find('\n'), std::string::npos) << result.output;
    }
    EXPECT_EQ(tried, 14);
}

TEST(InvalidFiles, AnAbsurdDeclaredSizeIsFoundBeforeReading) {
    // Outside a memory limit Assimp would reserve about 16 GB for this
    // file's vertex count and then abort; the header check must refuse it
    // first, not the limit's failed allocation.
    const std::string path = "/usr/share/assimp/models/invalid/OutOfMemory.off";
    const ChildResult result = loadInChild(path);
    ASSERT_TRUE(result.finished) << result.fault;
    EXPECT_EQ(result.output, path + ": declares 353535235358 vertices and 6 faces in 309 bytes");
}

TEST(InvalidFiles, AGoodFileLoadsUnderTheSameGuard) {
    // The limits alone must not be what refuses the files above.
    const ChildResult fine = loadInChild("/usr/share/assimp/models/OBJ/box.obj");
    ASSERT_TRUE(fine.finished) << fine.fault;
    EXPECT_EQ(fine.exitCode, 1) << "box.obj loads: " << fine.output;
}

TEST(InvalidFiles, DeclaredCountsAreWeighedAgainstTheFileSize) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    const std::string absurdPly =
        (folder / ("absurd-" + std::to_string(getpid()) + ".ply")).string();
    std::ofstream(absurdPly) << "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n"
                                "element face 4000000000\nproperty list uchar int vertex_indices\n"
                                "end_header\n0\n0\n0\n";
    const std::string models = "/usr/share/assimp/models/";
    const struct {
        std::string path;
        std::string fault;
    } cases[] = {
        {absurdPly, "declares 4000000000 elements \"face\" in 135 bytes"},
        {models + "PLY/pond.0.ply", ""},
        {models + "OFF/Cube.off", ""},
        {models + "OFF/Wuson.off", ""},
        {models + "OBJ/box.obj", ""}, // a format without declared counts
    };
    for (const auto &c : cases) {
        EXPECT_EQ(declaredSizeFault(c.path), c.fault) << c.path;
    }
    std::filesystem::remove(absurdPly);
}

} // namespace
} // namespace brelvix::world
