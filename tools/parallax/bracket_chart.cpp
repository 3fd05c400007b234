#include "tools/parallax/bracket_chart.h"

#include "tools/parallax/cairo_output.h"
#include "tools/parallax/colour_scale.h"
#include "tools/parallax/number_text.h"

#include <cairo-svg.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace brelvix::parallax {
namespace {

constexpr int kWidth = 960;
constexpr int kHeight = 440;
constexpr double kLeft = 70.0;
/// Right of the plot: the pixel labels, then the budget lines' labels.
constexpr double kPixelLabels = 56.0;
constexpr double kRight = 210.0;
constexpr double kTop = 44.0;
constexpr double kBottom = 84.0;
constexpr double kPlotWidth = kWidth - kLeft - kRight;
constexpr double kPlotHeight = kHeight - kTop - kBottom;

/// A tick step of 1, 2 or 5 times a power of ten giving about `count` ticks.
double tickStep(double span, int count) {
    const double raw = span / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0}) {
        if (m * power >= raw) {
            return m * power;
        }
    }
    return 10.0 * power;
}

/// The plot's scale: frames across, percent up.
struct Plot {
    double first = 0.0;
    double last = 1.0;
    double low = 0.0;
    double high = 1.0;
    double slot() const { return kPlotWidth / std::max(last - first + 1.0, 1.0); }
    double x(double frame) const { return kLeft + (frame - first + 0.5) * slot(); }
    double y(double percent) const { return kTop + (high - percent) / (high - low) * kPlotHeight; }
};

Plot plotOf(const std::vector<FrameBracket> &frames, const Budget &budget) {
    Plot plot;
    plot.low = std::min(budget.nearPercent, 0.0);
    plot.high = std::max({budget.farPercent, budget.divergencePercent(), 0.0});
    for (const FrameBracket &f : frames) {
        if (f.figures.seenPixels > 0) {
            plot.low = std::min(plot.low, f.figures.nearest.percent);
            plot.high = std::max(plot.high, f.figures.farthest.percent);
        }
    }
    const double pad = 0.08 * (plot.high - plot.low + 0.1);
    plot.low -= pad;
    plot.high += pad;
    plot.first = frames.empty() ? 0.0 : static_cast<double>(frames.front().frame);
    plot.last = frames.empty() ? 1.0 : static_cast<double>(frames.back().frame);
    return plot;
}

/// Grid lines, labelled in percent on the left and pixels on the right.
void drawGrid(cairo_t *cr, const Plot &plot, const Budget &budget, int eyeWidth) {
    cairo_set_source_rgb(cr, 0.92, 0.97, 0.92);
    const double farY = plot.y(budget.farLimitPercent());
    cairo_rectangle(cr, kLeft, farY, kPlotWidth, plot.y(budget.nearPercent) - farY);
    cairo_fill(cr);
    cairo_set_font_size(cr, 11.0);
    const double step = tickStep(plot.high - plot.low, 8);
    cairo_set_line_width(cr, 1.0);
    for (double tick = std::ceil(plot.low / step) * step; tick <= plot.high; tick += step) {
        const double y = std::round(plot.y(tick)) + 0.5;
        cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
        cairo_move_to(cr, kLeft, y);
        cairo_line_to(cr, kLeft + kPlotWidth, y);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        drawText(cr, fixed(tick, 2) + " %", kLeft - 6, y + 4, 1);
        drawText(cr, fixed(tick * eyeWidth / 100.0, 1) + " px", kLeft + kPlotWidth + 6, y + 4);
    }
}

/// The budget's lines across the plot, their labels in the right margin,
/// each moved down clear of the one above.
void drawLevels(cairo_t *cr, const Plot &plot, const Budget &budget) {
    struct Level {
        double percent;
        Colour colour;
        bool dashed;
        std::string label;
    };
    std::vector<Level> levels{
        {0.0, {0.4, 0.4, 0.4}, false, "screen"},
        {budget.nearPercent, kFrontColour, true,
         "near limit " + fixed(budget.nearPercent, 2) + " %"},
        {budget.farPercent, kBehindColour, true, "far limit " + fixed(budget.farPercent, 2) + " %"},
        {budget.divergencePercent(),
         {0.45, 0.0, 0.45},
         true,
         "divergence " + fixed(budget.divergencePercent(), 2) + " %"}};
    std::sort(levels.begin(), levels.end(),
              [](const Level &a, const Level &b) { return a.percent > b.percent; });
    double lastBaseline = -1e9;
    const double dash[] = {6.0, 4.0};
    for (const Level &level : levels) {
        const double y = std::round(plot.y(level.percent)) + 0.5;
        cairo_set_dash(cr, dash, level.dashed ? 2 : 0, 0.0);
        cairo_set_source_rgb(cr, level.colour.r, level.colour.g, level.colour.b);
        cairo_set_line_width(cr, 1.5);
        cairo_move_to(cr, kLeft, y);
        cairo_line_to(cr, kLeft + kPlotWidth, y);
        cairo_stroke(cr);
        cairo_set_dash(cr, dash, 0, 0.0);
        const double baseline = std::max(y + 4.0, lastBaseline + 13.0);
        drawText(cr, level.label, kLeft + kPlotWidth + kPixelLabels, baseline);
        lastBaseline = baseline;
    }
}

