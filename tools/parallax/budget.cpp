#include "tools/parallax/budget.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace brelvix::parallax {
namespace {

/// A pixel's place in the left eye's image.
Place placeOf(const ParallaxField &field, std::size_t index) {
    const int column = static_cast<int>(index % static_cast<std::size_t>(field.width));
    const int row = static_cast<int>(index / static_cast<std::size_t>(field.width));
    return {column * field.stride, row * field.stride, field.pixels[index].distance};
}

/// The value at rank `share` of the ordered values (nearest rank).
std::size_t rankOf(std::size_t count, double share) {
    const double rank = std::ceil(share * static_cast<double>(count)) - 1.0;
    return static_cast<std::size_t>(std::clamp(rank, 0.0, static_cast<double>(count - 1)));
}

} // namespace

double Budget::farLimitPercent() const { return std::min(farPercent, divergencePercent()); }

bool outsideBudget(const Budget &budget, double percent) {
    return percent < budget.nearPercent || percent > budget.farLimitPercent();
}

FrameFigures frameFigures(const ParallaxField &field, const Budget &budget) {
    FrameFigures figures;
    const double toWidth = 100.0 / field.eyeWidth;
    const double toHeight = 100.0 / field.eyeHeight;
    const auto extreme = [&](std::size_t index) {
        const double pixels = field.pixels[index].horizontal;
        return Extreme{pixels * toWidth, pixels, placeOf(field, index)};
    };

    std::vector<std::size_t> seen;
    seen.reserve(field.pixels.size());
    std::vector<double> verticalSizes;
    long outside = 0;
    double largestVertical = -1.0;
    const int lastColumn = field.width - 1;
    for (std::size_t i = 0; i < field.pixels.size(); ++i) {
        const PixelParallax &pixel = field.pixels[i];
        if (pixel.seen == Seen::hidden) {
            ++figures.hiddenPixels;
            continue;
        }
        if (pixel.seen == Seen::outside) {
            ++figures.outsidePixels;
            continue;
        }
        seen.push_back(i);
        const double size = std::abs(pixel.vertical);
        verticalSizes.push_back(size);
        if (size > largestVertical) {
            largestVertical = size;
            figures.vertical = {pixel.vertical * toHeight, pixel.vertical, placeOf(field, i)};
        }
        if (outsideBudget(budget, pixel.horizontal * toWidth)) {
            ++outside;
        }
        if (inFrontOfScreen(pixel)) {
            const int column = static_cast<int>(i % static_cast<std::size_t>(field.width));
            figures.windowLeft += column == 0 ? 1 : 0;
            figures.windowRight += column == lastColumn ? 1 : 0;
        }
    }
    figures.seenPixels = static_cast<long>(seen.size());
    if (seen.empty()) {
        return figures;
    }
    const auto byParallax = [&field](std::size_t a, std::size_t b) {
        return field.pixels[a].horizontal < field.pixels[b].horizontal;
    };
    const auto [low, high] = std::minmax_element(seen.begin(), seen.end(), byParallax);
    figures.nearest = extreme(*low);
    figures.farthest = extreme(*high);
    const auto at = [&](double share) {
        const auto nth = seen.begin() + static_cast<std::ptrdiff_t>(rankOf(seen.size(), share));
        std::nth_element(seen.begin(), nth, seen.end(), byParallax);
        return extreme(*nth);
    };
    figures.near1 = at(0.01);
    figures.far99 = at(0.99);
    const auto v99 =
        verticalSizes.begin() + static_cast<std::ptrdiff_t>(rankOf(verticalSizes.size(), 0.99));
    std::nth_element(verticalSizes.begin(), v99, verticalSizes.end());
    figures.vertical99Percent = *v99 * toHeight;

    figures.outsideBudgetShare = static_cast<double>(outside) / static_cast<double>(seen.size());
    figures.diverges = figures.far99.percent > budget.divergencePercent();
    figures.overBudget =
        !horizontalWithin(figures, budget) || figures.vertical99Percent > budget.verticalPercent;
    return figures;
}

bool horizontalWithin(const FrameFigures &figures, const Budget &budget) {
    return figures.seenPixels == 0 || (figures.near1.percent >= budget.nearPercent &&
                                       figures.far99.percent <= budget.farLimitPercent());
}

} // namespace brelvix::parallax
