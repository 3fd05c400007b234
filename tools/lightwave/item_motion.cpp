#include "tools/lightwave/item_motion.h"

#include "tools/lightwave/scene_links.h"

#include <cmath>
#include <cstddef>
#include <optional>

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

namespace {

// The direction `d` in the frame whose axes are `frame`'s (Cramer's rule):
// solves d = x xAxis + y yAxis + z zAxis. Nothing for a flat frame.
std::optional<Vec3> inFrame(const Affine &frame, Vec3 d) {
    const auto cross = [](Vec3 a, Vec3 b) {
        return Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    };
    const auto dot = [](Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; };
    const Vec3 yz = cross(frame.yAxis, frame.zAxis);
    const double det = dot(frame.xAxis, yz);
    if (!(std::abs(det) > 0.0) || !std::isfinite(det)) {
        return std::nullopt;
    }
    return Vec3{dot(d, yz) / det, dot(frame.xAxis, cross(d, frame.zAxis)) / det,
                dot(frame.xAxis, cross(frame.yAxis, d)) / det};
}

WorldPose poseOf(const Affine &world, const Item &item) {
    return WorldPose{world.origin,
                     unit(world.xAxis),
                     unit(world.yAxis),
                     unit(world.zAxis),
                     world.apply(Vec3{} - item.pivot),
                     world.xAxis,
                     world.yAxis,
                     world.zAxis};
}

} // namespace

std::vector<WorldPose> worldPoses(const Scene &scene, double time) {
    const std::size_t count = scene.items.size();
    std::vector<std::size_t> order = scene.order;
    if (order.size() != count) {
        order = placementOrder(scene); // a scene made in code rather than read
    }
    std::vector<Affine> frames(count);
    std::vector<WorldPose> poses(count);
    const auto parentFrame = [&](const Item &item) {
        return item.parentIndex < count ? frames[item.parentIndex] : Affine{};
    };
    for (const std::size_t i : order) {
        const Item &item = scene.items[i];
        LocalPose local = localPose(item, time);
        if (item.targetIndex < count) {
            // Heading and pitch toward where the target's channels put it,
            // in the item's parent's axes; the bank stays the item's own.
            const Item &target = scene.items[item.targetIndex];
            const Affine parent = parentFrame(item);
            const Vec3 aim = parentFrame(target).apply(localPose(target, time).position) -
                             parent.apply(local.position);
            const std::optional<Vec3> d = inFrame(parent, aim);
            if (d && (d->x != 0.0 || d->y != 0.0 || d->z != 0.0)) {
                local.rotation.x = std::atan2(d->x, d->z);
                local.rotation.y = std::atan2(-d->y, std::hypot(d->x, d->z));
            }
        }
        frames[i] = parentFrame(item).after(parentFromItem(local));
        poses[i] = poseOf(frames[i], item);
    }
    return poses;
}

WorldPose worldPose(const Scene &scene, const Item &item, double time) {
    const std::size_t index = static_cast<std::size_t>(&item - scene.items.data());
    return index < scene.items.size() ? worldPoses(scene, time)[index]
                                      : poseOf(parentFromItem(localPose(item, time)), item);
}

} // namespace brelvix::lightwave
