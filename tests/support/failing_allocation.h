// The module's allocator as the unit tests link it: it counts the blocks the
// module holds and can make one chosen allocation fail.
#ifndef BRELVIX_TESTS_SUPPORT_FAILING_ALLOCATION_H
#define BRELVIX_TESTS_SUPPORT_FAILING_ALLOCATION_H

#include <cstddef>

namespace brelvix::testing {

/// The `nth` allocation from now (1 = the next) fails; 0 cancels.
void failAllocation(int nth);
/// Blocks the module has allocated and not released.
std::size_t liveModuleBlocks();
/// Allocation requests the module has made since the program started.
std::size_t moduleAllocationRequests();

} // namespace brelvix::testing

#endif
