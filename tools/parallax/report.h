// What the parallax check says of each frame: one line on standard output,
// and a report file of all frames, JSON or CSV (the JSON's figures, one
// column each).
#ifndef BRELVIX_TOOLS_PARALLAX_REPORT_H
#define BRELVIX_TOOLS_PARALLAX_REPORT_H

#include "tools/parallax/frame_check.h"

#include <string>
#include <vector>

namespace brelvix::parallax {

/// What holds for every frame of a run.
struct ReportSetting {
    /// The unit of distances: "m", or "scene units".
    std::string units;
    Budget budget;
    int eyeWidth = 0;
    int eyeHeight = 0;
};

/// "1st/99th percentile", or "extremes" for a percentile of 0.
std::string percentileName(double percentile);

std::string frameLine(const FrameReport &frame, const ReportSetting &setting);
std::string reportJson(const std::vector<FrameReport> &frames, const ReportSetting &setting);
std::string reportCsv(const std::vector<FrameReport> &frames, const ReportSetting &setting);

} // namespace brelvix::parallax

#endif
