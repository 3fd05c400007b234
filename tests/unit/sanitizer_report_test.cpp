// The sanitized builds' own check: a deliberate fault of each kind the build
// looks for must end its process with the sanitizer's report, under the
// options the test presets set. If a report could be printed and the process
// still succeed (a recoverable check, a missing halt_on_error), a fault
// anywhere in the suites would pass unnoticed; these tests fail instead.
//
// Each fault runs in a death test's child process, started afresh
// ("threadsafe" style), so the suite itself stays clean.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <climits>
#include <cstdlib>
#include <thread>

namespace {

/// Any end of the process but a successful exit.
[[maybe_unused]] bool failed(int status) {
    return !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

class SanitizerReport : public ::testing::Test {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

#ifdef BRELVIX_WITH_ASAN
[[gnu::noinline]] int *fourCells() { return new int[4](); }

[[gnu::noinline]] int readPastTheEnd(int index) {
    int *const block = fourCells();
    const int value = static_cast<volatile int *>(block)[index];
    delete[] block;
    return value;
}

void *volatile gBlock = nullptr;

[[gnu::noinline]] void leakABlock() {
    gBlock = std::malloc(48);
    gBlock = nullptr;
}

TEST_F(SanitizerReport, AHeapOverflowEndsTheProcess) {
    volatile int index = 4;
    EXPECT_DEATH(readPastTheEnd(index), "AddressSanitizer: heap-buffer-overflow");
}

TEST_F(SanitizerReport, ALeakFailsTheProcessAtExit) {
    EXPECT_EXIT(
        {
            leakABlock();
            std::exit(0);
        },
        failed, "LeakSanitizer: detected memory leaks");
}
#endif

#ifdef BRELVIX_WITH_UBSAN
TEST_F(SanitizerReport, UndefinedBehaviourEndsTheProcess) {
    volatile int largest = INT_MAX;
    EXPECT_DEATH(
        {
            volatile int sum = largest + 1;
            static_cast<void>(sum);
        },
        "runtime error: signed integer overflow");
}
#endif

#ifdef BRELVIX_WITH_TSAN
int gUnguarded = 0;

[[gnu::noinline]] void raceTwoThreads() {
    std::thread other([] { ++gUnguarded; });
    ++gUnguarded;
    other.join();
}

TEST_F(SanitizerReport, ADataRaceEndsTheProcess) {
    EXPECT_EXIT(
        {
            raceTwoThreads();
            std::exit(0);
        },
        failed, "ThreadSanitizer: data race");
}
#endif

} // namespace
