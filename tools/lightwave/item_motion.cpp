#include "tools/lightwave/item_motion.h"

#include <cmath>
#include <cstddef>

namespace brelvix::lightwave {

namespace {

Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }

Vec3 unit(Vec3 a) {
    const double length = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    return length > 0.0 ? a * (1.0 / length) : a;
}

// An affine map: origin + x * xAxis + y * yAxis + z * zAxis.
struct Affine {
    Vec3 origin;
    Vec3 xAxis{1.0, 0.0, 0.0};
    Vec3 yAxis{0.0, 1.0, 0.0};
    Vec3 zAxis{0.0, 0.0, 1.0};

    Vec3 linear(Vec3 q) const { return xAxis * q.x + yAxis * q.y + zAxis * q.z; }
    Vec3 apply(Vec3 q) const { return origin + linear(q); }
    // This map after `inner`.
    Affine after(const Affine &inner) const {
        return Affine{apply(inner.origin), linear(inner.xAxis), linear(inner.yAxis),
                      linear(inner.zAxis)};
    }
};

// The item's frame in its parent's space: its position and turned, scaled
// axes. Its children and its pivot are placed in this frame.
Affine parentFromItem(const LocalPose &pose) {
    const double sh = std::sin(pose.rotation.x), ch = std::cos(pose.rotation.x);
    const double sp = std::sin(pose.rotation.y), cp = std::cos(pose.rotation.y);
    const double sb = std::sin(pose.rotation.z), cb = std::cos(pose.rotation.z);

    // Turn the unturned axes by heading, pitch and bank
    const Vec3 forward{sh * cp, -sp, ch * cp};
    const Vec3 up0{sh * sp, cp, ch * sp};
    const Vec3 right0{ch, 0.0, -sh};
    const Vec3 right = right0 * cb - up0 * sb;
    const Vec3 up = right0 * sb + up0 * cb;

    // Scale, then move to the position
    return Affine{pose.position, right * pose.scale.x, up * pose.scale.y, forward * pose.scale.z};
}

} // namespace

Vec3 WorldPose::toWorld(Vec3 q) const { return origin + xAxis * q.x + yAxis * q.y + zAxis * q.z; }

LocalPose localPose(const Item &item, double time) {
    const auto channel = [&](Channel c) { return evaluate(item.motion[c], time); };
    return LocalPose{{channel(positionX), channel(positionY), channel(positionZ)},
                     {channel(heading), channel(pitch), channel(bank)},
                     {channel(scaleX), channel(scaleY), channel(scaleZ)}};
}

WorldPose worldPose(const Scene &scene, const Item &item, double time) {
    Affine world = parentFromItem(localPose(item, time));
    const Item *child = &item;
    for (std::size_t depth = 0; child->parent && depth < scene.items.size(); ++depth) {
        const Item *parent = scene.find(*child->parent);
        if (!parent) {
            break;
        }
        world = parentFromItem(localPose(*parent, time)).after(world);
        child = parent;
    }
    // The item's own points are placed relative to its pivot
    return WorldPose{world.origin,
                     unit(world.xAxis),
                     unit(world.yAxis),
                     unit(world.zAxis),
                     world.apply(Vec3{} - item.pivot),
                     world.xAxis,
                     world.yAxis,
                     world.zAxis};
}

} // namespace brelvix::lightwave
