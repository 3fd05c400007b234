// A file that appears whole or not at all: written to a hidden temporary
// beside its path, renamed over the path when complete, removed otherwise.
#ifndef BRELVIX_TOOLS_OUTPUT_PENDING_FILE_H
#define BRELVIX_TOOLS_OUTPUT_PENDING_FILE_H

#include <cstdio>
#include <memory>
#include <string>

namespace brelvix::render {

class PendingFile {
  public:
    /// Makes the temporary ".NAME.XXXXXX" beside `path` (NAME shortened when
    /// the temporary's name would be too long for the directory); null with
    /// a one-line `error` when no file can be made there.
    static std::unique_ptr<PendingFile> open(const std::string &path, std::string &error);
    /// Removes the temporary unless it was committed.
    ~PendingFile();
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    /// Where to write the content; null after commit.
    std::FILE *stream() const { return stream_; }
    const std::string &path() const { return path_; }

    /// Flushes the content to the disc and renames it over the path; false
    /// with `error` set, the path untouched and the temporary gone.
    bool commit(std::string &error);

  private:
    PendingFile() = default;
    std::string path_;
    std::string temporaryPath_;
    std::FILE *stream_ = nullptr;
    int crashSlot_ = -1; // where a crash finds the temporary
};

/// From now on a crash of the process (SIGSEGV, SIGBUS, SIGABRT, SIGFPE,
/// SIGILL) removes the temporaries not yet committed before the process
/// ends as it would have. For a program's `main`; a sanitized build keeps
/// the sanitizer's own handlers.
void removeTemporariesOnCrash();

/// Whether two paths name one file: by identity (device and inode) when both
/// exist, else by their paths with every symbolic link followed, a link to a
/// file not made yet included.
bool sameFile(const std::string &a, const std::string &b);

} // namespace brelvix::render

#endif
