// What the parallax check says of each frame: one line on standard output,
// and a report file of all frames, JSON or CSV.
#ifndef BRELVIX_TOOLS_PARALLAX_REPORT_H
#define BRELVIX_TOOLS_PARALLAX_REPORT_H

#include "tools/parallax/probe.h"

#include <optional>
#include <string>
#include <vector>

namespace brelvix::parallax {

struct FrameReport {
    long frame = 0;
    FrameFigures figures;
    /// On the centre line; none: no finite distance (see probe.h).
    std::optional<double> zeroPlane;
    /// The frame's `StereoDistance` at the moment measured.
    double eyeDistance = 0.0;
    Suggestion suggestion;
};

/// What holds for every frame of a run.
struct ReportSetting {
    /// The unit of distances: "m", or "scene units".
    std::string units;
    Budget budget;
    int eyeWidth = 0;
    int eyeHeight = 0;
};

std::string frameLine(const FrameReport &frame, const ReportSetting &setting);
std::string reportJson(const std::vector<FrameReport> &frames, const ReportSetting &setting);
std::string reportCsv(const std::vector<FrameReport> &frames, const ReportSetting &setting);

} // namespace brelvix::parallax

#endif
