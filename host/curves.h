// The stand-in host's animated values: curves of keys, the channels that hold
// them, and the camera item whose position, orientation and settings the
// item and camera services report.
#ifndef BRELVIX_HOST_CURVES_H
#define BRELVIX_HOST_CURVES_H

#include <string>
#include <vector>

namespace brelvix::standin {

struct Key {
    double time;
    double value;
};

/// A value over time: a constant, or keys sorted by time.
struct Curve {
    double constant = 0.0;
    std::vector<Key> keys;

    double at(double time) const;
    /// Adds a key, keeping the keys sorted; a key at the same time replaces it,
    /// and one at a time that is not a number is ignored.
    void setKey(double time, double value);
};

/// The object behind a parameter-channel handle.
struct Channel {
    int typeCode = 0;
    int textureCode = 0;
    std::string name;
    void *group = nullptr;
    Curve curve;
};

/// The camera item: position, orientation and camera settings, each keyable.
/// Orientation is heading (about +y), pitch (about +x) and bank (about +z) in
/// radians; with all three 0 the right, up and forward axes are +x, +y, +z.
/// `axisScale` scales the right, up and forward axes that item info returns,
/// to exercise the module's normalisation.
struct CameraItem {
    Curve position[3];
    Curve heading, pitch, bank;
    Curve focalDistance{10.0, {}};
    Curve fStop{4.0, {}};
    double axisScale[3] = {1.0, 1.0, 1.0};
    int channelGroup = 0; // its address is the item's channel-group handle

    /// Right, up and forward axes at `time`, unit length before the scale.
    void axes(double time, double right[3], double up[3], double forward[3]) const;
};

} // namespace brelvix::standin

#endif
