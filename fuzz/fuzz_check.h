// The check that ends a fuzz run on a broken property: libFuzzer saves the
// input that did it. Every target uses it, those that load no module too.
#ifndef BRELVIX_FUZZ_FUZZ_CHECK_H
#define BRELVIX_FUZZ_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

/// Ends the run with a message when a property does not hold.
#define FUZZ_CHECK(condition, ...)                                                                 \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property failed: %s\n  ", __FILE__, __LINE__,             \
                         #condition);                                                              \
            std::fprintf(stderr, __VA_ARGS__);                                                     \
            std::fprintf(stderr, "\n");                                                            \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

#endif
