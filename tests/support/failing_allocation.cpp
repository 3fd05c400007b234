#include "tests/support/failing_allocation.h"

#include "shared/allocation.h"

#include <atomic>
#include <cstdlib>

namespace brelvix {
namespace {
std::atomic<int> gFailCountdown{0};
std::atomic<std::size_t> gLiveBlocks{0};
std::atomic<std::size_t> gRequests{0};
} // namespace

void *allocateZeroed(std::size_t count, std::size_t size) noexcept {
    ++gRequests;
    const int countdown = gFailCountdown.load();
    if (countdown > 0) {
        gFailCountdown.store(countdown - 1);
        if (countdown == 1) {
            return nullptr;
        }
    }
    void *const block = std::calloc(count, size);
    if (block != nullptr) {
        ++gLiveBlocks;
    }
    return block;
}

void releaseMemory(void *block) noexcept {
    if (block != nullptr) {
        --gLiveBlocks;
        std::free(block);
    }
}

namespace testing {
void failAllocation(int nth) { gFailCountdown.store(nth); }
std::size_t liveModuleBlocks() { return gLiveBlocks.load(); }
std::size_t moduleAllocationRequests() { return gRequests.load(); }
} // namespace testing

} // namespace brelvix
