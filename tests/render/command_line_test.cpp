// brelvix-render's command line through its main function and the built
// module: the options it reads, the ones it refuses, the PNG it writes and the
// scene file that keeps the whole set-up.
#include "tests/render/render_test_support.h"
#include "tools/cli/command.h"
#include "tools/cli/options.h"
#include "tools/render/display_image.h"
#include "tools/render/render_tool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace brelvix::render {
namespace {

using namespace test;

/// Runs the tool; fails the test unless it succeeds.
void runTool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--module", BRELVIX_MODULE_PATH, "--width", "64",
                                         "--height", "24", "--spp", "4", "--quiet"});
    std::ostringstream out, err;
    EXPECT_EQ(cli::runCommand(arguments, out, err, false), kExitSuccess) << err.str();
}

TEST(SceneFile, KeepsTheWholeSetUpAndLoadsUnderTheCommandLine) {
    TempDirectory directory;
    const auto file = [&directory](const char *name) { return directory.file(name); };
    const std::vector<std::string> channels = {
        "--ZoomFactor",   "3.1",   "--VShift",      "0.12",  "--key",
        "HShift@0=-0.05", "--key", "HShift@1=0.07", "--key", "StereoAngle@0.5=0.03"};
    const std::vector<std::string> camera = {"--target",
                                             "0.3,0.4,2",
                                             "--move",
                                             "0.05,0,0.1",
                                             "--f-stop",
                                             "2.5",
                                             "--film-width",
                                             "0.06",
                                             "--no-dof",
                                             "--motion-steps",
                                             "2",
                                             "--frame-start",
                                             "0.25",
                                             "--frame-duration",
                                             "0.5",
                                             "--focal-distance",
                                             "2.1"};
    const auto with = [](std::vector<std::string> a, const std::vector<std::string> &b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<std::string> position = {"--position", "0.1,0.5,-0.3"};
    runTool(with(with(with(channels, camera), position),
                 {"--save-scene", file("saved.scene"), "-o", file("saved.png")}));
    // Loaded alone it gives back the same picture, and saves the same text.
    runTool({"--load-scene", file("saved.scene"), "-o", file("loaded.png"), "--save-scene",
             file("again.scene")});
    EXPECT_TRUE(readPng(file("saved.png")) == readPng(file("loaded.png")));
    const std::string text = readFile(file("saved.scene"));
    EXPECT_EQ(readFile(file("again.scene")), text);
    EXPECT_EQ(text.rfind("brelvix-render scene 1\n", 0), 0u) << text;

    // A setting on the command line wins over the file's.
    runTool({"--load-scene", file("saved.scene"), "--position", "0,0.42,-0.2", "-o",
             file("moved.png")});
    runTool(with(with(channels, camera), {"-o", file("direct.png")}));
    EXPECT_TRUE(readPng(file("moved.png")) == readPng(file("direct.png")));
    EXPECT_FALSE(readPng(file("moved.png")) == readPng(file("saved.png")));

    // The lens's part alone, as earlier versions saved it, is the channels.
    writeFile(file("lens-only.scene"), text.substr(text.find("\nlens\n") + 6));
    runTool(with(with(camera, position),
                 {"--load-scene", file("lens-only.scene"), "-o", file("lens-only.png")}));
    EXPECT_TRUE(readPng(file("lens-only.png")) == readPng(file("saved.png")));
}

// --- the command line -------------------------------------------------------

TEST(CommandLine, ReadsChannelsKeysAndVectors) {
    const ParsedCommandLine parsed = parseCommandLine(
        {"--HShift", "-0.1", "--set", "HShift=0.25", "--key", "StereoAngle@0.5=0.1", "--key",
         "StereoAngle@-1e-1=-2", "--move=-1,0,2.5", "--width", "100", "--height", "30", "--threads",
         "3", "--no-dof", "--anaglyph", "-o", "x.png"});
    ASSERT_FALSE(parsed.exitCode) << parsed.message;
    const RenderOptions &options = parsed.options;
    ASSERT_EQ(options.values.size(), 2u);
    EXPECT_EQ(options.values[0].channel, "HShift");
    EXPECT_EQ(options.values[0].value, -0.1);
    EXPECT_EQ(options.values[1].value, 0.25); // --set after the named option
    ASSERT_EQ(options.keys.size(), 2u);
    EXPECT_EQ(options.keys[0].channel, "StereoAngle");
    EXPECT_EQ(options.keys[0].time, 0.5);
    EXPECT_EQ(options.keys[0].value, 0.1);
    EXPECT_EQ(options.keys[1].time, -0.1);
    EXPECT_EQ(options.keys[1].value, -2.0);
    EXPECT_EQ(options.move.x, -1.0);
    EXPECT_EQ(options.move.z, 2.5);
    EXPECT_EQ(options.film.width, 100);
    EXPECT_EQ(options.film.height, 30);
    EXPECT_EQ(options.threads, 3);
    EXPECT_FALSE(options.film.depthOfField);
    EXPECT_TRUE(options.anaglyph);
    EXPECT_EQ(options.outputPath, "x.png");

    const ParsedCommandLine help = parseCommandLine({"--help"});
    EXPECT_EQ(help.exitCode, kExitSuccess);
    EXPECT_NE(help.message.find("--StereoDistance"), std::string::npos);
}

struct BadInput {
    std::vector<std::string> arguments;
    int exitCode;
    std::string message; // part of the error line; "{dir}" stands for the directory
};

TEST(CommandLine, BadInputsFailWithOneLineAndNoOutput) {
    TempDirectory directory;
    const std::string dir = directory.path();
    writeFile(directory.file("text.so"), "not a module\n");
    writeFile(directory.file("damaged.scene"), "channel 0 2.5\nbogus line\n");
    fs::create_directory(directory.file("folder.png"));
    writeFile(directory.file("future.scene"), "brelvix-render scene 2\nlens\n");
    writeFile(directory.file("unknown.scene"), "brelvix-render scene 1\nzoom 2\nlens\n");
    writeFile(directory.file("bad-lens.scene"),
              "brelvix-render scene 1\nf-stop 2\nlens\nchannel 0 2.5\nbogus\n");
    const std::set<std::string> fixtures = directory.entries();

    const std::vector<BadInput> cases = {
        {{"--module", "{dir}/missing.so"}, kExitFailure, "Cannot load module {dir}/missing.so"},
        {{"--module", "{dir}/text.so"}, kExitFailure, "Cannot load module {dir}/text.so"},
        {{"--set", "Focus=2"}, kExitUsage, "unknown channel 'Focus'"},
        {{"--key", "Zoom@0=2"}, kExitUsage, "unknown channel 'Zoom'"},
        {{"--ZoomFactor", "2x"}, kExitUsage, "bad number '2x' for --ZoomFactor"},
        {{"--key", "HShift@soon=0.1"}, kExitUsage, "bad number 'soon'"},
        {{"--set", "VShift"}, kExitUsage, "expected NAME=VALUE"},
        {{"--position", "0,1"}, kExitUsage, "bad vector '0,1'"},
        {{"--f-stop", "nan"}, kExitUsage, "bad number 'nan'"},
        {{"--spp", "0"}, kExitUsage, "--spp must be from 1"},
        {{"--width", "63"}, kExitUsage, "--width must be even"},
        {{"--bogus"}, kExitUsage, "--bogus"},
        {{"-o", "{dir}/no-such-directory/out.png"},
         kExitFailure,
         "Cannot write {dir}/no-such-directory/out.png"},
        {{"-o", "{dir}/folder.png"}, kExitFailure, "Is a directory"},
        {{"--load-scene", "{dir}/damaged.scene"}, kExitFailure, "Scene line 2: expected a channel"},
        {{"--load-scene", "{dir}/missing.scene"}, kExitFailure, "Cannot read {dir}/missing.scene"},
        {{"--save-scene", "{dir}/no-such-directory/x.scene"}, kExitFailure, "Cannot write"},
        {{"--save-scene", ""}, kExitUsage, "--save-scene needs a file name"},
        {{"--save-scene", "{dir}/./out.png"}, kExitUsage, "name the same file"},
        {{"-o", "{dir}/out.jpg"}, kExitUsage, "--output must name a .png file"},
        {{"--isa", "mmx"}, kExitUsage, "unknown --isa 'mmx'"},
        {{"--frames", "5-2"}, kExitUsage, "bad --frames '5-2'"},
        {{"--frame", "3", "--frames", "1-4"}, kExitUsage, "exclude each other"},
        {{"--camera", "Main"}, kExitFailure, "the built-in scene has no cameras"},
        {{"--load-scene", "{dir}/future.scene"}, kExitFailure, "Scene line 1: version 2 is newer"},
        {{"--load-scene", "{dir}/unknown.scene"}, kExitFailure, "line 2: unknown setting 'zoom'"},
        {{"--load-scene", "{dir}/bad-lens.scene"}, kExitFailure, "line 5: expected a channel"},
    };
    const auto expand = [&dir](std::string text) {
        const std::string placeholder = "{dir}";
        for (std::size_t at = text.find(placeholder); at != std::string::npos;
             at = text.find(placeholder, at + dir.size())) {
            text.replace(at, placeholder.size(), dir);
        }
        return text;
    };
    const std::string output = directory.file("out.png");
    for (const BadInput &bad : cases) {
        std::vector<std::string> arguments = {
            "--module", BRELVIX_MODULE_PATH, "-o", output,  "--width",
            "16",       "--height",          "8",  "--spp", "1"};
        std::string shown;
        for (const std::string &argument : bad.arguments) {
            arguments.push_back(expand(argument));
            shown += " " + argument;
        }
        SCOPED_TRACE(shown);
        std::ostringstream out, err;
        EXPECT_EQ(cli::runCommand(arguments, out, err, false), bad.exitCode);
        const std::string line = err.str();
        EXPECT_EQ(line.rfind("brelvix-render: ", 0), 0u) << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
        EXPECT_NE(line.find(expand(bad.message)), std::string::npos) << line;
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(directory.entries(), fixtures) << "left behind by" << shown;
    }
}

TEST(CommandLine, WritesThePngItReportsAndTheAnaglyphAtHalfWidth) {
    TempDirectory directory;
    for (const bool composite : {false, true}) {
        SCOPED_TRACE(composite ? "anaglyph" : "side by side");
        const std::string output = directory.file(composite ? "red-cyan.png" : "pair.png");
        std::vector<std::string> arguments = {
            "--module", BRELVIX_MODULE_PATH, "-o", output,  "--width",
            "64",       "--height",          "24", "--spp", "2"};
        if (composite) {
            arguments.push_back("--anaglyph");
        }
        std::ostringstream out, err;
        ASSERT_EQ(cli::runCommand(arguments, out, err, false), kExitSuccess) << err.str();
        EXPECT_EQ(err.str(), "");
        // The preview's matrix, the panel's line for the default zoom on a
        // 24 mm film, then the file's name last.
        EXPECT_NE(out.str().find("viewport matrix"), std::string::npos);
        EXPECT_NE(out.str().find("\nFocal Length 31.5mm\n"), std::string::npos) << out.str();
        EXPECT_TRUE(out.str().ends_with("\n" + output + "\n")) << out.str();

        const ParsedCommandLine parsed = parseCommandLine(arguments);
        ASSERT_FALSE(parsed.exitCode);
        RenderResult result;
        std::string error;
        ASSERT_TRUE(renderScene(parsed.options, result, error)) << error;
        const DisplayImage written = readPng(output);
        EXPECT_EQ(written.width, composite ? 32 : 64);
        EXPECT_EQ(written.height, 24);
        EXPECT_TRUE(written == result.display);
    }
    std::ostringstream out, err;
    EXPECT_EQ(cli::runCommand({"--module", BRELVIX_MODULE_PATH, "-o", directory.file("q.png"),
                               "--width", "8", "--height", "4", "--spp", "1", "--quiet"},
                              out, err, true),
              kExitSuccess);
    EXPECT_EQ(out.str(), directory.file("q.png") + "\n");
    EXPECT_EQ(err.str(), ""); // no progress bar when quiet

    // One row keeps one thread busy, whatever was asked for.
    std::ostringstream report;
    EXPECT_EQ(cli::runCommand({"--module", BRELVIX_MODULE_PATH, "-o", directory.file("row.png"),
                               "--width", "8", "--height", "1", "--spp", "1", "--threads", "4"},
                              report, err, false),
              kExitSuccess);
    EXPECT_NE(report.str().find(" on 1 thread ("), std::string::npos) << report.str();
}

TEST(PngOutputFile, AppearsOnlyWhenCommitted) {
    TempDirectory directory;
    const std::string path = directory.file("image.png");
    std::string error;
    {
        const auto output = PngOutput::open(path, error);
        ASSERT_NE(output, nullptr) << error;
        EXPECT_FALSE(fs::exists(path));
    }
    EXPECT_TRUE(directory.entries().empty());

    writeFile(path, "an older image");
    // A name as long as the directory takes, although the temporary's is
    // longer still.
    const std::string longName = std::string(251, 'n') + ".png";
    const DisplayImage image{2, 1, {0, 10, 20, 255, 128, 1}};
    for (const std::string &name : {std::string("image.png"), longName}) {
        const auto output = PngOutput::open(directory.file(name), error);
        ASSERT_NE(output, nullptr) << error;
        ASSERT_TRUE(output->write(image, error)) << error;
        ASSERT_TRUE(output->commit(error)) << error;
        EXPECT_TRUE(readPng(directory.file(name)) == image);
    }
    EXPECT_EQ(directory.entries(), (std::set<std::string>{"image.png", longName}));
}

} // namespace
} // namespace brelvix::render
