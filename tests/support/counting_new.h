// A replacement of the global operator new that counts its calls, for tests
// that show a code path allocates nothing. Link counting_new.cpp to use it.
#ifndef BRELVIX_TESTS_SUPPORT_COUNTING_NEW_H
#define BRELVIX_TESTS_SUPPORT_COUNTING_NEW_H

#include <cstddef>

namespace brelvix::testing {

/// Calls of the global operator new since the program started.
std::size_t operatorNewCalls();

} // namespace brelvix::testing

#endif
