#include "tools/parallax/report.h"

#include "tools/parallax/number_text.h"

#include <cmath>
#include <cstdio>

namespace brelvix::parallax {
namespace {

/// A number in its shortest round-trip form; null (JSON) or empty (CSV)
/// when not finite.
std::string num(double value, bool json) {
    if (!std::isfinite(value)) {
        return json ? "null" : "";
    }
    char text[40];
    std::snprintf(text, sizeof text, "%.6g", value == 0.0 ? 0.0 : value);
    return text;
}

std::string jsonExtreme(const Extreme &e) {
    return "{\"percent\": " + num(e.percent, true) + ", \"pixels\": " + num(e.pixels, true) +
           ", \"x\": " + std::to_string(e.place.x) + ", \"y\": " + std::to_string(e.place.y) +
           ", \"distance\": " + num(e.place.distance, true) + "}";
}

std::string optionalNumber(const std::optional<double> &value, bool json) {
    return value ? num(*value, json) : (json ? "null" : "");
}

} // namespace

std::string frameLine(const FrameReport &frame, const ReportSetting &setting) {
    const FrameFigures &f = frame.figures;
    std::string line = "frame " + std::to_string(frame.frame) + ": ";
    if (f.seenPixels == 0) {
        return line + "nothing seen by both eyes\n";
    }
    line += "near " + fixed(f.near1.percent, 2) + " % (" + fixed(f.near1.pixels, 1) + " px), far " +
            fixed(f.far99.percent, 2) + " % (" + fixed(f.far99.pixels, 1) +
            " px) at the 1st/99th percentile; extremes " + fixed(f.nearest.percent, 2) + " / " +
            fixed(f.farthest.percent, 2) + " %; vertical up to " +
            fixed(std::abs(f.vertical.pixels), 2) + " px; screen plane at " +
            (frame.zeroPlane ? fixed(*frame.zeroPlane, 3) + " " + setting.units : "infinity") +
            "; " + fixed(100.0 * f.outsideBudgetShare, 1) + " % outside the budget";
    if (f.windowLeft + f.windowRight > 0) {
        line += "; window cut " + std::to_string(f.windowLeft) + " px left, " +
                std::to_string(f.windowRight) + " px right";
    }
    if (f.overBudget) {
        const Budget &b = setting.budget;
        std::string why;
        const auto reason = [&why](bool holds, const char *text) {
            if (holds) {
                why += (why.empty() ? "" : ", ") + std::string(text);
            }
        };
        reason(f.near1.percent < b.nearPercent, "too near");
        reason(f.far99.percent > b.farPercent, "too far");
        reason(f.diverges, "diverges");
        reason(f.vertical99Percent > b.verticalPercent, "vertical");
        line += "; OVER BUDGET (" + why + ")";
    } else {
        line += "; within budget";
    }
    if (frame.suggestion.eyeDistance) {
        line += "; StereoDistance up to " + num(*frame.suggestion.eyeDistance, false) + " " +
                setting.units + " (now " + num(frame.eyeDistance, false) + ")";
    } else if (frame.eyeDistance > 0.0) {
        line += "; no StereoDistance brings it within (StereoAngle alone is over)";
    }
    return line + "\n";
}

std::string reportJson(const std::vector<FrameReport> &frames, const ReportSetting &setting) {
    const Budget &b = setting.budget;
    std::string text = "{\n  \"units\": \"" + setting.units + "\",\n";
    text += "  \"eyeImage\": {\"width\": " + std::to_string(setting.eyeWidth) +
            ", \"height\": " + std::to_string(setting.eyeHeight) + "},\n";
    text += "  \"budget\": {\"nearPercent\": " + num(b.nearPercent, true) +
            ", \"farPercent\": " + num(b.farPercent, true) +
            ", \"screenWidthMetres\": " + num(b.screenWidth, true) +
            ", \"divergencePercent\": " + num(b.divergencePercent(), true) +
            ", \"verticalPercent\": " + num(b.verticalPercent, true) + "},\n";
    text += "  \"frames\": [";
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const FrameReport &r = frames[i];
        const FrameFigures &f = r.figures;
        text += i == 0 ? "\n" : ",\n";
        text += "    {\"frame\": " + std::to_string(r.frame) +
                ", \"seenPixels\": " + std::to_string(f.seenPixels) +
                ", \"hiddenPixels\": " + std::to_string(f.hiddenPixels) +
                ", \"outsideViewPixels\": " + std::to_string(f.outsidePixels) + ",\n";
        text += "     \"nearest\": " + jsonExtreme(f.nearest) + ",\n";
        text += "     \"near1\": " + jsonExtreme(f.near1) + ",\n";
        text += "     \"far99\": " + jsonExtreme(f.far99) + ",\n";
        text += "     \"farthest\": " + jsonExtreme(f.farthest) + ",\n";
        text += "     \"vertical\": " + jsonExtreme(f.vertical) +
                ", \"vertical99Percent\": " + num(f.vertical99Percent, true) + ",\n";
        text += "     \"zeroParallaxDistance\": " + optionalNumber(r.zeroPlane, true) +
                ", \"outsideBudgetShare\": " + num(f.outsideBudgetShare, true) +
                ", \"diverges\": " + (f.diverges ? "true" : "false") +
                ", \"windowViolations\": {\"left\": " + std::to_string(f.windowLeft) +
                ", \"right\": " + std::to_string(f.windowRight) + "}" +
                ", \"overBudget\": " + (f.overBudget ? "true" : "false") + ",\n";
        text += "     \"stereoDistance\": " + num(r.eyeDistance, true) +
                ", \"suggestedStereoDistance\": " + optionalNumber(r.suggestion.eyeDistance, true);
        if (r.suggestion.eyeDistance) {
            text += ", \"atSuggestion\": {\"near1Percent\": " +
                    num(r.suggestion.figures.near1.percent, true) +
                    ", \"far99Percent\": " + num(r.suggestion.figures.far99.percent, true) + "}";
        }
        text += "}";
    }
    text += "\n  ]\n}\n";
    return text;
}

