#include "tools/parallax/parallax_map.h"

#include "tools/parallax/cairo_output.h"
#include "tools/parallax/colour_scale.h"
#include "tools/parallax/number_text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace brelvix::parallax {
namespace {

constexpr int kBarHeight = 14;
/// Below the horizontal map: labels, the bar, labels, the legend.
constexpr int kBelow = 124;
/// Above the vertical map: its heading; below it: its bar and labels.
constexpr int kVerticalAbove = 28;
constexpr int kVerticalBelow = 64;

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

/// Strokes the current path as a window violation's outline: the window
/// colour over a wider black line, so that it reads on any colour.
void strokeWindowOutline(cairo_t *cr) {
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_line_width(cr, 3.0);
    cairo_stroke_preserve(cr);
    cairo_set_source_rgb(cr, kWindowColour.r, kWindowColour.g, kWindowColour.b);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
}

std::uint32_t argb(Colour c) {
    const auto channel = [](double v) {
        return static_cast<std::uint32_t>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5);
    };
    return 0xff000000U | channel(c.r) << 16U | channel(c.g) << 8U | channel(c.b);
}

/// Paints a picture of `width` by `height` pixels at (left, top), each
/// pixel's colour from `colour(x, y)`.
template <typename ColourAt>
void paintPixels(cairo_t *cr, int width, int height, double left, double top,
                 const ColourAt &colour) {
    const Surface image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height),
                        cairo_surface_destroy);
    cairo_surface_flush(image.get());
    unsigned char *const data = cairo_image_surface_get_data(image.get());
    const int stride = cairo_image_surface_get_stride(image.get());
    for (int y = 0; y < height; ++y) {
        auto *const row =
            reinterpret_cast<std::uint32_t *>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < width; ++x) {
            row[x] = argb(colour(x, y));
        }
    }
    cairo_surface_mark_dirty(image.get());
    cairo_set_source_surface(cr, image.get(), left, top);
    cairo_paint(cr);
}

/// The seen pixels in front of the screen that the frame's edges cut: from
/// the last column through neighbours in front, and from the first through
/// those the right eye cannot see as well (the left edge hides them from it).
std::vector<bool> windowRegion(const ParallaxField &field, double shift) {
    const int w = field.width;
    const int h = field.height;
    std::vector<bool> region(field.pixels.size(), false);
    std::vector<bool> visited(field.pixels.size(), false);
    std::vector<std::pair<int, int>> stack;
    for (int y = 0; y < h; ++y) {
        stack.emplace_back(0, y);
        stack.emplace_back(w - 1, y);
    }
    while (!stack.empty()) {
        const auto [x, y] = stack.back();
        stack.pop_back();
        if (x < 0 || y < 0 || x >= w || y >= h) {
            continue;
        }
        const std::size_t i =
            static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x);
        const PixelParallax &p = field.pixels[i];
        const bool front = inFrontOfScreen(p, shift);
        if (visited[i] || !(front || (p.seen == Seen::outside && x < w / 2 && x == 0) ||
                            (p.seen == Seen::outside && x > 0 && x < w / 2 && visited[i - 1]))) {
            continue;
        }
        visited[i] = true;
        region[i] = front;
        stack.insert(stack.end(), {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}});
    }
    return region;
}

void outlineWindow(cairo_t *cr, const ParallaxField &field, double shift) {
    const std::vector<bool> region = windowRegion(field, shift);
    const auto in = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < field.width && y < field.height &&
               region[static_cast<std::size_t>(y) * static_cast<std::size_t>(field.width) +
                      static_cast<std::size_t>(x)];
    };
    const auto edge = [cr](double x0, double y0, double x1, double y1) {
        cairo_move_to(cr, x0, y0);
        cairo_line_to(cr, x1, y1);
    };
    for (int y = 0; y < field.height; ++y) {
        for (int x = 0; x < field.width; ++x) {
            if (!in(x, y)) {
                continue;
            }
            const double left = kMapLeft + x;
            const double top = kMapTop + y;
            if (!in(x - 1, y)) {
                edge(left, top, left, top + 1);
            }
            if (!in(x + 1, y)) {
                edge(left + 1, top, left + 1, top + 1);
            }
            if (!in(x, y - 1)) {
                edge(left, top, left + 1, top);
            }
            if (!in(x, y + 1)) {
                edge(left, top + 1, left + 1, top + 1);
            }
        }
    }
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
    strokeWindowOutline(cr);
}

