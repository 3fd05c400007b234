// The depth check's part of brelvix-render's command line: one group of the
// same parser as the renderer's options.
#ifndef BRELVIX_TOOLS_CLI_DEPTH_OPTIONS_H
#define BRELVIX_TOOLS_CLI_DEPTH_OPTIONS_H

#include "tools/parallax/parallax_tool.h"
#include "tools/render/render_options.h"

#include <CLI/CLI.hpp>

#include <string>

namespace brelvix::cli {

/// What the group's options give, as text until checked.
struct DepthArguments {
    std::string map;
    std::string report;
    std::string screenWidth;
    std::string budget;
    std::string verticalLimit;
    std::string percentile;
    std::string imageShift;
    /// The options that set the budget, to tell which were given.
    const CLI::Option *screenWidthOption = nullptr;
    const CLI::Option *budgetOption = nullptr;
    const CLI::Option *verticalLimitOption = nullptr;
    const CLI::Option *percentileOption = nullptr;
    const CLI::Option *imageShiftOption = nullptr;
    const CLI::Option *mapOption = nullptr;
};

/// Adds --parallax, --parallax-report, --screen-width, --budget,
/// --vertical-limit, --percentile and --image-shift to `app`, as the group
/// "Depth check".
void addDepthOptions(CLI::App &app, DepthArguments &arguments);

/// Checks the arguments of `app`, parsed, into `request`; when they ask for
/// the check, also that it can be carried out with the renderer's `options`
/// (parallax::validate): the renderer's outputs (-o, --anaglyph,
/// --save-scene) are refused. False with a one-line `error`.
bool applyDepthArguments(const CLI::App &app, const DepthArguments &arguments,
                         const render::RenderOptions &options, parallax::ParallaxRequest &request,
                         std::string &error);

/// Whether any of the budget's options (--screen-width, --budget,
/// --vertical-limit, --percentile, --image-shift) was given.
bool budgetGiven(const DepthArguments &arguments);

} // namespace brelvix::cli

#endif
