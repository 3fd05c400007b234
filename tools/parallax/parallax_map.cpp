#include "tools/parallax/parallax_map.h"

#include "tools/parallax/cairo_output.h"
#include "tools/parallax/colour_scale.h"
#include "tools/parallax/number_text.h"
#include "tools/render/image_output.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace brelvix::parallax {
namespace {

constexpr int kBarHeight = 14;
/// Below the map: labels, the bar, labels, the legend.
constexpr int kBelow = 112;

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

/// A linear colour's brightness, sRGB-encoded, 0 to 1.
double brightness(const render::Rgb &colour) {
    return render::encodeSrgb(0.2126 * colour.x + 0.7152 * colour.y + 0.0722 * colour.z);
}

std::uint32_t argb(Colour c) {
    const auto channel = [](double v) {
        return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
    };
    return 0xff000000U | channel(c.r) << 16U | channel(c.g) << 8U | channel(c.b);
}

/// The seen pixels in front of the screen reached from the first or last
/// column through neighbours also in front: what the frame's edge cuts.
std::vector<bool> windowRegion(const ParallaxField &field) {
    const int w = field.width;
    const int h = field.height;
    std::vector<bool> region(field.pixels.size(), false);
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
        if (region[i] || !inFrontOfScreen(field.at(x, y))) {
            continue;
        }
        region[i] = true;
        stack.insert(stack.end(), {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}});
    }
    return region;
}

