// The part of brelvix-render's command line that names what to render: the
// scene file, its camera, the frames, the output's format and Embree's
// instruction set.
#ifndef BRELVIX_TOOLS_CLI_SCENE_OPTIONS_H
#define BRELVIX_TOOLS_CLI_SCENE_OPTIONS_H

#include "tools/render/render_options.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace brelvix::render {

/// What the options give, as text until checked.
struct SceneArguments {
    std::string scene;
    std::string camera;
    std::string content;
    bool verbose = false;
    std::string frame;
    std::string frames;
    std::string isa;
    bool singleRays = false;
    std::string maxMemory;
    std::string subdivisionLevel;
};

/// Adds SCENE, --camera, --content, --verbose, --frame, --frames, --isa
/// and the hidden --single-rays to `app`.
void addSceneOptions(CLI::App &app, SceneArguments &arguments);

/// Checks the arguments into `options`; false with a one-line `error`.
bool applySceneArguments(const SceneArguments &arguments, RenderOptions &options,
                         std::string &error);

/// With a scene file, refuses the options that place the built-in scene's
/// camera or set its clock (by `options.givenSettings`): the scene's camera
/// and frames set them. False with a one-line `error`.
bool checkSceneSettings(const RenderOptions &options, std::string &error);

/// "--frame N": the number, or an empty optional with a one-line `error`.
std::optional<long> parseFrame(const std::string &text, std::string &error);
/// "--frames A-B" with A <= B, both not negative.
std::optional<FrameRange> parseFrameRange(const std::string &text, std::string &error);

} // namespace brelvix::render

#endif
