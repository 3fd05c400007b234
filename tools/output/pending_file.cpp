#include "tools/output/pending_file.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace brelvix::render {
namespace {

std::string systemError(const std::string &path, int code) {
    return "Cannot write " + path + ": " + std::strerror(code);
}

/// ".NAME.XXXXXX", NAME cut so that the whole stays within NAME_MAX bytes.
std::string temporaryName(const std::string &name) {
    constexpr std::string_view kSuffix = ".XXXXXX";
    std::string hidden(1, '.');
    hidden.append(name, 0, NAME_MAX - hidden.size() - kSuffix.size());
    hidden.append(kSuffix);
    return hidden;
}

/// The path with its symbolic links followed, as far as they lead.
std::filesystem::path resolved(const std::string &path) {
    namespace fs = std::filesystem;
    std::error_code ignored;
    fs::path current = fs::absolute(path, ignored);
    // A loop of links ends where the system would give up.
    for (int hops = 0; hops < 40 && fs::is_symlink(current, ignored); ++hops) {
        const fs::path target = fs::read_symlink(current, ignored);
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return fs::weakly_canonical(current, ignored);
}

/// The temporaries not committed, where a crash handler can reach them
/// without allocating: a fixed table of slots, each claimed with a flag.
constexpr std::size_t kCrashSlots = 8;
char crashPaths[kCrashSlots][PATH_MAX];
std::atomic<bool> crashSlotUsed[kCrashSlots];

int claimCrashSlot(const std::string &path) {
    if (path.size() >= PATH_MAX) {
        return -1;
    }
    for (std::size_t i = 0; i < kCrashSlots; ++i) {
        bool expected = false;
        if (crashSlotUsed[i].compare_exchange_strong(expected, true)) {
            std::memcpy(crashPaths[i], path.c_str(), path.size() + 1);
            return static_cast<int>(i);
        }
    }
    return -1;
}

void releaseCrashSlot(int slot) {
    if (slot >= 0) {
        crashSlotUsed[slot] = false;
    }
}

[[maybe_unused]] void onCrash(int signal) {
    for (std::size_t i = 0; i < kCrashSlots; ++i) {
        if (crashSlotUsed[i].load()) {
            unlink(crashPaths[i]);
        }
    }
    // The handler was reset: the signal now ends the process as before.
    raise(signal);
}

} // namespace

void removeTemporariesOnCrash() {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    struct sigaction action {};
    action.sa_handler = onCrash;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL}) {
        sigaction(signal, &action, nullptr);
    }
#endif
}

bool sameFile(const std::string &a, const std::string &b) {
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0) {
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    }
    return resolved(a) == resolved(b);
}

std::unique_ptr<PendingFile> PendingFile::open(const std::string &path, std::string &error) {
    namespace fs = std::filesystem;
    std::error_code status;
    if (fs::is_directory(path, status)) {
        error = systemError(path, EISDIR);
        return nullptr;
    }
    const fs::path target(path);
    const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string pattern = (directory / temporaryName(target.filename().string())).string();
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) {
        error = systemError(path, errno);
        return nullptr;
    }
    // mkstemp makes the file private; give it the mode a new file would get.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);

    std::unique_ptr<PendingFile> file(new PendingFile());
    file->path_ = path;
    file->temporaryPath_ = pattern;
    file->crashSlot_ = claimCrashSlot(pattern);
    file->stream_ = fdopen(descriptor, "wb");
    if (file->stream_ == nullptr) {
        error = systemError(path, errno);
        close(descriptor);
        return nullptr; // the destructor removes the temporary
    }
    return file;
}

PendingFile::~PendingFile() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
    }
    if (!temporaryPath_.empty()) {
        std::remove(temporaryPath_.c_str());
    }
    releaseCrashSlot(crashSlot_);
}

bool PendingFile::commit(std::string &error) {
    if (stream_ == nullptr) {
        error = "Cannot write " + path_ + ": already written";
        return false;
    }
    const bool written = std::ferror(stream_) == 0;
    const bool flushed = written && std::fflush(stream_) == 0 && fsync(fileno(stream_)) == 0;
    const int flushErrno = errno;
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (!written) {
        error = "Cannot write " + path_;
        return false;
    }
    if (!flushed || !closed) {
        error = systemError(path_, flushed ? errno : flushErrno);
        return false;
    }
    if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
        error = systemError(path_, errno);
        return false;
    }
    temporaryPath_.clear();
    releaseCrashSlot(crashSlot_);
    crashSlot_ = -1;
    return true;
}

} // namespace brelvix::render
