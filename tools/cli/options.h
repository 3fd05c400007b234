// brelvix-render's command line.
#ifndef BRELVIX_TOOLS_CLI_OPTIONS_H
#define BRELVIX_TOOLS_CLI_OPTIONS_H

#include "tools/parallax/parallax_tool.h"
#include "tools/render/render_options.h"
#include "tools/render/vec3.h"

#include <optional>
#include <string>
#include <vector>

namespace brelvix::render {

/// What the command line asks for. `exitCode` is set when the tool should
/// stop at once: after help (0, `message` the help text) or on a usage error
/// (kExitUsage, `message` one line).
struct ParsedCommandLine {
    RenderOptions options;
    /// The depth check's options; asked() when the check runs instead of a
    /// render.
    parallax::ParallaxRequest depth;
    /// Whether any of the budget's options (--screen-width, --budget,
    /// --vertical-limit, --percentile, --image-shift) was given.
    bool budgetGiven = false;
    std::optional<int> exitCode;
    std::string message;
};

/// Parses the arguments after the program name.
ParsedCommandLine parseCommandLine(const std::vector<std::string> &arguments);

} // namespace brelvix::render

#endif
