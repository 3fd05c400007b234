// brelvix-render's depth check as a pipeline runs it: the exit status, the
// report and its suggestion, the files of a range of frames.
#include "tests/render/render_test_support.h"
#include "tools/cli/command.h"
#include "tools/parallax/parallax_tool.h"
#include "tools/render/render_options.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <csignal>
#include <filesystem>
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

/// The report's first frame, parsed.
nlohmann::json firstFrame(const std::string &path) {
    const nlohmann::json report = nlohmann::json::parse(readFile(path));
    return report.at("frames").at(0);
}

std::vector<std::string> cellsOf(const std::string &line) {
    std::vector<std::string> cells;
    std::istringstream stream(line);
    for (std::string cell; std::getline(stream, cell, ',');) {
        cells.push_back(cell);
    }
    if (!line.empty() && line.back() == ',') {
        cells.emplace_back();
    }
    return cells;
}

TEST(ParallaxCommand, SuggestedEyeDistanceMeasuresWithinBudgetAndExitsZero) {
    // The built-in scene's near sphere is far in front of the screen with
    // the default eye distance.
    const TempDirectory directory;
    const std::string report = directory.file("report.json");
    std::string output;
    ASSERT_EQ(run({"--parallax-report", report}, &output), kExitOverBudget) << output;
    const nlohmann::json before = firstFrame(report);
    EXPECT_LT(before["nearPercentile"]["percent"].get<double>(), -1.0);
    EXPECT_TRUE(before["overBudget"].get<bool>());
    const nlohmann::json &range = before["advice"]["stereoDistanceRange"];
    EXPECT_EQ(range["kind"], "range");
    const double suggested = range["high"]["stereoDistance"].get<double>();
    EXPECT_GT(suggested, 0.0);
    EXPECT_LT(suggested, 0.05);
    EXPECT_TRUE(range["high"]["withinBudget"].get<bool>());

    // The report's number reads back as the value measured.
    const std::string value = range["high"]["stereoDistance"].dump();
    ASSERT_EQ(run({"--parallax-report", report, "--StereoDistance", value}, &output), 0) << output;
    const nlohmann::json after = firstFrame(report);
    EXPECT_EQ(after["stereoDistance"].get<double>(), suggested);
    EXPECT_EQ(after["nearPercentile"]["percent"], range["high"]["nearPercentile"]);
    EXPECT_FALSE(after["overBudget"].get<bool>());
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
    const std::vector<std::string> header = cellsOf(line);
    const auto column =
        std::find(header.begin(), header.end(), "nearPercentile.percent") - header.begin();
    ASSERT_LT(column, static_cast<std::ptrdiff_t>(header.size()));
    double last = 0.0;
    for (int frame = 0; std::getline(lines, line); ++frame) {
        const std::vector<std::string> cells = cellsOf(line);
        ASSERT_EQ(cells.size(), header.size()) << line;
        const double nearPercentile = std::stod(cells[static_cast<std::size_t>(column)]);
        if (frame > 0) {
            EXPECT_GT(nearPercentile, last) << line;
        }
        last = nearPercentile;
    }
}

/// The dotted paths of a JSON object's leaves, with their values as JSON
/// writes them (null as nothing, strings bare).
void leaves(const nlohmann::ordered_json &value, const std::string &name,
            std::vector<std::pair<std::string, std::string>> &out) {
    if (value.is_object()) {
        for (const auto &[key, inner] : value.items()) {
            leaves(inner, name.empty() ? key : name + "." + key, out);
        }
        return;
    }
    out.emplace_back(name, value.is_null()     ? ""
                           : value.is_string() ? value.get<std::string>()
                                               : value.dump());
}

