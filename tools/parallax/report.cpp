#include "tools/parallax/report.h"

#include "tools/parallax/number_text.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>

namespace brelvix::parallax {
namespace {

using Json = nlohmann::ordered_json;

/// A number as JSON writes it (the shortest form that reads back exactly);
/// null when not finite, and 0 for -0.
Json number(double value) {
    if (!std::isfinite(value)) {
        return nullptr;
    }
    return value == 0.0 ? 0.0 : value;
}

Json optionalNumber(const std::optional<double> &value) {
    return value ? number(*value) : Json(nullptr);
}

Json extremeJson(const Extreme &e) {
    return {{"percent", number(e.percent)},
            {"pixels", number(e.pixels)},
            {"x", e.place.x},
            {"y", e.place.y},
            {"distance", number(e.place.distance)}};
}

Json rigJson(const RigShape &rig) {
    return {{"kind", kindName(rig.kind)}, {"screenDistance", optionalNumber(rig.screenDistance)}};
}

/// A value measured again: the same fields, null, when there is none.
Json measuredJson(const char *name, const std::optional<Measured> &m, const Budget &budget) {
    const bool has = m.has_value();
    return {{name, has ? number(m->value) : Json(nullptr)},
            {"nearPercentile", has ? number(m->figures.nearPercentile.percent) : Json(nullptr)},
            {"farPercentile", has ? number(m->figures.farPercentile.percent) : Json(nullptr)},
            {"withinBudget", has ? Json(horizontalWithin(m->figures, budget)) : Json(nullptr)}};
}

Json adviceJson(const FrameReport &r, const Budget &budget) {
    const std::optional<AngleAdvice> &a = r.angle;
    Json angle = measuredJson("stereoAngle", a ? std::optional(a->angle) : std::nullopt, budget);
    angle["rig"] = a ? rigJson(a->rig) : Json{{"kind", nullptr}, {"screenDistance", nullptr}};
    return {{"stereoDistanceRange",
             {{"kind", kindName(r.distance.kind)},
              {"low", measuredJson("stereoDistance", r.distance.low, budget)},
              {"high", measuredJson("stereoDistance", r.distance.high, budget)}}},
            {"stereoAngle", angle},
            {"imageShiftPixels", optionalNumber(r.imageShift)}};
}

Json frameJson(const FrameReport &r, const Budget &budget) {
    const FrameFigures &f = r.figures;
    return {{"frame", r.frame},
            {"seenPixels", f.seenPixels},
            {"hiddenPixels", f.hiddenPixels},
            {"outsideViewPixels", f.outsidePixels},
            {"nearest", extremeJson(f.nearest)},
            {"nearPercentile", extremeJson(f.nearPercentile)},
            {"farPercentile", extremeJson(f.farPercentile)},
            {"farthest", extremeJson(f.farthest)},
            {"vertical", extremeJson(f.vertical)},
            {"verticalPercentile", number(f.verticalPercentile)},
            {"outsideBudgetShare", number(f.outsideBudgetShare)},
            {"windowViolations", {{"left", f.windowLeft}, {"right", f.windowRight}}},
            {"overBudget", f.overBudget},
            {"over",
             {{"tooNear", f.tooNear},
              {"tooFar", f.tooFar},
              {"diverges", f.diverges},
              {"vertical", f.verticalOver}}},
            {"rig", rigJson(r.rig)},
            {"stereoDistance", number(r.eyeDistance)},
            {"stereoAngle", number(r.eyeAngle)},
            {"advice", adviceJson(r, budget)}};
}

Json settingJson(const ReportSetting &setting) {
    const Budget &b = setting.budget;
    return {{"units", setting.units},
            {"eyeImage", {{"width", setting.eyeWidth}, {"height", setting.eyeHeight}}},
            {"budget",
             {{"nearPercent", number(b.nearPercent)},
              {"farPercent", number(b.farPercent)},
              {"screenWidthMetres", number(b.screenWidth)},
              {"divergencePercent", number(b.divergencePercent())},
              {"verticalPercent", number(b.verticalPercent)},
              {"percentile", number(b.percentile)},
              {"imageShiftPixels", number(b.imageShift)}}}};
}

/// A JSON object's leaves as (dotted name, text) pairs, in order.
void flatten(const Json &value, const std::string &name,
             std::vector<std::pair<std::string, std::string>> &cells) {
    if (value.is_object()) {
        for (const auto &[key, inner] : value.items()) {
            flatten(inner, name.empty() ? key : name + "." + key, cells);
        }
    } else {
        cells.emplace_back(name, value.is_null()     ? ""
                                 : value.is_string() ? value.get<std::string>()
                                                     : value.dump());
    }
}

/// A setting or a suggestion in the line: four significant digits.
std::string brief(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", value == 0.0 ? 0.0 : value);
    return text;
}

std::string ordinal(double value) {
    const std::string text = brief(value);
    const long whole = std::lround(value);
    if (static_cast<double>(whole) != value || (whole % 100 >= 11 && whole % 100 <= 13)) {
        return text + "th";
    }
    const long last = whole % 10;
    return text + (last == 1 ? "st" : last == 2 ? "nd" : last == 3 ? "rd" : "th");
}

std::string rigText(const RigShape &rig, const std::string &units) {
    switch (rig.kind) {
    case RigKind::converged:
        return rig.screenDistance
                   ? "converged, screen plane at " + fixed(*rig.screenDistance, 3) + " " + units
                   : "converged, screen plane not found";
    case RigKind::diverged:
        return "diverged, no screen plane (infinity in front of it)";
    case RigKind::parallel:
        break;
    }
    return "parallel, screen plane at infinity";
}

std::string distanceText(const FrameReport &frame, const std::string &units) {
    const DistanceAdvice &d = frame.distance;
    const std::string now = " (now " + brief(frame.eyeDistance) + ")";
    switch (d.kind) {
    case DistanceAdvice::Kind::none:
        return "no StereoDistance brings it within" + now;
    case DistanceAdvice::Kind::any:
        return "any StereoDistance keeps it within";
    case DistanceAdvice::Kind::range:
        break;
    }
    const auto end = [](const std::optional<Measured> &m, const char *missing) {
        return m ? brief(m->value) : std::string(missing);
    };
    return "StereoDistance " + end(d.low, "0") + " to " + end(d.high, "any") + " " + units +
           " keeps it within" + now;
}

std::string overText(const FrameFigures &f) {
    std::string why;
    for (const auto &[holds, text] : {std::pair{f.tooNear, "too near"},
                                      {f.tooFar, "too far"},
                                      {f.diverges, "diverges"},
                                      {f.verticalOver, "vertical"}}) {
        if (holds) {
            why += (why.empty() ? "" : ", ") + std::string(text);
        }
    }
    return "OVER BUDGET (" + why + ")";
}

std::string adviceText(const FrameReport &frame, const std::string &units) {
    std::string text = "; " + distanceText(frame, units);
    if (frame.angle) {
        text += "; StereoAngle " + brief(frame.angle->angle.value) + " centres it (" +
                rigText(frame.angle->rig, units) + ")";
    }
    if (frame.imageShift) {
        text += "; an image shift of " + fixed(*frame.imageShift, 1) + " px centres it";
    }
    return text;
}

} // namespace

std::string percentileName(double percentile) {
    return percentile == 0.0
               ? std::string("extremes")
               : ordinal(percentile) + "/" + ordinal(100.0 - percentile) + " percentile";
}

std::string frameLine(const FrameReport &frame, const ReportSetting &setting) {
    const FrameFigures &f = frame.figures;
    std::string line = "frame " + std::to_string(frame.frame) + ": ";
    if (f.seenPixels == 0) {
        return line + "nothing seen by both eyes; " + rigText(frame.rig, setting.units) + "\n";
    }
    line += "near " + fixed(f.nearPercentile.percent, 2) + " % (" +
            fixed(f.nearPercentile.pixels, 1) + " px), far " + fixed(f.farPercentile.percent, 2) +
            " % (" + fixed(f.farPercentile.pixels, 1) + " px) at the " +
            percentileName(setting.budget.percentile) + "; extremes " +
            fixed(f.nearest.percent, 2) + " / " + fixed(f.farthest.percent, 2) +
            " %; vertical up to " + fixed(std::abs(f.vertical.pixels), 2) + " px; " +
            rigText(frame.rig, setting.units) + "; " + fixed(100.0 * f.outsideBudgetShare, 1) +
            " % outside the budget";
    if (f.windowLeft + f.windowRight > 0) {
        line += "; window cut " + std::to_string(f.windowLeft) + " px left, " +
                std::to_string(f.windowRight) + " px right";
    }
    line += f.overBudget ? "; " + overText(f) : "; within budget";
    return line + adviceText(frame, setting.units) + "\n";
}

std::string reportJson(const std::vector<FrameReport> &frames, const ReportSetting &setting) {
    Json report = settingJson(setting);
    report["frames"] = Json::array();
    for (const FrameReport &frame : frames) {
        report["frames"].push_back(frameJson(frame, setting.budget));
    }
    return report.dump(2) + "\n";
}

std::string reportCsv(const std::vector<FrameReport> &frames, const ReportSetting &setting) {
    const Json common = settingJson(setting);
    std::string text;
    for (const FrameReport &frame : frames) {
        std::vector<std::pair<std::string, std::string>> cells;
        flatten(frameJson(frame, setting.budget), "", cells);
        flatten(common, "", cells);
        std::string header;
        std::string row;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            header += (i == 0 ? "" : ",") + cells[i].first;
            row += (i == 0 ? "" : ",") + cells[i].second;
        }
        text += (text.empty() ? header + "\n" : "") + row + "\n";
    }
    return text;
}

} // namespace brelvix::parallax
