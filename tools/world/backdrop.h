// What a ray that meets nothing sees in a scene that sets its own backdrop:
// one colour, or the host's gradient of four colours about the horizon.
#ifndef BRELVIX_TOOLS_WORLD_BACKDROP_H
#define BRELVIX_TOOLS_WORLD_BACKDROP_H

#include "tools/world/vec.h"

namespace brelvix::world {

/// The gradient is a sphere about the camera, whatever its position: above
/// the horizon the sky colour turns to the zenith colour straight up, below
/// it the ground colour turns to the nadir colour straight down, with no
/// blend across the horizon. At an elevation e (of a quarter turn at the
/// pole) the share of the pole's colour is 1 - (1 - e)^squeeze: a squeeze of
/// 1 blends evenly, a larger one turns to the pole's colour sooner.
struct Backdrop {
    bool gradient = false;
    Rgb colour; // the solid backdrop
    Rgb zenith;
    Rgb sky;
    Rgb ground;
    Rgb nadir;
    double skySqueeze = 2.0;
    double groundSqueeze = 2.0;

    /// The colour seen along the unit `direction`.
    Rgb seen(Vec3 direction) const;
};

} // namespace brelvix::world

#endif