TEST(ParallaxCommand, TheCsvCarriesEveryFigureOfTheJson) {
    // Converged eyes over the built-in scene: every kind of advice has
    // values, and the CSV's row is the JSON's frame and settings, cell by
    // cell, in the same order.
    const TempDirectory directory;
    const std::vector<std::string> setup{"--StereoAngle", "-0.005", "--frames", "0-1"};
    std::vector<std::string> json = setup;
    json.insert(json.end(), {"--parallax-report", directory.file("r.json")});
    std::vector<std::string> csv = setup;
    csv.insert(csv.end(), {"--parallax-report", directory.file("r.csv")});
    run(json);
    run(csv);
    // Parsed in the file's own order of keys.
    nlohmann::ordered_json report =
        nlohmann::ordered_json::parse(readFile(directory.file("r.json")));
    const nlohmann::ordered_json frames = report["frames"];
    report.erase("frames");
    std::istringstream lines(readFile(directory.file("r.csv")));
    std::string line;
    std::getline(lines, line);
    const std::vector<std::string> header = cellsOf(line);
    for (const nlohmann::ordered_json &frame : frames) {
        std::vector<std::pair<std::string, std::string>> expected;
        leaves(frame, "", expected);
        leaves(report, "", expected);
        ASSERT_TRUE(std::getline(lines, line));
        const std::vector<std::string> cells = cellsOf(line);
        ASSERT_EQ(header.size(), expected.size());
        ASSERT_EQ(cells.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(header[i], expected[i].first);
            EXPECT_EQ(cells[i], expected[i].second) << header[i];
        }
        EXPECT_EQ(frame["rig"]["kind"], "converged");
        EXPECT_FALSE(frame["advice"]["stereoAngle"]["stereoAngle"].is_null());
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
    for (const Case &c : {Case{models + "LWS/move_xz_bezier.lws", {"--frames", "1-3"}, ",m,"},
                          Case{renamed, {"--frames", "1-3"}, ",m,"},
                          Case{models + "glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb",
                               {"--StereoDistance", "20"},
                               ",scene units,"}}) {
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

TEST(ParallaxCommand, BadOptionsAreAUsageErrorAndWriteNothing) {
    const TempDirectory directory;
    const std::string map = directory.file("map.png");
    const std::string report = directory.file("r.json");
    for (const std::vector<std::string> &arguments :
         {std::vector<std::string>{"--parallax", map, "--budget", "1,2"},
          {"--parallax", directory.file("map.jpg")},
          {"--screen-width", "3"},
          {"--percentile", "1"},
          {"--parallax-report", directory.file("out.xml")},
          {"--parallax-report", directory.file("out.txt")},
          {"--parallax-report", report, "--vertical-limit", "0"},
          {"--parallax-report", report, "--vertical-limit", "0.03"},
          {"--parallax-report", report, "--percentile", "50"},
          {"--parallax-report", report, "--percentile", "-1"},
          {"--parallax-report", report, "--image-shift", "left"}}) {
        std::string output;
        EXPECT_EQ(run(arguments, &output), render::kExitUsage) << output;
        EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
    }
    EXPECT_TRUE(directory.entries().empty());
}

TEST(ParallaxCommand, TheRenderersOutputsAreRefusedByTheNameTheParserCounted) {
    // The check writes none of the renderer's files: whichever spelling the
    // command line used, the one line names the option and nothing is written.
    const TempDirectory directory;
    const std::string map = directory.file("map.png");
    const std::string picture = directory.file("x.png");
    struct Case {
        std::vector<std::string> arguments;
        const char *refused;
    };
    for (const auto &[arguments, refused] :
         {Case{{"-o", picture, "--parallax", map}, "--output goes with a render"},
          Case{{"--parallax", map, "-o" + picture}, "--output goes with a render"},
          Case{{"--output=" + picture, "--parallax-report", directory.file("r.csv")},
               "--output goes with a render"},
          Case{{"--anaglyph", "--parallax", map}, "--anaglyph goes with a render"},
          Case{{"--parallax", map, "--anaglyph", "-o", picture, "--save-scene",
                directory.file("s.scene")},
               "--output, --anaglyph and --save-scene go with a render"},
          Case{{"--parallax", map, "--save-scene=" + directory.file("s.scene")},
               "--save-scene goes with a render"},
          Case{{"--image-shift", "3"}, "--image-shift go with --parallax"}}) {
        std::string output;
        EXPECT_EQ(run(arguments, &output), render::kExitUsage) << output;
        EXPECT_EQ(output.rfind("brelvix-render: ", 0), 0u) << output;
        EXPECT_NE(output.find(refused), std::string::npos) << output;
        EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
    }
    EXPECT_TRUE(directory.entries().empty());
}

TEST(ParallaxCommand, PercentileAndImageShiftAreNamedAndApplied) {
    // The built-in scene at 96 pixels per eye: a shift of 2.5 pixels moves
    // every figure by exactly that, and the centring shift with it.
    const TempDirectory directory;
    const std::string report = directory.file("r.json");
    std::string output;
    run({"--parallax-report", report, "--percentile", "0"}, &output);
    EXPECT_NE(output.find("at the extremes"), std::string::npos) << output;
    const nlohmann::json extremes = firstFrame(report);
    EXPECT_EQ(extremes["nearPercentile"]["pixels"], extremes["nearest"]["pixels"]);
    EXPECT_EQ(nlohmann::json::parse(readFile(report))["budget"]["percentile"], 0.0);

    run({"--parallax-report", report, "--percentile", "2.5"}, &output);
    EXPECT_NE(output.find("at the 2.5th/97.5th percentile"), std::string::npos) << output;
    const nlohmann::json plain = firstFrame(report);
    run({"--parallax-report", report, "--percentile", "2.5", "--image-shift", "2.5"}, &output);
    const nlohmann::json shifted = firstFrame(report);
    for (const char *figure : {"nearest", "nearPercentile", "farPercentile", "farthest"}) {
        EXPECT_NEAR(shifted[figure]["pixels"].get<double>(),
                    plain[figure]["pixels"].get<double>() + 2.5, 1e-6)
            << figure;
    }
    EXPECT_NEAR(shifted["advice"]["imageShiftPixels"].get<double>(),
                plain["advice"]["imageShiftPixels"].get<double>(), 1e-6);
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
