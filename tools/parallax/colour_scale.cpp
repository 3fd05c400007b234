#include "tools/parallax/colour_scale.h"

#include <algorithm>
#include <array>

namespace brelvix::parallax {
namespace {

// Each side in three stops from the white of zero to its full colour, after
// the diverging red-blue scheme that cartographers use for data centred on a
// middle value.
constexpr Colour kWhite{0.97, 0.97, 0.97};
constexpr std::array<Colour, 3> kFront{{kWhite, {0.57, 0.77, 0.87}, kFrontColour}};
constexpr std::array<Colour, 3> kBehind{{kWhite, {0.96, 0.65, 0.51}, kBehindColour}};

Colour along(const std::array<Colour, 3> &stops, double t) {
    t = std::clamp(t, 0.0, 1.0) * 2.0;
    const int i = std::min(static_cast<int>(t), 1);
    const double s = t - i;
    const Colour &a = stops[static_cast<std::size_t>(i)];
    const Colour &b = stops[static_cast<std::size_t>(i) + 1];
    return {a.r + (b.r - a.r) * s, a.g + (b.g - a.g) * s, a.b + (b.b - a.b) * s};
}

} // namespace

Colour scaleColour(const Budget &budget, double percent) {
    if (outsideBudget(budget, percent)) {
        return kWarningColour;
    }
    if (percent == 0.0) {
        return kWhite;
    }
    return percent < 0.0 ? along(kFront, percent / budget.nearPercent)
                         : along(kBehind, percent / budget.farLimitPercent());
}

} // namespace brelvix::parallax