/// Why a frame is over, in letters: N near, F far, D diverges, V vertical.
std::string reasons(const FrameFigures &f) {
    std::string letters;
    for (const auto &[holds, letter] :
         {std::pair{f.tooNear, 'N'}, {f.tooFar, 'F'}, {f.diverges, 'D'}, {f.verticalOver, 'V'}}) {
        if (holds) {
            letters += letter;
        }
    }
    return letters;
}

/// A frame: its near-to-far percentile band as a bar (at least 2 pixels
/// tall), its extremes as a line with caps over it, and why it is over.
void drawFrame(cairo_t *cr, const Plot &plot, const FrameBracket &frame, double barWidth) {
    const FrameFigures &f = frame.figures;
    const double x = plot.x(static_cast<double>(frame.frame));
    double top = plot.y(f.farPercentile.percent);
    double bottom = plot.y(f.nearPercentile.percent);
    if (bottom - top < 2.0) {
        top = 0.5 * (top + bottom) - 1.0;
        bottom = top + 2.0;
    }
    const double zero = std::clamp(plot.y(0.0), top, bottom);
    cairo_set_source_rgb(cr, kBehindColour.r, kBehindColour.g, kBehindColour.b);
    cairo_rectangle(cr, x - barWidth / 2, top, barWidth, zero - top);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, kFrontColour.r, kFrontColour.g, kFrontColour.b);
    cairo_rectangle(cr, x - barWidth / 2, zero, barWidth, bottom - zero);
    cairo_fill(cr);
    if (f.overBudget) {
        cairo_set_source_rgb(cr, kWarningColour.r * 0.9, kWarningColour.g * 0.9, 0.0);
        cairo_set_line_width(cr, 2.0);
        cairo_rectangle(cr, x - barWidth / 2 - 1.5, top - 1.5, barWidth + 3, bottom - top + 3);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
        cairo_set_font_size(cr, std::clamp(plot.slot() * 0.9, 6.0, 10.0));
        const std::string why = reasons(f);
        for (std::size_t i = 0; i < why.size(); ++i) {
            drawText(cr, std::string(1, why[i]), x, kTop + 10.0 + 9.0 * static_cast<double>(i), 0);
        }
    }
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, x, plot.y(f.nearest.percent));
    cairo_line_to(cr, x, plot.y(f.farthest.percent));
    for (const double end : {f.nearest.percent, f.farthest.percent}) {
        cairo_move_to(cr, x - barWidth * 0.5 - 2.0, plot.y(end));
        cairo_line_to(cr, x + barWidth * 0.5 + 2.0, plot.y(end));
    }
    cairo_stroke(cr);
}

void drawAxes(cairo_t *cr, const Plot &plot, const std::vector<FrameBracket> &frames,
              const std::string &title) {
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_set_font_size(cr, 11.0);
    const long every = std::max(1L, static_cast<long>(tickStep(plot.last - plot.first + 1.0, 10)));
    for (const FrameBracket &f : frames) {
        if (f.frame % every == 0 || frames.size() <= 12) {
            drawText(cr, std::to_string(f.frame), plot.x(static_cast<double>(f.frame)),
                     kTop + kPlotHeight + 16, 0);
        }
    }
    drawText(cr, "frame", kLeft + kPlotWidth / 2, kTop + kPlotHeight + 34, 0);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, kLeft + 0.5, kTop + 0.5, kPlotWidth, kPlotHeight);
    cairo_stroke(cr);
    cairo_set_font_size(cr, 13.0);
    drawText(cr, title, kLeft, 26);
    cairo_set_font_size(cr, 11.0);
    drawText(cr,
             "bar: near to far percentile (blue in front of the screen, red behind); line: "
             "nearest to farthest",
             kLeft, kHeight - 26);
    drawText(cr,
             "yellow outline: over budget, because N too near, F too far, D diverges, "
             "V vertical parallax",
             kLeft, kHeight - 10);
}

void draw(cairo_t *cr, const std::vector<FrameBracket> &frames, const Budget &budget, int eyeWidth,
          const std::string &title) {
    const Plot plot = plotOf(frames, budget);
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    drawGrid(cr, plot, budget, eyeWidth);
    const double barWidth = std::clamp(plot.slot() * 0.5, 1.0, 14.0);
    for (const FrameBracket &f : frames) {
        if (f.figures.seenPixels > 0) {
            drawFrame(cr, plot, f, barWidth);
        }
    }
    drawLevels(cr, plot, budget);
    drawAxes(cr, plot, frames, title);
}

} // namespace

bool writeBracketChart(std::FILE *file, bool svg, const std::vector<FrameBracket> &frames,
                       const Budget &budget, int eyeWidth, const std::string &title,
                       std::string &error) {
    using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
    const Surface surface(
        svg ? cairo_svg_surface_create_for_stream(writeToFile, file, kWidth, kHeight)
            : cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight),
        cairo_surface_destroy);
    {
        const std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()),
                                                                    cairo_destroy);
        draw(cr.get(), frames, budget, eyeWidth, title);
    }
    if (svg) {
        cairo_surface_finish(surface.get());
        if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
            error = cairo_status_to_string(cairo_surface_status(surface.get()));
            return false;
        }
        return true;
    }
    return writePng(surface.get(), file, error);
}

} // namespace brelvix::parallax
