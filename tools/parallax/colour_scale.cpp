#include "tools/parallax/colour_scale.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace brelvix::parallax {
namespace {

// Each side in three stops from the white of zero to its full colour, after
// the diverging red-blue scheme that cartographers use for data centred on a
// middle value, then on to a dark one past the limit.
constexpr Colour kWhite{0.97, 0.97, 0.97};
constexpr std::array<Colour, 4> kFront{
    {kWhite, {0.57, 0.77, 0.87}, kFrontColour, {0.02, 0.1, 0.25}}};
constexpr std::array<Colour, 4> kBehind{
    {kWhite, {0.96, 0.65, 0.51}, kBehindColour, {0.3, 0.0, 0.06}}};
constexpr std::array<Colour, 4> kVertical{
    {kWhite, {0.76, 0.65, 0.81}, kVerticalColour, {0.15, 0.03, 0.2}}};

Colour mix(Colour a, Colour b, double s) {
    return {a.r + (b.r - a.r) * s, a.g + (b.g - a.g) * s, a.b + (b.b - a.b) * s};
}

/// `t` 0 to 1 up to the limit (two stops), 1 to 2 past it.
Colour along(const std::array<Colour, 4> &stops, double t) {
    t = std::clamp(t, 0.0, 2.0);
    if (t >= 1.0) {
        return mix(stops[2], stops[3], t - 1.0);
    }
    const int i = std::min(static_cast<int>(t * 2.0), 1);
    return mix(stops[static_cast<std::size_t>(i)], stops[static_cast<std::size_t>(i) + 1],
               t * 2.0 - i);
}

} // namespace

Colour scaleColour(const Budget &budget, double percent) {
    if (percent == 0.0) {
        return kWhite;
    }
    // A limit of 0 puts all of that side past it.
    const auto share = [percent](double limit) { return limit == 0.0 ? 2.0 : percent / limit; };
    return percent < 0.0 ? along(kFront, share(budget.nearPercent))
                         : along(kBehind, share(budget.farLimitPercent()));
}

Colour verticalColour(const Budget &budget, double percent) {
    return along(kVertical, std::abs(percent) / budget.verticalPercent);
}

Colour seenPixel(Colour colour, double light, bool over, int x, int y) {
    if (over && (x - y + 600) % 6 < 2) {
        return kWarningColour;
    }
    const double shade = 0.35 + 0.65 * light;
    return {colour.r * shade, colour.g * shade, colour.b * shade};
}

Colour unseenPixel(int x, int y) {
    const double grey = (x + y) % 4 < 2 ? 0.12 : 0.88;
    return {grey, grey, grey};
}

} // namespace brelvix::parallax
