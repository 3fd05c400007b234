#include "tools/render/row_pool.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace brelvix::render {

int forEachRow(int rows, int threads, const RowWork &work, const ProgressReport &progress,
               const std::atomic<int> *stop) {
    std::atomic<int> nextRow{0};
    std::atomic<int> rowsDone{0};
    // Set by a worker that failed; the others then stop as on `stop`.
    std::atomic<bool> failed{false};
    std::exception_ptr failure;
    std::mutex failureLock;
    const StopCheck stopping = [&] {
        return failed.load(std::memory_order_relaxed) ||
               (stop != nullptr && stop->load(std::memory_order_relaxed) != 0);
    };

    const auto worker = [&] {
        try {
            for (int row = nextRow++; row < rows && !stopping(); row = nextRow++) {
                work(row, stopping);
                ++rowsDone;
            }
        } catch (...) {
            const std::lock_guard<std::mutex> guard(failureLock);
            if (!failure) {
                failure = std::current_exception();
            }
            failed = true;
        }
    };

    const int workers = std::clamp(threads, 1, std::max(rows, 1));
    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(workers));
    const auto joinAll = [&pool] {
        for (std::thread &thread : pool) {
            thread.join();
        }
    };
    try {
        for (int i = 0; i < workers; ++i) {
            pool.emplace_back(worker);
        }
    } catch (...) {
        failed = true;
        joinAll();
        throw;
    }
    if (progress) {
        while (rowsDone.load() < rows && !stopping()) {
            progress(rowsDone.load(), rows);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    joinAll();
    if (failure) {
        std::rethrow_exception(failure);
    }
    if (progress && !stopping()) {
        progress(rows, rows);
    }
    return workers;
}

} // namespace brelvix::render
