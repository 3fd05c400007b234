#include "tools/shot/loading_child.h"

#include "tools/shot/shot_wire.h"
#include "tools/world/world_scene.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <ucontext.h>
#include <unistd.h>
#include <utility>

namespace brelvix::render::child {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true; // their shadow memory needs the whole space
#else
constexpr bool kSanitized = false;
#endif
#if defined(__SANITIZE_THREAD__)
constexpr bool kOwnThread = false; // no threads after a fork under ThreadSanitizer
#else
constexpr bool kOwnThread = true;
#endif

int childPipe = -1;
bool memoryReported = false;

void writeAll(const char *data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(childPipe, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            _exit(3); // the parent is gone
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void sendHeader(Record kind, std::uint64_t length) {
    char header[kHeaderBytes];
    header[0] = kind;
    std::memcpy(header + 1, &length, sizeof length);
    writeAll(header, sizeof header);
}

/// Allocates nothing: also sent when memory has run out.
void send(Record kind, const char *data, std::size_t size) {
    sendHeader(kind, size);
    writeAll(data, size);
}

void send(Record kind, const std::string &text) { send(kind, text.data(), text.size()); }

/// Tells the parent, then lets operator new throw.
void outOfMemory() {
    if (!memoryReported) {
        memoryReported = true;
        send(kOutOfMemory, nullptr, 0);
    }
    std::set_new_handler(nullptr);
}

void noteImport(const std::string &path, bool object) {
    send(object ? kObjectFile : kSceneFile, path);
}

struct LoadJob {
    const std::string *path;
    const ShotRequest *request;
};

void *load(void *argument) {
    const LoadJob &job = *static_cast<LoadJob *>(argument);
    try {
        std::string error;
        const std::unique_ptr<Shot> shot = Shot::load(*job.path, *job.request, error);
        if (!shot) {
            // The parent shortens the line; this keeps the record small.
            send(kError, error.substr(0, 64 * 1024));
            return nullptr;
        }
        // Counted first, then written straight into the pipe.
        ByteWriter counter = ByteWriter::counting();
        shot->write(counter);
        sendHeader(kResult, counter.size());
        ByteWriter out = ByteWriter::into(childPipe);
        shot->write(out);
        out.flush();
        // Done: the parent hears the pipe close now, and nothing is freed
        // piece by piece.
        _exit(0);
    } catch (const std::bad_alloc &) {
        outOfMemory();
    } catch (const std::exception &failure) {
        send(kError, *job.path + ": " + failure.what());
    }
    return nullptr;
}

LoadJob *stackJob = nullptr; // makecontext passes only ints

void loadJobOnStack() { load(stackJob); }

/// Runs `job` on a stack of `size` bytes of its own, still on this thread,
/// below a guard: a second thread would cost the load a malloc arena of its
/// own and the kernel a flush of the other processor's page tables at every
/// unmapping. False when the stack
/// cannot be had.
bool loadOnOwnStack(LoadJob &job, std::size_t size) {
    constexpr std::size_t kGuard = 64 * 1024;
    void *const base = mmap(nullptr, size + kGuard, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (base == MAP_FAILED) {
        return false;
    }
    ucontext_t caller;
    ucontext_t loader;
    if (mprotect(base, kGuard, PROT_NONE) != 0 || getcontext(&loader) != 0) {
        munmap(base, size + kGuard);
        return false;
    }
    loader.uc_stack.ss_sp = static_cast<char *>(base) + kGuard;
    loader.uc_stack.ss_size = size;
    loader.uc_link = &caller;
    stackJob = &job;
    makecontext(&loader, loadJobOnStack, 0);
    return swapcontext(&caller, &loader) == 0;
}

} // namespace

[[noreturn]] void runChild(int pipe, pid_t parent, const std::string &path,
                           const ShotRequest &request, const LoadLimits &limits) {
    childPipe = pipe;
    // Ends with the parent, whatever ends it; makes no core file.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) {
        _exit(3);
    }
    std::signal(SIGPIPE, SIG_IGN);
    // The importers' own words (an assertion's text, a log) would come
    // between the parent's lines: the parent says what happened.
    if (const int nowhere = open("/dev/null", O_RDWR); nowhere >= 0) {
        dup2(nowhere, STDOUT_FILENO);
        dup2(nowhere, STDERR_FILENO);
        close(nowhere);
    }
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    const rlimit cpu{static_cast<rlim_t>(limits.cpuSeconds),
                     static_cast<rlim_t>(limits.cpuSeconds) + 1};
    setrlimit(RLIMIT_CPU, &cpu);
    if (!kSanitized) {
        rlimit space{};
        getrlimit(RLIMIT_AS, &space);
        space.rlim_cur = std::min<rlim_t>(space.rlim_max, limits.memory);
        setrlimit(RLIMIT_AS, &space);
    }
    std::set_new_handler(outOfMemory);
    world::setImportObserver(noteImport);
    send(kSceneFile, path);

    LoadJob job{&path, &request};
    // A quarter of the address space, at most 1 GiB, for the importers'
    // recursion over deep node trees.
    const std::size_t stack =
        std::max<std::size_t>(static_cast<std::size_t>(std::min<std::uint64_t>(
                                  limits.memory / 4, std::uint64_t{1} << 30)),
                              8u << 20);
    if (!kSanitized && loadOnOwnStack(job, stack)) {
        _exit(0);
    }
    // The sanitizers follow threads, not switched stacks.
    pthread_attr_t attributes;
    pthread_t thread;
    if (kOwnThread && pthread_attr_init(&attributes) == 0 &&
        pthread_attr_setstacksize(&attributes, stack) == 0 &&
        pthread_create(&thread, &attributes, load, &job) == 0) {
        pthread_join(thread, nullptr);
    } else {
        load(&job);
    }
    _exit(0);
}

} // namespace brelvix::render::child
