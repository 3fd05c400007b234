// The module's heap, in one place: the instance record and the motion sample
// tables are its only allocations. Tests link their own definitions of these
// two functions to make allocations fail on demand.
#ifndef BRELVIX_SHARED_ALLOCATION_H
#define BRELVIX_SHARED_ALLOCATION_H

#include <cstddef>

namespace brelvix {

/// `count` zero-filled elements of `size` bytes, or null (also when the byte
/// size would overflow).
void *allocateZeroed(std::size_t count, std::size_t size) noexcept;
/// Releases what allocateZeroed returned; null is ignored.
void releaseMemory(void *block) noexcept;

} // namespace brelvix

#endif
