// The preview renderer's vectors and its camera ray.
#ifndef BRELVIX_TOOLS_RENDER_VEC3_H
#define BRELVIX_TOOLS_RENDER_VEC3_H

#include "tools/world/vec.h"

namespace brelvix::render {

// The renderer works in the same vectors as the scenes it loads and the
// tracer it calls: no conversion between them.
using world::Rgb;
using world::Vec3;

/// A camera ray: origin and unit direction, in world space, and the moment
/// within the open shutter (0 at its opening, 1 at its closing) at which it
/// meets objects that move.
struct Ray {
    Vec3 origin;
    Vec3 direction;
    double time = 0.0;

    constexpr Vec3 at(double t) const { return origin + direction * t; }
};

} // namespace brelvix::render

#endif
