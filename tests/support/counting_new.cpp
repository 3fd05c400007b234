#include "tests/support/counting_new.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> gOperatorNewCalls{0};
} // namespace

void *operator new(std::size_t size) {
    ++gOperatorNewCalls;
    if (void *const block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}
void operator delete(void *block) noexcept { std::free(block); }
void operator delete(void *block, std::size_t) noexcept { std::free(block); }

namespace brelvix::testing {
std::size_t operatorNewCalls() { return gOperatorNewCalls.load(); }
} // namespace brelvix::testing
