#include "tools/parallax/bracket_chart.h"

#include "tools/parallax/cairo_output.h"
#include "tools/parallax/colour_scale.h"
#include "tools/parallax/number_text.h"

#include <cairo-svg.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace brelvix::parallax {
namespace {

constexpr int kWidth = 820;
constexpr int kHeight = 420;
constexpr double kLeft = 70.0;
constexpr double kRight = 70.0;
constexpr double kTop = 44.0;
constexpr double kBottom = 64.0;

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

void draw(cairo_t *cr, const std::vector<FrameBracket> &frames, const Budget &budget, int eyeWidth,
          const std::string &title) {
    const double plotWidth = kWidth - kLeft - kRight;
    const double plotHeight = kHeight - kTop - kBottom;
    const double nearLimit = budget.nearPercent;
    const double farLimit = budget.farLimitPercent();
    double low = std::min(nearLimit, 0.0);
    double high = std::max({budget.farPercent, budget.divergencePercent(), 0.0});
    for (const FrameBracket &f : frames) {
        if (f.figures.seenPixels > 0) {
            low = std::min(low, f.figures.nearest.percent);
            high = std::max(high, f.figures.farthest.percent);
        }
    }
    const double pad = 0.08 * (high - low + 0.1);
    low -= pad;
    high += pad;
    const double first = frames.empty() ? 0.0 : static_cast<double>(frames.front().frame);
    const double last = frames.empty() ? 1.0 : static_cast<double>(frames.back().frame);
    const double slot = plotWidth / std::max(last - first + 1.0, 1.0);
    const auto xOf = [&](double frame) { return kLeft + (frame - first + 0.5) * slot; };
    const auto yOf = [&](double percent) {
        return kTop + (high - percent) / (high - low) * plotHeight;
    };

    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    // The comfort range as a pale band, the limits and zero as lines.
    cairo_set_source_rgb(cr, 0.92, 0.97, 0.92);
    cairo_rectangle(cr, kLeft, yOf(farLimit), plotWidth, yOf(nearLimit) - yOf(farLimit));
    cairo_fill(cr);

    // Grid and labels: percent on the left, pixels on the right.
    cairo_set_font_size(cr, 11.0);
    const double step = tickStep(high - low, 8);
    cairo_set_line_width(cr, 1.0);
    for (double tick = std::ceil(low / step) * step; tick <= high; tick += step) {
        const double y = std::round(yOf(tick)) + 0.5;
        cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
        cairo_move_to(cr, kLeft, y);
        cairo_line_to(cr, kLeft + plotWidth, y);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        drawText(cr, fixed(tick, 2) + " %", kLeft - 6, y + 4, 1);
        drawText(cr, fixed(tick * eyeWidth / 100.0, 1) + " px", kLeft + plotWidth + 6, y + 4);
    }
    const auto level = [&](double percent, Colour c, bool dashed, const std::string &label) {
        const double y = std::round(yOf(percent)) + 0.5;
        const double dash[] = {6.0, 4.0};
        cairo_set_dash(cr, dash, dashed ? 2 : 0, 0.0);
        cairo_set_source_rgb(cr, c.r, c.g, c.b);
        cairo_set_line_width(cr, 1.5);
        cairo_move_to(cr, kLeft, y);
        cairo_line_to(cr, kLeft + plotWidth, y);
        cairo_stroke(cr);
        cairo_set_dash(cr, dash, 0, 0.0);
        if (!label.empty()) {
            // At the right end, on a white ground, clear of the bars below.
            cairo_text_extents_t extents;
            cairo_text_extents(cr, label.c_str(), &extents);
            const double right = kLeft + plotWidth - 4;
            cairo_set_source_rgba(cr, 1.0, 1.0, 1.0, 0.85);
            cairo_rectangle(cr, right - extents.x_advance - 3, y - 15, extents.x_advance + 6, 13);
            cairo_fill(cr);
            cairo_set_source_rgb(cr, c.r, c.g, c.b);
            drawText(cr, label, right, y - 4, 1);
        }
    };

    // Each frame: extremes as a thin line with caps, the 1-99 % band as a
    // bar, coloured by its side of the screen, outlined in the warning
    // colour when the frame is over budget.
    const double barWidth = std::clamp(slot * 0.5, 1.0, 14.0);
    for (const FrameBracket &f : frames) {
        if (f.figures.seenPixels == 0) {
            continue;
        }
        const double x = xOf(static_cast<double>(f.frame));
        cairo_set_source_rgb(cr, 0.25, 0.25, 0.25);
        cairo_set_line_width(cr, 1.0);
        cairo_move_to(cr, x, yOf(f.figures.nearest.percent));
        cairo_line_to(cr, x, yOf(f.figures.farthest.percent));
        for (const double end : {f.figures.nearest.percent, f.figures.farthest.percent}) {
            cairo_move_to(cr, x - barWidth * 0.35, yOf(end));
            cairo_line_to(cr, x + barWidth * 0.35, yOf(end));
        }
        cairo_stroke(cr);
        const double top = yOf(f.figures.farPercentile.percent);
        const double bottom = yOf(f.figures.nearPercentile.percent);
        const double zero = std::clamp(yOf(0.0), top, bottom);
        cairo_set_source_rgb(cr, kBehindColour.r, kBehindColour.g, kBehindColour.b);
        cairo_rectangle(cr, x - barWidth / 2, top, barWidth, std::max(zero - top, 0.0));
        cairo_fill(cr);
        cairo_set_source_rgb(cr, kFrontColour.r, kFrontColour.g, kFrontColour.b);
        cairo_rectangle(cr, x - barWidth / 2, zero, barWidth, std::max(bottom - zero, 0.0));
        cairo_fill(cr);
        if (f.figures.overBudget) {
            cairo_set_source_rgb(cr, kWarningColour.r * 0.9, kWarningColour.g * 0.9, 0.0);
            cairo_set_line_width(cr, 2.0);
            cairo_rectangle(cr, x - barWidth / 2 - 1.5, top - 1.5, barWidth + 3,
                            std::max(bottom - top, 1.0) + 3);
            cairo_stroke(cr);
        }
    }

    // The limits over the bars, their labels clear of them.
    level(0.0, {0.4, 0.4, 0.4}, false, "screen");
    level(nearLimit, kFrontColour, true, "near limit " + fixed(nearLimit, 2) + " %");
    level(budget.farPercent, kBehindColour, true,
          "far limit " + fixed(budget.farPercent, 2) + " %");
    level(budget.divergencePercent(), {0.45, 0.0, 0.45}, true,
          "divergence (65 mm) " + fixed(budget.divergencePercent(), 2) + " %");

    // Frame numbers, about ten of them.
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    const long every = std::max(1L, static_cast<long>(tickStep(last - first + 1.0, 10)));
    for (const FrameBracket &f : frames) {
        if (f.frame % every == 0 || frames.size() <= 12) {
            drawText(cr, std::to_string(f.frame), xOf(static_cast<double>(f.frame)),
                     kTop + plotHeight + 16, 0);
        }
    }
    drawText(cr, "frame", kLeft + plotWidth / 2, kTop + plotHeight + 34, 0);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, kLeft + 0.5, kTop + 0.5, plotWidth, plotHeight);
    cairo_stroke(cr);
    cairo_set_font_size(cr, 13.0);
    drawText(cr, title, kLeft, 26);
    cairo_set_font_size(cr, 11.0);
    drawText(cr,
             "bar: 1st to 99th percentile (blue in front of the screen, red behind); "
             "line: nearest to farthest; yellow outline: over budget",
             kLeft, kHeight - 14);
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
