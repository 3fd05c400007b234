#include "tools/output/signal_watch.h"

#include <pthread.h>
#include <time.h>

namespace brelvix::render {

SignalWatch::SignalWatch() {
    sigemptyset(&watched_);
    sigaddset(&watched_, SIGINT);
    sigaddset(&watched_, SIGTERM);
    sigaddset(&watched_, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &watched_, &previous_);
    watcher_ = std::thread([this] {
        // Wakes now and then to see whether the watch is over.
        const timespec interval{0, 50'000'000};
        while (!done_.load()) {
            const int signal = sigtimedwait(&watched_, nullptr, &interval);
            if (signal > 0) {
                int none = 0;
                received_.compare_exchange_strong(none, signal);
            }
        }
    });
}

SignalWatch::~SignalWatch() {
    done_ = true;
    watcher_.join();
    const timespec now{0, 0};
    while (sigtimedwait(&watched_, nullptr, &now) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

} // namespace brelvix::render