/// The horizontal (or vertical) map at `top`.
void drawMap(cairo_t *cr, const ParallaxField &field, const std::vector<double> &lights,
             const Budget &budget, double top, bool vertical) {
    const double toWidth = 100.0 / field.eyeWidth;
    const double toHeight = 100.0 / field.eyeHeight;
    paintPixels(cr, field.width, field.height, kMapLeft, top, [&](int x, int y) {
        const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(field.width) +
                              static_cast<std::size_t>(x);
        const PixelParallax &p = field.pixels[i];
        if (p.seen != Seen::both) {
            return unseenPixel(x, y);
        }
        const double light = lights[i];
        if (vertical) {
            const double percent = p.vertical * toHeight;
            return seenPixel(verticalColour(budget, percent), light,
                             std::abs(percent) > budget.verticalPercent, x, y);
        }
        const double percent = (p.horizontal + budget.imageShift) * toWidth;
        return seenPixel(scaleColour(budget, percent), light, outsideBudget(budget, percent), x, y);
    });
}

/// A colour bar from `low` to `high` percent, with ticks labelled in
/// percent above and pixels below, and marks under it; labels that would
/// meet the one before move up a line.
struct Bar {
    double left = 0.0;
    double top = 0.0;
    double width = 0.0;
    double low = 0.0;
    double high = 1.0;
    double x(double percent) const { return left + (percent - low) / (high - low) * width; }
};

void drawBar(cairo_t *cr, const Bar &bar, const std::function<Colour(double, int, int)> &colour,
             const std::vector<double> &ticks, double pixelsPerPercent) {
    paintPixels(cr, static_cast<int>(bar.width), kBarHeight, bar.left, bar.top, [&](int x, int y) {
        return colour(bar.low + (x + 0.5) / bar.width * (bar.high - bar.low), x, y);
    });
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, bar.left + 0.5, bar.top + 0.5, bar.width - 1.0, kBarHeight - 1.0);
    cairo_stroke(cr);
    cairo_set_font_size(cr, 11.0);
    double lastRight[2] = {-1e9, -1e9};
    for (const double tick : ticks) {
        if (tick < bar.low || tick > bar.high) {
            continue;
        }
        const double x = std::round(bar.x(tick)) + 0.5;
        cairo_move_to(cr, x, bar.top - 3);
        cairo_line_to(cr, x, bar.top + kBarHeight + 3);
        cairo_stroke(cr);
        const std::string labels[2] = {fixed(tick, 2) + " %",
                                       fixed(tick * pixelsPerPercent, 1) + " px"};
        for (int side = 0; side < 2; ++side) {
            cairo_text_extents_t extents;
            cairo_text_extents(cr, labels[side].c_str(), &extents);
            const bool crowded = x - 0.5 * extents.x_advance < lastRight[side] + 4.0;
            const double line = (side == 0 ? -6.0 : kBarHeight + 15.0) +
                                (crowded ? 12.0 : 0.0) * (side == 0 ? -1 : 1);
            drawText(cr, labels[side], x, bar.top + line, 0);
            lastRight[side] = crowded ? lastRight[side] : x + 0.5 * extents.x_advance;
        }
    }
}

void drawHorizontalBar(cairo_t *cr, const Budget &budget, const FrameFigures &figures, int eyeWidth,
                       Bar bar) {
    const double nearLimit = budget.nearPercent;
    const double farLimit = budget.farLimitPercent();
    const double span = std::max(farLimit - nearLimit, 0.1);
    bar.low = std::min(nearLimit, 0.0) - 0.5 * span;
    bar.high = std::max(farLimit, 0.0) + 0.5 * span;
    std::vector<double> ticks{nearLimit, 0.0, farLimit};
    if (budget.farPercent > farLimit) {
        ticks.push_back(budget.farPercent);
    }
    drawBar(
        cr, bar,
        [&](double percent, int x, int y) {
            return seenPixel(scaleColour(budget, percent), 1.0, outsideBudget(budget, percent), x,
                             y);
        },
        ticks, eyeWidth / 100.0);
    // The frame's near and far percentiles as marks under the bar.
    if (figures.seenPixels > 0) {
        for (const Extreme *mark : {&figures.nearPercentile, &figures.farPercentile}) {
            const double x = bar.x(std::clamp(mark->percent, bar.low, bar.high));
            cairo_move_to(cr, x, bar.top + kBarHeight);
            cairo_line_to(cr, x - 5, bar.top + kBarHeight + 8);
            cairo_line_to(cr, x + 5, bar.top + kBarHeight + 8);
            cairo_close_path(cr);
            cairo_fill(cr);
        }
    }
}

