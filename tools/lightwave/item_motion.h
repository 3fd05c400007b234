// Where an item is at a time: its channels evaluated, composed through its
// parents into the world.
//
// Axes. The host's world is left-handed: +x right, +y up, +z forward. An
// item's rotation is heading h about +y, pitch p about +x, bank b about +z,
// applied bank first, then pitch, then heading: R = Ry(h) Rx(p) Rz(b) on
// column vectors, where heading turns +z toward +x, a positive pitch turns
// +z toward -y (looks down) and a positive bank tilts +y toward +x. The item's
// axes in its parent's space are then
//
//     forward = ( sin h cos p, -sin p,  cos h cos p)
//     up0     = ( sin h sin p,  cos p,  cos h sin p)
//     right0  = ( cos h,        0,     -sin h      )
//     right   =  cos b right0 - sin b up0
//     up      =  sin b right0 + cos b up0
//
// A point q of an item's own geometry lies in its parent's object space at
// position + R S (q - pivot), with S its scale: the pivot is the point that
// the position places, and that the item turns and scales about. Its
// children hang in its object space, as its geometry does: a child's
// position p is at the parent's position + R S (p - pivot), so that a
// parent and child both modelled in place (each one's position its pivot)
// stand where they were modelled. A pivot rotation P turns the axes the item
// turns about, R being then P Ry(h) Rx(p) Rz(b) P^-1, so that it alone does
// not move the item. The parents' object spaces are applied up to the root.
#ifndef BRELVIX_TOOLS_LIGHTWAVE_ITEM_MOTION_H
#define BRELVIX_TOOLS_LIGHTWAVE_ITEM_MOTION_H

#include "tools/lightwave/scene.h"

#include <vector>

namespace brelvix::lightwave {

/// An item's own channels at a time, in its parent's space.
struct LocalPose {
    Vec3 position;
    Vec3 rotation; // heading, pitch, bank (radians)
    Vec3 scale;
};

/// An item's place in the world at a time.
struct WorldPose {
    Vec3 position; // where the item's pivot is
    Vec3 right;    // unit axes of the item: its +x, +y, +z in the world
    Vec3 up;
    Vec3 forward;
    // The affine map of the item's own points to the world (pivot included):
    // a point q of the item's geometry is at origin + q.x * xAxis + q.y *
    // yAxis + q.z * zAxis (the axes carry the scales of the item and its
    // parents).
    Vec3 origin;
    Vec3 xAxis;
    Vec3 yAxis;
    Vec3 zAxis;

    Vec3 toWorld(Vec3 q) const;
};

LocalPose localPose(const Item &item, double time);

/// Every item's world pose at `time` (seconds), by index, in one pass over
/// the scene's placement order. An item with a target has its heading and
/// pitch turned so that its +z looks at the target's position (where the
/// target's own channels place it in its parent's frame), as the host aims
/// targeted items; its bank stays its own. Items on a loop of links (which
/// the reader refuses) are left at the world's origin.
std::vector<WorldPose> worldPoses(const Scene &scene, double time);

/// One item's world pose at `time`: the same, for an item of `scene`.
WorldPose worldPose(const Scene &scene, const Item &item, double time);

} // namespace brelvix::lightwave

#endif
