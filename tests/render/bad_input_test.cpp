// The built brelvix-render, as users run it, given command lines that are
// wrong: renderer options and depth-check options alike end with exit status
// 2 and one line on standard error, with no control character of the command
// line echoed to the terminal, and leave no file. And the names a file
// system takes work for every output format.
#include "tests/render/child_process.h"
#include "tests/render/render_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using namespace brelvix::render::test;

/// Whether `text` holds a control character other than its line breaks.
bool holdsControl(const std::string &text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && byte != '\n') || byte == 0x7F;
    });
}

struct BadLine {
    std::vector<std::string> arguments;
    /// What the one line must say, as printed.
    std::string says;
};

TEST(BuiltProgramBadInput, EachWrongCommandLineIsOneEscapedLineAndNoFile) {
    const TempDirectory directory;
    const std::string map = directory.file("map.png");
    const std::string report = directory.file("report.json");
    const BadLine cases[] = {
        {{"--frame", "1\n2"}, "1\\n2"},
        {{"--parallax", map, "--screen-width", "\x1b[2Jx"}, "--screen-width \\x1b[2Jx"},
        {{"--parallax", map, "--budget", "1,2"}, "NEAR at most 0"},
        {{"--parallax-report", report, "--vertical-limit", "-1"}, "0 or more"},
        {{"--parallax", directory.file("map.jpg")}, "the map is a PNG"},
        {{"--screen-width", "4"}, "go with --parallax or --parallax-report"},
        {{"--parallax", map, "--save-scene", directory.file("s.bsc")},
         "--output and --save-scene go with"},
        {{"--budget"}, "--budget"},
        {{"--bogus\x1b]0;title\x07"}, "\\x1b]0;title\\x07"},
        {{"--width", "\r7"}, "\\r7"},
    };
    for (const BadLine &bad : cases) {
        SCOPED_TRACE(bad.says);
        std::vector<std::string> arguments{BRELVIX_RENDER_PATH, "--module", BRELVIX_MODULE_PATH,
                                           "-o", directory.file("out.png")};
        arguments.insert(arguments.end(), bad.arguments.begin(), bad.arguments.end());
        Child run(arguments, directory.file("run"));
        EXPECT_EQ(run.wait(), 2);
        const std::string err = run.err();
        expectOneLine(err, bad.says);
        EXPECT_FALSE(holdsControl(err)) << err;
        EXPECT_EQ(run.out(), "");
        EXPECT_EQ(directory.entries(), (std::set<std::string>{"run.out", "run.err"}));
    }
}

TEST(BuiltProgramOutput, LongestNamesWorkForEveryFormatUnderTheUmask) {
    // 250 bytes with the extension: a hidden temporary of the same name would
    // pass the file system's 255, so the writer must shorten its own name.
    const TempDirectory directory;
    const mode_t kept = umask(027);
    for (const std::string extension : {".png", ".exr"}) {
        SCOPED_TRACE(extension);
        const std::string name = std::string(250 - extension.size(), 'n') + extension;
        Child run({BRELVIX_RENDER_PATH, "--module", BRELVIX_MODULE_PATH, "--width", "16",
                   "--height", "8", "--spp", "1", "-q", "-o", directory.file(name)},
                  directory.file("run"));
        EXPECT_EQ(run.wait(), 0) << run.err();
        EXPECT_EQ(run.out(), directory.file(name) + "\n");
        EXPECT_EQ(directory.entries(), (std::set<std::string>{name, "run.out", "run.err"}));
        struct stat status {};
        ASSERT_EQ(stat(directory.file(name).c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0640u);
        std::filesystem::remove(directory.file(name));
    }
    umask(kept);
}

} // namespace
