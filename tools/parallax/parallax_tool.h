// brelvix-render's depth check: with --parallax (or --parallax-report) the
// frames are measured against a depth budget instead of rendered. The
// command line (tools/cli) fills a ParallaxRequest.
#ifndef BRELVIX_TOOLS_PARALLAX_PARALLAX_TOOL_H
#define BRELVIX_TOOLS_PARALLAX_PARALLAX_TOOL_H

#include "tools/parallax/budget.h"
#include "tools/render/render_options.h"

#include <atomic>
#include <iosfwd>
#include <string>

namespace brelvix::parallax {

/// Some frame is over its budget: the pipeline should stop before it renders.
inline constexpr int kExitOverBudget = 3;

struct ParallaxRequest {
    /// The map's PNG; with --frames each frame's, numbered.
    std::string mapPath;
    /// JSON, or CSV: by the name's ending, .json or .csv.
    std::string reportPath;
    /// The budget, with the gate's percentile and the image shift.
    Budget budget;
    /// The command line also gave the renderer's output (-o, --output) or
    /// --anaglyph, which the check does not write.
    bool renderOutputGiven = false;
    bool anaglyphGiven = false;
    /// Whether the command line asked for the check.
    bool asked() const { return !mapPath.empty() || !reportPath.empty(); }
};

/// The smallest vertical limit the check takes, pixels of the image's
/// height: below it the measurement's own precision would fail a frame.
inline constexpr double kVerticalPrecisionPixels = 0.02;

/// Whether the check can carry out `request` with the renderer's `options`;
/// false with a one-line `error` (a usage error) when it cannot.
/// Whether `path` ends in `extension`, letters of either case.
bool hasExtension(const std::string &path, const std::string &extension);

bool validate(const ParallaxRequest &request, const render::RenderOptions &options,
              std::string &error);

/// The check over every frame `options` asks for, with the figures to
/// `out` and the maps, chart and report to their files; errors one line each
/// to `err`. The exit status: kExitOverBudget when some frame is over its
/// budget.
int runDepthCheck(const render::RenderOptions &options, const ParallaxRequest &request,
                  std::ostream &out, std::ostream &err, const std::atomic<int> *stop = nullptr);

} // namespace brelvix::parallax

#endif
