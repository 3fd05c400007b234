#include "tools/shot/loading_process.h"

#include "tools/output/error_text.h"
#include "tools/shot/loading_child.h"
#include "tools/shot/shot_wire.h"
#include "tools/world/file_kind.h"
#include "tools/world/world_scene.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace brelvix::render {
namespace {

using namespace child;

// -- The parent ------------------------------------------------------------

/// Kills and reaps the child unless it was reaped.
struct ChildProcess {
    pid_t pid = -1;
    int pipe = -1;
    ~ChildProcess() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (pipe >= 0) {
            close(pipe);
        }
    }
    /// The wait status.
    int reap() {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        pid = -1;
        return status;
    }
};

bool stopped(const std::atomic<int> *stop) { return stop != nullptr && stop->load() != 0; }

std::string gigabytes(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g GB", static_cast<double>(bytes) / 1e9);
    return text;
}

/// The pipe from the child, read as the bytes come, the stop request heard
/// between them.
class PipeReader {
  public:
    PipeReader(int fd, const std::atomic<int> *stop) : fd_(fd), stop_(stop) {}

    /// Up to `most` bytes; 0 at the end of the stream, on a failure or when
    /// stopped.
    std::size_t read(char *into, std::size_t most) {
        while (!stopped(stop_)) {
            pollfd ready{fd_, POLLIN, 0};
            const int polled = poll(&ready, 1, 50);
            if (polled < 0 && errno != EINTR) {
                return 0;
            }
            if (polled <= 0) {
                continue;
            }
            const ssize_t got = ::read(fd_, into, most);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            return got > 0 ? static_cast<std::size_t>(got) : 0;
        }
        return 0;
    }
    /// Exactly `size` bytes, or false.
    bool readAll(char *into, std::size_t size) {
        while (size > 0) {
            const std::size_t got = read(into, size);
            if (got == 0) {
                return false;
            }
            into += got;
            size -= got;
        }
        return true;
    }

  private:
    int fd_;
    const std::atomic<int> *stop_;
};

/// What the child said, record by record, and the shot it sent.
struct Report {
    std::string file; // the file last being read
    bool object = false;
    bool outOfMemory = false;
    std::string error;
    std::unique_ptr<Shot> shot;
    std::string shotError;
    bool damaged = false;
};

/// Longest record but the shot: a path, an error line.
constexpr std::uint64_t kLongestRecord = 1 << 20;

/// Reads the child's records until the pipe ends.
Report listen(PipeReader &pipe) {
    Report report;
    char header[kHeaderBytes];
    while (pipe.readAll(header, sizeof header)) {
        std::uint64_t length = 0;
        std::memcpy(&length, header + 1, sizeof length);
        if (header[0] == kResult) {
            ByteReader in(length,
                          [&pipe](char *into, std::size_t most) { return pipe.read(into, most); });
            report.shot = Shot::read(in, report.shotError);
            continue;
        }
        std::string body;
        if (length > kLongestRecord) {
            report.damaged = true;
            break;
        }
        body.resize(static_cast<std::size_t>(length));
        if (!pipe.readAll(body.data(), body.size())) {
            break;
        }
        switch (header[0]) {
        case kSceneFile:
        case kObjectFile:
            report.file = body;
            report.object = header[0] == kObjectFile;
            break;
        case kOutOfMemory:
            report.outOfMemory = true;
            break;
        case kError:
            report.error = body;
            break;
        default:
            report.damaged = true;
            return report;
        }
    }
    return report;
}

} // namespace

std::uint64_t defaultLoadMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) {
        return std::uint64_t{4} << 30;
    }
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 2;
}

LoadingProcess::~LoadingProcess() {
    const ChildProcess unfinished{pid_, pipe_}; // killed and reaped
}

LoadingProcess::LoadingProcess(LoadingProcess &&other) noexcept
    : path_(std::move(other.path_)), limits_(other.limits_), error_(std::move(other.error_)),
      pid_(std::exchange(other.pid_, -1)), pipe_(std::exchange(other.pipe_, -1)) {}

LoadingProcess LoadingProcess::start(const std::string &path, const ShotRequest &request,
                                     const LoadLimits &requested) {
    LoadingProcess started;
    started.path_ = path;
    // A device or a FIFO would be read forever.
    if (const std::string fault = world::fileFault(path, UINTMAX_MAX); !fault.empty()) {
        started.error_ = path + ": " + fault;
        return started;
    }
    LoadLimits &limits = started.limits_ = requested;
    if (limits.memory == 0) {
        limits.memory = defaultLoadMemory();
    }
    // A limit the renderer already runs under is the one to name.
    if (rlimit space{}; getrlimit(RLIMIT_AS, &space) == 0 && space.rlim_cur != RLIM_INFINITY) {
        limits.memory = std::min<std::uint64_t>(limits.memory, space.rlim_cur);
    }
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        started.error_ = std::string("cannot start the loading process: ") + std::strerror(errno);
        return started;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        close(ends[0]);
        runChild(ends[1], parent, path, request, limits);
    }
    close(ends[1]);
    started.pipe_ = ends[0];
    if (pid < 0) {
        started.error_ = std::string("cannot start the loading process: ") + std::strerror(errno);
        return started;
    }
    started.pid_ = pid;
    // A larger pipe: fewer turns between the two processes for a large shot.
    fcntl(started.pipe_, F_SETPIPE_SZ, 1 << 20);
    return started;
}

std::unique_ptr<Shot> LoadingProcess::finish(std::string &error, const std::atomic<int> *stop) {
    ChildProcess child{std::exchange(pid_, -1), std::exchange(pipe_, -1)};
    if (!error_.empty() || child.pid < 0) {
        error = error_.empty() ? "the loading process was finished before" : error_;
        return nullptr;
    }
    const std::string &path = path_;
    const LoadLimits &limits = limits_;
    PipeReader pipe(child.pipe, stop);
    Report report = listen(pipe);
    if (stopped(stop)) {
        error = "interrupted";
        return nullptr; // the child is killed on the way out
    }
    const int status = child.reap();
    const std::string file = (report.object ? "the object file " : "the scene file ") +
                             excerpt(report.file.empty() ? path : report.file, 160);
    if (report.outOfMemory) {
        error = file + " needs more than " + gigabytes(limits.memory) +
                " of memory to read (--max-memory)";
        return nullptr;
    }
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        if (signal == SIGXCPU) {
            error = file + " takes more than " + std::to_string(limits.cpuSeconds) +
                    " s of processor time to read";
        } else {
            error = file + " crashed the importer (SIG" + sigabbrev_np(signal) + ")";
        }
        return nullptr;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || report.damaged) {
        error = "the loading process of " + excerpt(path, 160) + " failed";
        return nullptr;
    }
    if (!report.error.empty()) {
        error = report.error;
        return nullptr;
    }
    if (!report.shot) {
        error = report.shotError.empty()
                    ? "the loading process of " + excerpt(path, 160) + " sent nothing"
                    : report.shotError;
    }
    return std::move(report.shot);
}

std::unique_ptr<Shot> loadShotInChild(const std::string &path, const ShotRequest &request,
                                      const LoadLimits &limits, std::string &error,
                                      const std::atomic<int> *stop) {
    return LoadingProcess::start(path, request, limits).finish(error, stop);
}

} // namespace brelvix::render
