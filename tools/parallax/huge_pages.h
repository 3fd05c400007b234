// Buffers of a frame's size, in huge pages where the system gives them on
// request (Linux's transparent huge pages): a frame's field, its figures and
// the advice's lines are megabytes each, which the system otherwise maps in
// a 4 KiB page at a time as they are first written.
#ifndef BRELVIX_TOOLS_PARALLAX_HUGE_PAGES_H
#define BRELVIX_TOOLS_PARALLAX_HUGE_PAGES_H

#include <cstddef>
#include <cstdint>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace brelvix::parallax {

/// Reserves room for `count` values, the whole huge pages within it asked
/// for as such. Only a hint: without huge pages the buffer is as good.
template <typename T> void reserveInHugePages(std::vector<T> &values, std::size_t count) {
    values.reserve(count);
#ifdef __linux__
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20U;
    const auto begin = reinterpret_cast<std::uintptr_t>(values.data());
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (begin + count * sizeof(T)) & ~(kHugePage - 1);
    if (last > first) {
        madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
    }
#endif
}

} // namespace brelvix::parallax

#endif