std::string reportCsv(const std::vector<FrameReport> &frames, const ReportSetting &setting) {
    std::string text =
        "frame,near1_percent,near1_px,far99_percent,far99_px,nearest_percent,nearest_x,nearest_y,"
        "nearest_distance,farthest_percent,farthest_x,farthest_y,farthest_distance,"
        "vertical_px,vertical_percent,vertical_x,vertical_y,vertical99_percent,"
        "zero_parallax_distance,outside_budget_share,diverges,window_left,window_right,"
        "over_budget,stereo_distance,suggested_stereo_distance,seen,hidden,outside_view,units\n";
    for (const FrameReport &r : frames) {
        const FrameFigures &f = r.figures;
        const auto e = [](const Extreme &x) {
            return num(x.percent, false) + "," + std::to_string(x.place.x) + "," +
                   std::to_string(x.place.y) + "," + num(x.place.distance, false);
        };
        text += std::to_string(r.frame) + "," + num(f.near1.percent, false) + "," +
                num(f.near1.pixels, false) + "," + num(f.far99.percent, false) + "," +
                num(f.far99.pixels, false) + "," + e(f.nearest) + "," + e(f.farthest) + "," +
                num(f.vertical.pixels, false) + "," + num(f.vertical.percent, false) + "," +
                std::to_string(f.vertical.place.x) + "," + std::to_string(f.vertical.place.y) +
                "," + num(f.vertical99Percent, false) + "," + optionalNumber(r.zeroPlane, false) +
                "," + num(f.outsideBudgetShare, false) + "," + (f.diverges ? "1" : "0") + "," +
                std::to_string(f.windowLeft) + "," + std::to_string(f.windowRight) + "," +
                (f.overBudget ? "1" : "0") + "," + num(r.eyeDistance, false) + "," +
                optionalNumber(r.suggestion.eyeDistance, false) + "," +
                std::to_string(f.seenPixels) + "," + std::to_string(f.hiddenPixels) + "," +
                std::to_string(f.outsidePixels) + "," + setting.units + "\n";
    }
    return text;
}

} // namespace brelvix::parallax
