// The times across the open shutter at which moving objects are placed, for
// a tracer that moves instances of them in time.
#ifndef BRELVIX_TOOLS_WORLD_SHUTTER_MOTION_H
#define BRELVIX_TOOLS_WORLD_SHUTTER_MOTION_H

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

/// The most times across the shutter an instance moves through (Embree's
/// limit of time steps). A frame of more motion steps moves its objects
/// through this many, the camera still through all of its.
inline constexpr int kMostShutterTimes = 129;

} // namespace brelvix::world

#endif
