// brelvix-render on scenes written as the host writes each format
// (tests/lightwave/scenes), moved into a content tree of their own as a
// project is moved between machines: every object is found, the scene's
// current camera and depth-of-field switch are used, an object that is
// nowhere is one line, and the options a scene file overrides are refused.
#include "tests/render/render_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <utility>
#include <vector>

namespace {

using namespace brelvix::render::test;

struct Outcome {
    int status = -1;
    std::string err;
};

/// brelvix-render with `arguments` (no spaces in them), its error output kept.
Outcome run(const std::vector<std::string> &arguments, const TempDirectory &scratch) {
    std::string command = std::string(BRELVIX_RENDER_PATH) + " --module " + BRELVIX_MODULE_PATH +
                          " -q --width 64 --height 32 --spp 2 --threads 2";
    for (const std::string &argument : arguments) {
        command += " '" + argument + "'";
    }
    command += " >/dev/null 2>" + scratch.file("run.err");
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(scratch.file("run.err"))};
}

std::size_t lineCount(const std::string &text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

/// CONTENT/Scenes/NAME.lws for each scene, CONTENT/Objects/Box.lwo.
class MovedProject : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(scene("") + "/");
        fs::create_directories(scratch.file("CONTENT/Objects"));
        fs::copy_file("/usr/share/assimp/models/LWS/simple_cube.lwo",
                      scratch.file("CONTENT/Objects/Box.lwo"));
        for (const char *name : {"format1", "format2", "bones"}) {
            fs::copy_file(std::string(BRELVIX_OWN_SCENES) + "/" + name + ".lws", scene(name));
        }
    }
    std::string scene(const std::string &name) const {
        return scratch.file("CONTENT/Scenes") + (name.empty() ? "" : "/" + name + ".lws");
    }
    std::string output(const std::string &name) const { return scratch.file(name + ".png"); }

    TempDirectory scratch;
};

TEST_F(MovedProject, EveryFormatRendersWithItsObjectsFoundAndItsCamera) {
    for (const char *name : {"format1", "format2", "bones"}) {
        const Outcome outcome = run({scene(name), "-o", output(name)}, scratch);
        EXPECT_EQ(outcome.status, 0) << name << ": " << outcome.err;
        EXPECT_TRUE(fs::exists(output(name))) << name;
    }
    // The same scene elsewhere, its content folder given.
    fs::copy_file(scene("bones"), scratch.file("bones.lws"));
    const Outcome moved = run(
        {scratch.file("bones.lws"), "--content", scratch.file("CONTENT"), "-o", output("moved")},
        scratch);
    EXPECT_EQ(moved.status, 0) << moved.err;
    // The current camera is Side, with the depth of field off: the same
    // picture as asking for it by name with --no-dof, and not Front's.
    const std::vector<std::pair<std::string, std::vector<std::string>>> views = {
        {"side", {scene("bones"), "--camera", "Side", "--no-dof", "-o", output("side")}},
        {"front", {scene("bones"), "--camera", "Front", "-o", output("front")}},
        {"aperture", {scene("bones"), "--dof", "-o", output("aperture")}},
    };
    for (const auto &[name, arguments] : views) {
        const Outcome outcome = run(arguments, scratch);
        EXPECT_EQ(outcome.status, 0) << name << ": " << outcome.err;
        EXPECT_TRUE(fs::exists(output(name))) << name;
    }
    EXPECT_EQ(readFile(output("bones")), readFile(output("side")));
    EXPECT_NE(readFile(output("bones")), readFile(output("front")));
    EXPECT_NE(readFile(output("bones")), readFile(output("aperture")));
    EXPECT_EQ(readFile(output("moved")), readFile(output("bones")));
}

TEST_F(MovedProject, AnObjectFoundNowhereIsOneLineAndVerboseListsThePlaces) {
    fs::remove(scratch.file("CONTENT/Objects/Box.lwo"));
    const Outcome quiet = run({scene("bones"), "-o", output("none")}, scratch);
    EXPECT_EQ(quiet.status, 1);
    EXPECT_EQ(lineCount(quiet.err), 1u) << quiet.err;
    EXPECT_NE(quiet.err.find("bones.lws:8: object file \"Work:Objects/Box.lwo\" not found in "),
              std::string::npos)
        << quiet.err;
    std::istringstream words(quiet.err.substr(quiet.err.find(" in ") + 4));
    std::size_t places = 0;
    words >> places;
    EXPECT_GT(places, 3u);
    const Outcome verbose = run({scene("bones"), "--verbose", "-o", output("none")}, scratch);
    EXPECT_EQ(lineCount(verbose.err), 1 + places) << verbose.err;
    EXPECT_NE(verbose.err.find("\n  " + scratch.file("CONTENT/Objects/Box.lwo") + "\n"),
              std::string::npos)
        << verbose.err;
    EXPECT_FALSE(fs::exists(output("none")));
}

TEST_F(MovedProject, WhatASceneFileSetsIsRefusedOrNamed) {
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string error;
    } cases[] = {
        {{"--position", "0,1,2"}, 2, "--position means nothing with a scene file"},
        {{"--target", "0,1,2"}, 2, "--target means nothing with a scene file"},
        {{"--move", "1,0,0"}, 2, "--move means nothing"},
        {{"--frame-start", "1"}, 2, "--frame-start means nothing"},
        {{"--frame-duration", "1"}, 2, "--frame-duration means nothing"},
        {{"--dof", "--no-dof"}, 2, "--dof and --no-dof exclude each other"},
        {{"--camera", "Top"},
         1,
         "no camera called \"Top\" (the scene's cameras: \"Front\", \"Side\")"},
        {{"--content", scratch.file("nowhere")}, 2, "no such folder"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> arguments{scene("bones"), "-o", output("refused")};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const Outcome outcome = run(arguments, scratch);
        EXPECT_EQ(outcome.status, c.status) << c.error;
        EXPECT_EQ(lineCount(outcome.err), 1u) << outcome.err;
        EXPECT_NE(outcome.err.find(c.error), std::string::npos) << outcome.err;
        EXPECT_FALSE(fs::exists(output("refused")));
    }
    // A glTF orthographic camera: rendered through the lens, and said so.
    writeFile(scratch.file("flat.gltf"), kOrthographicGltf);
    const Outcome flat = run({scratch.file("flat.gltf"), "-o", output("flat")}, scratch);
    EXPECT_EQ(flat.status, 0) << flat.err;
    EXPECT_EQ(lineCount(flat.err), 1u) << flat.err;
    EXPECT_NE(flat.err.find("is orthographic; the lens renders it in perspective"),
              std::string::npos)
        << flat.err;
}

} // namespace
