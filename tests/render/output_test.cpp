// What tools/output prints: the progress bar over counts beyond 32 bits, and
// the one error line every failure goes through.
#include "tools/output/error_text.h"
#include "tools/output/progress_bar.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>

namespace brelvix::render {
namespace {

TEST(ProgressBar, CountsRowsBeyondThirtyTwoBits) {
    // 3 frames of 16384 rows scaled far past an int, as a long range of
    // frames sums its rows.
    constexpr std::int64_t kTotal = std::int64_t{3} << 40;
    struct Case {
        std::int64_t done;
        std::string shows;
    };
    const Case cases[] = {
        {0, "frame 1/3 [........................................] 0%"},
        {kTotal / 2, "frame 2/3 [####################....................] 50%"},
        {kTotal - 1, "frame 3/3 [#######################################.] 99%"},
        {kTotal, "frame 3/3 [########################################] 100%"},
    };
    for (const Case &c : cases) {
        std::ostringstream err;
        {
            ProgressBar bar(err, 3);
            bar(c.done, kTotal);
            EXPECT_EQ(err.str(), "\rrendering " + c.shows);
        }
        // Dropped, it wipes its line.
        EXPECT_EQ(err.str().substr(err.str().size() - 82), "\r" + std::string(80, ' ') + "\r");
    }
}

TEST(ProgressBar, RedrawsOnlyWhenThePercentChanges) {
    std::ostringstream err;
    ProgressBar bar(err, 1);
    bar(1, 1000);
    const std::string once = err.str();
    bar(2, 1000);
    EXPECT_EQ(err.str(), once);
    bar(10, 1000);
    EXPECT_EQ(err.str(), once + "\rrendering [........................................] 1%");
}

TEST(ErrorLine, PrintErrorEscapesEveryControlCharacterOnOneLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"--frame 1\n2: not a number", "--frame 1\\n2: not a number"},
        {"--screen-width \x1b[2Jx: give", "--screen-width \\x1b[2Jx: give"},
        {std::string("nul \0 and del \x7f", 15), "nul \\x00 and del \\x7f"},
        {"tab\there\r", "tab\\there\\r"},
    };
    for (const auto &[line, printed] : cases) {
        std::ostringstream err;
        printError(err, line);
        EXPECT_EQ(err.str(), "brelvix-render: " + printed + "\n");
    }
}

} // namespace
} // namespace brelvix::render