void drawMap(cairo_t *cr, const ParallaxField &field, const Budget &budget) {
    const std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> map(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, field.width, field.height),
        cairo_surface_destroy);
    cairo_surface_flush(map.get());
    unsigned char *const data = cairo_image_surface_get_data(map.get());
    const int stride = cairo_image_surface_get_stride(map.get());
    const double toWidth = 100.0 / field.eyeWidth;
    for (int y = 0; y < field.height; ++y) {
        auto *const row =
            reinterpret_cast<std::uint32_t *>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < field.width; ++x) {
            const std::size_t i =
                static_cast<std::size_t>(y) * static_cast<std::size_t>(field.width) +
                static_cast<std::size_t>(x);
            const double light = field.view.empty() ? 0.8 : brightness(field.view[i]);
            const PixelParallax &p = field.pixels[i];
            Colour colour;
            if (p.seen == Seen::both) {
                const double shade = 0.35 + 0.65 * light;
                const Colour scale = scaleColour(budget, p.horizontal * toWidth);
                colour = {scale.r * shade, scale.g * shade, scale.b * shade};
            } else {
                // Grey, darker in diagonal stripes.
                const double grey = (0.15 + 0.55 * light) * ((x + y) % 6 < 2 ? 0.55 : 1.0);
                colour = {grey, grey, grey};
            }
            row[x] = argb(colour);
        }
    }
    cairo_surface_mark_dirty(map.get());
    cairo_set_source_surface(cr, map.get(), kMapLeft, kMapTop);
    cairo_paint(cr);

    // The window violations' outline, along the pixels' edges.
    const std::vector<bool> region = windowRegion(field);
    const auto in = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < field.width && y < field.height &&
               region[static_cast<std::size_t>(y) * static_cast<std::size_t>(field.width) +
                      static_cast<std::size_t>(x)];
    };
    for (int y = 0; y < field.height; ++y) {
        for (int x = 0; x < field.width; ++x) {
            if (!in(x, y)) {
                continue;
            }
            const double left = kMapLeft + x;
            const double top = kMapTop + y;
            const auto edge = [cr](double x0, double y0, double x1, double y1) {
                cairo_move_to(cr, x0, y0);
                cairo_line_to(cr, x1, y1);
            };
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

void drawBar(cairo_t *cr, const Budget &budget, const FrameFigures &figures, int eyeWidth,
             double left, double top, double width) {
    const double nearLimit = budget.nearPercent;
    const double farLimit = budget.farLimitPercent();
    const double span = std::max(farLimit - nearLimit, 0.1);
    const double low = std::min(nearLimit, 0.0) - 0.25 * span;
    const double high = std::max(farLimit, 0.0) + 0.25 * span;
    const auto xOf = [&](double percent) { return left + (percent - low) / (high - low) * width; };
    for (int i = 0; i < static_cast<int>(width); ++i) {
        const double percent = low + (i + 0.5) / width * (high - low);
        const Colour c = scaleColour(budget, percent);
        cairo_set_source_rgb(cr, c.r, c.g, c.b);
        cairo_rectangle(cr, left + i, top, 1.0, kBarHeight);
        cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, left + 0.5, top + 0.5, width - 1.0, kBarHeight - 1.0);
    cairo_stroke(cr);

    // Ticks at the limits and at zero: percent above, pixels below.
    cairo_set_font_size(cr, 11.0);
    std::vector<double> ticks{nearLimit, 0.0, farLimit};
    if (budget.farPercent > farLimit) {
        ticks.push_back(budget.farPercent);
    }
    for (const double tick : ticks) {
        if (tick < low || tick > high) {
            continue;
        }
        const double x = std::round(xOf(tick)) + 0.5;
        cairo_move_to(cr, x, top - 3);
        cairo_line_to(cr, x, top + kBarHeight + 3);
        cairo_stroke(cr);
        drawText(cr, fixed(tick, 2) + " %", x, top - 6, 0);
        drawText(cr, fixed(tick * eyeWidth / 100.0, 1) + " px", x, top + kBarHeight + 15, 0);
    }
    // The frame's 1st and 99th percentiles as marks under the bar.
    if (figures.seenPixels > 0) {
        for (const Extreme *mark : {&figures.nearPercentile, &figures.farPercentile}) {
            const double x = xOf(std::clamp(mark->percent, low, high));
            cairo_move_to(cr, x, top + kBarHeight);
            cairo_line_to(cr, x - 5, top + kBarHeight + 8);
            cairo_line_to(cr, x + 5, top + kBarHeight + 8);
            cairo_close_path(cr);
            cairo_fill(cr);
        }
    }
}

void drawLegend(cairo_t *cr, double left, double baseline) {
    cairo_set_font_size(cr, 11.0);
    double x = left;
    const auto swatch = [&](const std::string &label, auto &&paint) {
        paint(x, baseline - 10);
        cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
        drawText(cr, label, x + 18, baseline);
        cairo_text_extents_t extents;
        cairo_text_extents(cr, label.c_str(), &extents);
        x += 18 + extents.x_advance + 16;
    };
    swatch("outside the budget", [cr](double sx, double sy) {
        cairo_set_source_rgb(cr, kWarningColour.r, kWarningColour.g, kWarningColour.b);
        cairo_rectangle(cr, sx, sy, 12, 12);
        cairo_fill(cr);
    });
    swatch("not seen by the right eye", [cr](double sx, double sy) {
        cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
        cairo_rectangle(cr, sx, sy, 12, 12);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
        for (int k = -12; k < 12; k += 6) {
            cairo_move_to(cr, sx + k, sy + 12);
            cairo_line_to(cr, sx + k + 12, sy);
        }
        cairo_save(cr);
        cairo_rectangle(cr, sx, sy, 12, 12);
        cairo_clip(cr);
        cairo_set_line_width(cr, 2.0);
        cairo_stroke(cr);
        cairo_restore(cr);
    });
    swatch("in front, cut by the frame's edge", [cr](double sx, double sy) {
        cairo_rectangle(cr, sx + 1, sy + 1, 10, 10);
        strokeWindowOutline(cr);
    });
}

} // namespace

bool writeParallaxMap(std::FILE *file, const ParallaxField &field, const FrameFigures &figures,
                      const Budget &budget, const std::string &title, std::string &error) {
    const int width = std::max(field.width + 2 * kMapLeft, 600);
    const int height = kMapTop + field.height + kBelow;
    const std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height), cairo_surface_destroy);
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

    drawMap(cr, field, budget);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    const double barTop = kMapTop + field.height + 28;
    drawBar(cr, budget, figures, field.eyeWidth, kMapLeft + 20, barTop,
            std::min(width - 2.0 * kMapLeft - 40.0, 560.0));
    drawLegend(cr, kMapLeft, barTop + kBarHeight + 54);
    cairo_surface_flush(surface.get());
    return writePng(surface.get(), file, error);
}

} // namespace brelvix::parallax
