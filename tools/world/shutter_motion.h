// Objects that move while the shutter is open: each placed object's meshes in
// its own space, with where they are at evenly spaced times across the
// shutter, for a tracer that moves instances of them in time.
#ifndef BRELVIX_TOOLS_WORLD_SHUTTER_MOTION_H
#define BRELVIX_TOOLS_WORLD_SHUTTER_MOTION_H

#include "tools/world/instances.h"
#include "tools/world/world_scene.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace brelvix::world {

/// The times the shutter is sampled at: `count` evenly spaced times (2 or
/// more) from `open` to `close` (seconds), both included. A frame rendered
/// with motion steps m has 4 m + 1 of them, the times at which the lens
/// samples the camera.
struct ShutterTimes {
    double open = 0.0;
    double close = 0.0;
    int count = 2;

    double at(int step) const {
        return count > 1 ? open + (close - open) * step / (count - 1) : open;
    }
};

/// One placed object that moves across the shutter: its meshes (shared with
/// the shot, in the object's own space), where the geometry placed at the
/// shutter's opening holds them, and its placement at each of the shutter's
/// times, the opening's first.
struct MovingObject {
    std::shared_ptr<const std::vector<Mesh>> meshes;
    /// Index into the placed geometry's meshes of the first of `meshes`, the
    /// others following it.
    std::size_t firstMesh = 0;
    std::vector<Placement> steps;
};

} // namespace brelvix::world

#endif
