// The depth check's part of brelvix-render's command line: one group of the
// same parser as the renderer's options.
#ifndef BRELVIX_TOOLS_CLI_DEPTH_OPTIONS_H
#define BRELVIX_TOOLS_CLI_DEPTH_OPTIONS_H

#include "tools/parallax/parallax_tool.h"

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
    /// The options that set the budget, to tell which were given.
    const CLI::Option *screenWidthOption = nullptr;
    const CLI::Option *budgetOption = nullptr;
    const CLI::Option *verticalLimitOption = nullptr;
    const CLI::Option *mapOption = nullptr;
};

/// Adds --parallax, --parallax-report, --screen-width, --budget and
/// --vertical-limit to `app`, as the group "Depth check".
void addDepthOptions(CLI::App &app, DepthArguments &arguments);

/// Checks the arguments into `request`; false with a one-line `error`.
bool applyDepthArguments(const DepthArguments &arguments, parallax::ParallaxRequest &request,
                         std::string &error);

/// Whether any of --screen-width, --budget and --vertical-limit was given.
bool budgetGiven(const DepthArguments &arguments);

} // namespace brelvix::cli

#endif
