// brelvix-render's depth check: with --parallax (or --parallax-report) the
// frames are measured against a depth budget instead of rendered.
#ifndef BRELVIX_TOOLS_PARALLAX_PARALLAX_TOOL_H
#define BRELVIX_TOOLS_PARALLAX_PARALLAX_TOOL_H

#include "tools/parallax/budget.h"

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

namespace brelvix::parallax {

/// Some frame is over its budget: the pipeline should stop before it renders.
inline constexpr int kExitOverBudget = 3;

struct ParallaxRequest {
    /// The map's PNG; with --frames each frame's, numbered.
    std::string mapPath;
    /// JSON, or CSV when the name ends in ".csv".
    std::string reportPath;
    Budget budget;
    /// Whether the command line asked for the check.
    bool asked() const { return !mapPath.empty() || !reportPath.empty(); }
};

/// Takes the check's options out of `arguments`, leaving the renderer's;
/// false with a one-line `error` for a bad value.
bool takeParallaxOptions(std::vector<std::string> &arguments, ParallaxRequest &request,
                         std::string &error);

/// brelvix-render's main: the depth check when asked for, else the render
/// (tools/render/render_tool.h says the rest).
int runRenderCommand(const std::vector<std::string> &arguments, std::ostream &out,
                     std::ostream &err, bool terminal, const std::atomic<int> *stop = nullptr);

} // namespace brelvix::parallax

#endif
