// Ctrl-C and termination requests as a request to stop, so that the renderer
// can end on its own road: its threads joined, its temporary files removed,
// one line printed.
#ifndef BRELVIX_TOOLS_OUTPUT_SIGNAL_WATCH_H
#define BRELVIX_TOOLS_OUTPUT_SIGNAL_WATCH_H

#include <atomic>
#include <csignal>
#include <thread>

namespace brelvix::render {

/// While it lives, SIGINT, SIGTERM and SIGHUP are blocked in the thread that
/// made it and in every thread started after, and a thread of its own waits
/// for them: `received()` turns from 0 to the first one's number. Make it in
/// `main` before any other thread starts. When it goes, signals that came
/// meanwhile are dropped and the signal mask is restored.
class SignalWatch {
  public:
    SignalWatch();
    ~SignalWatch();
    SignalWatch(const SignalWatch &) = delete;
    SignalWatch &operator=(const SignalWatch &) = delete;

    const std::atomic<int> &received() const { return received_; }

  private:
    sigset_t watched_{};
    sigset_t previous_{};
    std::atomic<int> received_{0};
    std::atomic<bool> done_{false};
    std::thread watcher_;
};

} // namespace brelvix::render

#endif
