// Reading a user's scene and the object files it names in a child process,
// so that no file can take the renderer down with it.
//
// The child reads through the same `Shot::load` as ever, on a large stack of
// its own (deep but legal node trees recurse in the importers), under an
// address-space limit and a processor-time limit, with no core file. It tells
// the parent each file's name just before an importer reads it, and at the
// end sends the whole shot (shot_wire.h) through a pipe. The parent keeps
// the signals: it polls the pipe and the signal watch together, so that a
// signal kills the child at once. A child that crashes, runs out of memory
// or of time becomes one line naming the file it was reading.
#ifndef BRELVIX_TOOLS_SHOT_LOADING_PROCESS_H
#define BRELVIX_TOOLS_SHOT_LOADING_PROCESS_H

#include "tools/shot/loading_protocol.h"
#include "tools/shot/shot.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace brelvix::render {

/// The memory a load may use without --max-memory: half the machine's.
std::uint64_t defaultLoadMemory();

/// A load going on in a child process: started, then finished while the
/// caller did other work in between. Ended without `finish`, the child is
/// killed and reaped.
class LoadingProcess {
  public:
    /// Forks the child that reads `path` under `limits`.
    static LoadingProcess start(const std::string &path, const ShotRequest &request,
                                const LoadLimits &limits);
    /// The shot, as loadShotInChild gives it; once.
    std::unique_ptr<Shot> finish(std::string &error, const std::atomic<int> *stop = nullptr);

    LoadingProcess(LoadingProcess &&other) noexcept;
    LoadingProcess &operator=(LoadingProcess &&) = delete;
    ~LoadingProcess();

  private:
    LoadingProcess() = default;
    std::string path_;
    LoadLimits limits_;
    std::string error_; // why the child could not be started
    int pid_ = -1;
    int pipe_ = -1;
};

/// `Shot::load(path, request, error)` in a child process under `limits`.
/// Null with a one-line `error` as `Shot::load` gives it, or naming the file
/// that crashed the importer or needed more memory or time than allowed; or
/// with `error` "interrupted" as soon as `stop` turns non-zero (the child
/// killed and reaped).
std::unique_ptr<Shot> loadShotInChild(const std::string &path, const ShotRequest &request,
                                      const LoadLimits &limits, std::string &error,
                                      const std::atomic<int> *stop = nullptr);

} // namespace brelvix::render

#endif
