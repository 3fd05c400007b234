#include "shared/allocation.h"

#include <cstdlib>

namespace brelvix {

void *allocateZeroed(std::size_t count, std::size_t size) noexcept {
    return std::calloc(count, size);
}

void releaseMemory(void *block) noexcept { std::free(block); }

} // namespace brelvix
