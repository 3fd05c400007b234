// brelvix-render's depth check as a pipeline runs it: the exit status, the
// report and its suggestion, the files of a range of frames.
#include "tests/render/render_test_support.h"
#include "tools/cli/command.h"
#include "tools/parallax/parallax_tool.h"
#include "tools/render/render_options.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <sstream>

namespace brelvix::parallax {
namespace {

using render::test::readFile;
using render::test::TempDirectory;

int run(std::vector<std::string> arguments, std::string *output = nullptr,
        const std::atomic<int> *stop = nullptr) {
    const std::vector<std::string> common{
        "--module", BRELVIX_MODULE_PATH, "--width", "192", "--height", "64", "--threads", "2"};
    arguments.insert(arguments.begin(), common.begin(), common.end());
    std::ostringstream out;
    std::ostringstream err;
    const int status = cli::runCommand(arguments, out, err, false, stop);
    if (output != nullptr) {
        *output = out.str() + err.str();
    }
    return status;
}

/// The number after `"name": ` in a JSON text (the first one).
double jsonNumber(const std::string &text, const std::string &name) {
    const std::size_t at = text.find("\"" + name + "\": ");
    EXPECT_NE(at, std::string::npos) << name;
    return at == std::string::npos ? 0.0 : std::stod(text.substr(at + name.size() + 4));
}

TEST(ParallaxCommand, SuggestedEyeDistanceMeasuresWithinBudgetAndExitsZero) {
    // The built-in scene's near sphere is far in front of the screen with
    // the default eye distance.
    const TempDirectory directory;
    const std::string report = directory.file("report.json");
    std::string output;
    ASSERT_EQ(run({"--parallax-report", report}, &output), kExitOverBudget) << output;
    const std::string before = readFile(report);
    EXPECT_LT(jsonNumber(before, "near1\": {\"percent"), -1.0);
    const double suggested = jsonNumber(before, "suggestedStereoDistance");
    EXPECT_GT(suggested, 0.0);
    EXPECT_LT(suggested, 0.05);

    char value[32];
    std::snprintf(value, sizeof value, "%.17g", suggested);
    ASSERT_EQ(run({"--parallax-report", report, "--StereoDistance", value}, &output), 0) << output;
    const std::string after = readFile(report);
    EXPECT_GE(jsonNumber(after, "near1\": {\"percent"), -1.0);
    EXPECT_LT(jsonNumber(after, "near1\": {\"percent"), -0.9) << "the suggestion keeps the depth";
    EXPECT_EQ(after.find("\"overBudget\": true"), std::string::npos);
}

TEST(ParallaxCommand, FramesGiveAMapEachABracketChartAndAReportLine) {
    const TempDirectory directory;
    const std::string map = directory.file("depth.png");
    const std::string report = directory.file("depth.csv");
    std::string output;
    ASSERT_EQ(run({"--parallax", map, "--parallax-report", report, "--frames", "0-2", "--key",
                   "StereoDistance@0=0.05", "--key", "StereoDistance@2=0.02", "--budget", "-5,5"},
                  &output),
              0)
        << output;
    for (long frame = 0; frame <= 2; ++frame) {
        EXPECT_EQ(render::test::readPng(render::numberedPath(map, frame)).height > 64, true);
    }
    EXPECT_GT(render::test::readPng(directory.file("depth-brackets.png")).width, 0);
    EXPECT_NE(readFile(directory.file("depth-brackets.svg")).find("<svg"), std::string::npos);
    const std::string csv = readFile(report);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
    // The eyes come closer: each frame less in front than the last.
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);
    double last = 0.0;
    for (int frame = 0; std::getline(lines, line); ++frame) {
        const double near1 = std::stod(line.substr(line.find(',') + 1));
        if (frame > 0) {
            EXPECT_GT(near1, last) << line;
        }
        last = near1;
    }
}

TEST(ParallaxCommand, SceneFilesReportInTheirOwnUnits) {
    // A LightWave scene is in metres; a glTF model in whatever it was made
    // in (the engine model's are about millimetres).
    const std::string models = "/usr/share/assimp/models/";
    const TempDirectory directory;
    const std::string report = directory.file("r.csv");
    struct Case {
        std::string scene;
        std::vector<std::string> extra;
        std::string units;
    };
    // A LightWave scene is one by its content whatever its name.
    const std::string renamed = directory.file("move.scene");
    render::test::writeFile(renamed, readFile(models + "LWS/move_xz_bezier.lws"));
    render::test::writeFile(directory.file("simple_cube.lwo"),
                            readFile(models + "LWS/simple_cube.lwo"));
    for (const Case &c : {Case{models + "LWS/move_xz_bezier.lws", {"--frames", "1-3"}, ",m\n"},
                          Case{renamed, {"--frames", "1-3"}, ",m\n"},
                          Case{models + "glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb",
                               {"--StereoDistance", "20"},
                               ",scene units\n"}}) {
        std::vector<std::string> arguments{c.scene, "--parallax-report", report};
        arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
        std::string output;
        const int status = run(arguments, &output);
        EXPECT_TRUE(status == 0 || status == kExitOverBudget) << output;
        const std::string csv = readFile(report);
        EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), c.extra[0] == "--frames" ? 4 : 2);
        EXPECT_NE(csv.find(c.units), std::string::npos) << csv;
        EXPECT_EQ(output.find("nothing seen"), std::string::npos) << output;
    }
}

TEST(ParallaxCommand, BadOptionsAreAUsageError) {
    for (const std::vector<std::string> &arguments :
         {std::vector<std::string>{"--parallax", "map.png", "--budget", "1,2"},
          {"--parallax", "map.jpg"},
          {"--screen-width", "3"},
          {"--parallax-report", "r.json", "--save-scene", "s.scene"}}) {
        std::string output;
        EXPECT_EQ(run(arguments, &output), render::kExitUsage) << output;
        EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
    }
}

TEST(ParallaxCommand, TheSceneLoadTellsItsNotesAndHearsTheStop) {
    const TempDirectory directory;
    // An orthographic camera is measured in perspective, and said so.
    const std::string flat = directory.file("flat.gltf");
    render::test::writeFile(flat, render::test::kOrthographicGltf);
    std::string output;
    const int status = run({flat, "--parallax-report", directory.file("r.json")}, &output);
    EXPECT_TRUE(status == 0 || status == kExitOverBudget) << output;
    EXPECT_NE(output.find("is orthographic; the lens renders it in perspective"), std::string::npos)
        << output;

    // A stop before the load ends it there: the load's own fault is never
    // heard of.
    const std::string broken = directory.file("broken.lws");
    render::test::writeFile(broken, "not a scene\n");
    ASSERT_EQ(run({broken, "--parallax-report", directory.file("b.json")}, &output),
              render::kExitFailure)
        << output;
    const std::atomic<int> stop{SIGINT};
    EXPECT_EQ(run({broken, "--parallax-report", directory.file("b.json")}, &output, &stop),
              render::kExitInterrupted)
        << output;
    EXPECT_NE(output.find("interrupted"), std::string::npos) << output;
}

} // namespace
} // namespace brelvix::parallax
