#include "tools/parallax/budget.h"

#include "tools/parallax/huge_pages.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace brelvix::parallax {
namespace {

/// A pixel's place in the left eye's image.
Place placeOf(const ParallaxField &field, std::size_t index) {
    const int column = static_cast<int>(index % static_cast<std::size_t>(field.width));
    const int row = static_cast<int>(index / static_cast<std::size_t>(field.width));
    return {column * field.stride, row * field.stride, field.pixels[index].distance};
}

long countInFront(const std::vector<PixelParallax> &edge, double shift) {
    return std::count_if(edge.begin(), edge.end(),
                         [shift](const PixelParallax &p) { return inFrontOfScreen(p, shift); });
}

/// Marks the reasons a frame is over its budget.
void judge(FrameFigures &figures, const Budget &budget) {
    figures.tooNear = figures.nearPercentile.percent < budget.nearPercent;
    figures.tooFar = figures.farPercentile.percent > budget.farPercent;
    figures.diverges = figures.farPercentile.percent > budget.divergencePercent();
    figures.verticalOver = figures.verticalPercentile > budget.verticalPercent;
    figures.overBudget =
        figures.tooNear || figures.tooFar || figures.diverges || figures.verticalOver;
}

} // namespace

std::size_t rankOf(std::size_t count, double share) {
    const double rank = std::ceil(share * static_cast<double>(count)) - 1.0;
    return static_cast<std::size_t>(std::clamp(rank, 0.0, static_cast<double>(count - 1)));
}

double Budget::farLimitPercent() const { return std::min(farPercent, divergencePercent()); }

bool outsideBudget(const Budget &budget, double percent) {
    return percent < budget.nearPercent || percent > budget.farLimitPercent();
}

FrameFigures frameFigures(const ParallaxField &field, const Budget &budget) {
    FrameFigures figures;
    const double toWidth = 100.0 / field.eyeWidth;
    const double toHeight = 100.0 / field.eyeHeight;
    const double shift = budget.imageShift;
    const auto extreme = [&](std::size_t index) {
        const double pixels = field.pixels[index].horizontal + shift;
        return Extreme{pixels * toWidth, pixels, placeOf(field, index)};
    };

    // The seen pixels' parallaxes beside their indices, so that choosing
    // among them reads one array in order.
    struct Ranked {
        float horizontal;
        std::uint32_t index;
    };
    std::vector<Ranked> seen;
    reserveInHugePages(seen, field.pixels.size());
    std::vector<float> verticalSizes;
    reserveInHugePages(verticalSizes, field.pixels.size());
    long outside = 0;
    float largestVertical = -1.0F;
    for (std::size_t i = 0; i < field.pixels.size(); ++i) {
        const PixelParallax &pixel = field.pixels[i];
        figures.hiddenPixels += pixel.seen == Seen::hidden ? 1 : 0;
        figures.outsidePixels += pixel.seen == Seen::outside ? 1 : 0;
        if (pixel.seen != Seen::both) {
            continue;
        }
        seen.push_back({pixel.horizontal, static_cast<std::uint32_t>(i)});
        const float size = std::abs(pixel.vertical);
        verticalSizes.push_back(size);
        if (size > largestVertical) {
            largestVertical = size;
            figures.vertical = {pixel.vertical * toHeight, pixel.vertical, placeOf(field, i)};
        }
        outside += outsideBudget(budget, (pixel.horizontal + shift) * toWidth) ? 1 : 0;
    }
    figures.windowLeft = countInFront(field.leftEdge, shift);
    figures.windowRight = countInFront(field.rightEdge, shift);
    figures.seenPixels = static_cast<long>(seen.size());
    if (seen.empty()) {
        return figures;
    }
    const auto byParallax = [](const Ranked &a, const Ranked &b) {
        return a.horizontal < b.horizontal;
    };
    const auto [low, high] = std::minmax_element(seen.begin(), seen.end(), byParallax);
    figures.nearest = extreme(low->index);
    figures.farthest = extreme(high->index);
    const double share = budget.percentile / 100.0;
    const auto at = [&](double rankShare) {
        const auto nth = seen.begin() + static_cast<std::ptrdiff_t>(rankOf(seen.size(), rankShare));
        std::nth_element(seen.begin(), nth, seen.end(), byParallax);
        return extreme(nth->index);
    };
    figures.nearPercentile = at(share);
    figures.farPercentile = at(1.0 - share);
    const auto v = verticalSizes.begin() +
                   static_cast<std::ptrdiff_t>(rankOf(verticalSizes.size(), 1.0 - share));
    std::nth_element(verticalSizes.begin(), v, verticalSizes.end());
    figures.verticalPercentile = *v * toHeight;
    figures.outsideBudgetShare = static_cast<double>(outside) / static_cast<double>(seen.size());
    judge(figures, budget);
    return figures;
}

bool horizontalWithin(const FrameFigures &figures, const Budget &budget) {
    return figures.seenPixels == 0 || (figures.nearPercentile.percent >= budget.nearPercent &&
                                       figures.farPercentile.percent <= budget.farLimitPercent());
}

} // namespace brelvix::parallax
