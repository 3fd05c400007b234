#include "tools/cli/scene_options.h"

#include "tools/cli/options.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iterator>

namespace brelvix::render {

void addSceneOptions(CLI::App &app, SceneArguments &arguments) {
    app.add_option("scene", arguments.scene,
                   "Scene file: .lws, or any Assimp reads (default: built-in)")
        ->option_text("SCENE");
    app.add_option("--camera", arguments.camera,
                   "Scene camera to look through (default: its first)")
        ->option_text("NAME")
        ->group("Scene and module");
    app.add_option("--content", arguments.content,
                   "A LightWave scene's content folder (default: the scene's folder and "
                   "those above)")
        ->option_text("DIR")
        ->group("Scene and module");
    app.add_flag("--verbose", arguments.verbose,
                 "List where an object file not found was looked for")
        ->group("Scene and module");
    app.add_option("--frame", arguments.frame, "Frame to render (default: the scene's first, or 0)")
        ->option_text("N")
        ->group("Frame");
    app.add_option("--frames", arguments.frames, "Render frames A to B, each to NAME.0001.EXT, ...")
        ->option_text("A-B")
        ->group("Frame");
    app.add_option("--max-memory", arguments.maxMemory,
                   "Memory the scene and its objects may take to read, in GB (default: half "
                   "the machine's)")
        ->option_text("GB")
        ->group("Scene and module");
    app.add_option("--subdivision-level", arguments.subdivisionLevel,
                   "Times a LightWave object's subdivision surfaces are refined, 0 to 5; 0 "
                   "draws the cage (default 2)")
        ->option_text("N")
        ->group("Scene and module");
    app.add_option("--isa", arguments.isa,
                   "Pin Embree's instruction set: sse2, sse4.2, avx, avx2, avx512")
        ->option_text("NAME")
        ->group("Scene and module");
    // Not in the help: a check of the packets against single rays.
    app.add_flag("--single-rays", arguments.singleRays, "Trace one ray at a time")->group("");
}

bool applySceneArguments(const SceneArguments &arguments, RenderOptions &options,
                         std::string &error) {
    options.scenePath = arguments.scene;
    options.cameraName = arguments.camera;
    options.contentFolder = arguments.content;
    options.verbose = arguments.verbose;
    if (!options.contentFolder.empty() && !std::filesystem::is_directory(options.contentFolder)) {
        error = "--content " + options.contentFolder + ": no such folder";
        return false;
    }
    options.isa = arguments.isa;
    options.singleRays = arguments.singleRays;
    if (!arguments.frame.empty() && !(options.frame = parseFrame(arguments.frame, error))) {
        return false;
    }
    if (!arguments.frames.empty() && !(options.frames = parseFrameRange(arguments.frames, error))) {
        return false;
    }
    if (options.frame && options.frames) {
        error = "--frame and --frames exclude each other";
        return false;
    }
    if (!arguments.maxMemory.empty()) {
        double gigabytes = 0.0;
        // From 0.1 GB, enough for the smallest scene, to what 64 bits count.
        if (!parseNumber(arguments.maxMemory, gigabytes) || gigabytes < 0.1 || gigabytes > 1e9) {
            error =
                "bad --max-memory '" + arguments.maxMemory + "' (expected a number of GB from 0.1)";
            return false;
        }
        options.maxLoadMemory = static_cast<std::uint64_t>(gigabytes * 1e9);
    }
    if (!arguments.subdivisionLevel.empty()) {
        long level = 0;
        if (!parseInteger(arguments.subdivisionLevel, level) || level < 0 || level > 5) {
            error = "bad --subdivision-level '" + arguments.subdivisionLevel +
                    "' (expected a whole number from 0 to 5)";
            return false;
        }
        options.subdivisionLevel = static_cast<int>(level);
    }
    constexpr const char *kInstructionSets[] = {"sse2", "sse4.2", "avx", "avx2", "avx512"};
    if (!options.isa.empty() && std::find(std::begin(kInstructionSets), std::end(kInstructionSets),
                                          options.isa) == std::end(kInstructionSets)) {
        error = "unknown --isa '" + options.isa + "' (sse2, sse4.2, avx, avx2 or avx512)";
        return false;
    }
    return true;
}

bool checkSceneSettings(const RenderOptions &options, std::string &error) {
    if (options.scenePath.empty()) {
        return true;
    }
    for (const char *setting : {"position", "target", "move", "frame-start", "frame-duration"}) {
        if (options.given(setting)) {
            error = std::string("--") + setting +
                    " means nothing with a scene file: the scene's camera and frames set it "
                    "(use --camera and --frame)";
            return false;
        }
    }
    return true;
}

std::optional<long> parseFrame(const std::string &text, std::string &error) {
    long frame = 0;
    if (!parseInteger(text, frame) || frame < -999999 || frame > 999999) {
        error = "bad --frame '" + text + "' (expected a whole frame number)";
        return std::nullopt;
    }
    return frame;
}

std::optional<FrameRange> parseFrameRange(const std::string &text, std::string &error) {
    const std::size_t dash = text.find('-', 1);
    FrameRange range;
    if (dash == std::string::npos || !parseInteger(text.substr(0, dash), range.first) ||
        !parseInteger(text.substr(dash + 1), range.last) || range.first < 0 ||
        range.last < range.first || range.last > 999999) {
        error = "bad --frames '" + text + "' (expected A-B, 0 <= A <= B)";
        return std::nullopt;
    }
    return range;
}

} // namespace brelvix::render
