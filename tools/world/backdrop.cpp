#include "tools/world/backdrop.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brelvix::world {

Rgb Backdrop::seen(Vec3 direction) const {
    if (!gradient) {
        return colour;
    }
    const bool above = direction.y >= 0.0;
    const double elevation =
        std::asin(std::clamp(std::abs(direction.y), 0.0, 1.0)) / (std::numbers::pi / 2.0);
    const double share = 1.0 - std::pow(1.0 - elevation, above ? skySqueeze : groundSqueeze);
    return above ? lerp(sky, zenith, share) : lerp(ground, nadir, share);
}

} // namespace brelvix::world