/// The legend's swatches, painted as the map paints its pixels, on as many
/// lines as the picture's width needs.
void drawLegend(cairo_t *cr, double left, double baseline, double right) {
    cairo_set_font_size(cr, 11.0);
    double x = left;
    double top = baseline - 10;
    const auto swatch = [&](const std::string &label, const std::function<void(double)> &paint) {
        cairo_text_extents_t extents;
        cairo_text_extents(cr, label.c_str(), &extents);
        if (x > left && x + 18 + extents.x_advance > right) {
            x = left;
            baseline += 16;
            top += 16;
        }
        paint(x);
        cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
        drawText(cr, label, x + 18, baseline);
        x += 18 + extents.x_advance + 16;
    };
    swatch("past the budget (darker: farther)", [&](double sx) {
        paintPixels(cr, 12, 12, sx, top,
                    [](int px, int py) { return seenPixel(kFrontColour, 1.0, true, px, py); });
    });
    swatch("not seen by the other eye", [&](double sx) {
        paintPixels(cr, 12, 12, sx, top, [](int px, int py) { return unseenPixel(px, py); });
    });
    swatch("in front, cut by the frame's edge", [&](double sx) {
        cairo_rectangle(cr, sx + 1, top + 1, 10, 10);
        strokeWindowOutline(cr);
    });
}

void drawVerticalPanel(cairo_t *cr, const ParallaxField &field, const std::vector<double> &light,
                       const Budget &budget, double top, double barWidth) {
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_font_size(cr, 12.0);
    drawText(cr,
             "Vertical parallax, limit " + fixed(budget.verticalPercent, 2) + " % of the height",
             kMapLeft, top + 18);
    drawMap(cr, field, light, budget, top + kVerticalAbove, true);
    const double limit = budget.verticalPercent;
    const Bar bar{kMapLeft + 20, top + kVerticalAbove + field.height + 28, barWidth, 0.0,
                  2.0 * limit};
    drawBar(
        cr, bar,
        [&](double percent, int x, int y) {
            return seenPixel(verticalColour(budget, percent), 1.0, percent > limit, x, y);
        },
        {0.0, limit, 2.0 * limit}, field.eyeHeight / 100.0);
}

} // namespace

bool writeParallaxMap(std::FILE *file, const ParallaxField &field, const FrameFigures &figures,
                      const Budget &budget, const std::string &title, std::string &error) {
    const int width = std::max(field.width + 2 * kMapLeft, 600);
    const int verticalTop = kMapTop + field.height + kBelow;
    const int height = verticalTop + kVerticalAbove + field.height + kVerticalBelow;
    const Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height),
                          cairo_surface_destroy);
    const std::unique_ptr<cairo_t, decltype(&cairo_destroy)> context(cairo_create(surface.get()),
                                                                     cairo_destroy);
    cairo_t *const cr = context.get();
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
        error = cairo_status_to_string(cairo_status(cr));
        return false;
    }
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    // 13 points, smaller when the title would not fit the width.
    cairo_set_font_size(cr, 13.0);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, title.c_str(), &extents);
    const double room = width - 2.0 * kMapLeft;
    if (extents.x_advance > room) {
        cairo_set_font_size(cr, std::max(13.0 * room / extents.x_advance, 7.0));
    }
    drawText(cr, title, kMapLeft, 26);

    // A field measured without its view is drawn on an even grey.
    const std::vector<double> grey(field.light.empty() ? field.pixels.size() : 0, 0.8);
    const std::vector<double> &light = field.light.empty() ? grey : field.light;
    drawMap(cr, field, light, budget, kMapTop, false);
    outlineWindow(cr, field, budget.imageShift);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    const double barWidth = std::min(width - 2.0 * kMapLeft - 40.0, 560.0);
    const double barTop = kMapTop + field.height + 28;
    drawHorizontalBar(cr, budget, figures, field.eyeWidth, {kMapLeft + 20, barTop, barWidth});
    drawLegend(cr, kMapLeft, barTop + kBarHeight + 50, width - kMapLeft);
    drawVerticalPanel(cr, field, light, budget, verticalTop, barWidth);
    cairo_surface_flush(surface.get());
    return writePng(surface.get(), file, error);
}

} // namespace brelvix::parallax
