// The depth-bracket chart of a range of frames: for each frame its nearest
// and farthest horizontal parallax (a thin line) and the band from its 1st to
// its 99th percentile (a bar), against the budget's lines.
#ifndef BRELVIX_TOOLS_PARALLAX_BRACKET_CHART_H
#define BRELVIX_TOOLS_PARALLAX_BRACKET_CHART_H

#include "tools/parallax/budget.h"

#include <cstdio>
#include <string>
#include <vector>

namespace brelvix::parallax {

struct FrameBracket {
    long frame = 0;
    FrameFigures figures;
};

/// Writes the chart to `file`, as SVG or as PNG; false with `error` set.
bool writeBracketChart(std::FILE *file, bool svg, const std::vector<FrameBracket> &frames,
                       const Budget &budget, int eyeWidth, const std::string &title,
                       std::string &error);

} // namespace brelvix::parallax

#endif
