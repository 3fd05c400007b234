// The scene's spheres as an Embree user geometry: bounds, intersection and
// occlusion callbacks over a `std::vector<Sphere>` given as the geometry's
// user pointer. Embree's own spheres go through its curve code, several
// times slower than an analytic test for the few spheres a scene has.
#ifndef BRELVIX_TOOLS_WORLD_SPHERE_GEOMETRY_H
#define BRELVIX_TOOLS_WORLD_SPHERE_GEOMETRY_H

#include "tools/world/tracer.h"

#include <embree3/rtcore.h>

namespace brelvix::world {

void sphereBounds(const RTCBoundsFunctionArguments *args);
void intersectSphere(const RTCIntersectFunctionNArguments *args);
void occludeBySphere(const RTCOccludedFunctionNArguments *args);

} // namespace brelvix::world

#endif
