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

// The turn by heading, pitch and bank (x, y, z of `angles`) of the
// unturned axes.
Affine turn(Vec3 angles) {
    const double sh = std::sin(angles.x), ch = std::cos(angles.x);
    const double sp = std::sin(angles.y), cp = std::cos(angles.y);
    const double sb = std::sin(angles.z), cb = std::cos(angles.z);
    const Vec3 forward{sh * cp, -sp, ch * cp};
    const Vec3 up0{sh * sp, cp, ch * sp};
    const Vec3 right0{ch, 0.0, -sh};
    return Affine{{}, right0 * cb - up0 * sb, right0 * sb + up0 * cb, forward};
}

// The inverse of a turn: its transpose.
Affine unturn(const Affine &r) {
    return Affine{{},
                  {r.xAxis.x, r.yAxis.x, r.zAxis.x},
                  {r.xAxis.y, r.yAxis.y, r.zAxis.y},
                  {r.xAxis.z, r.yAxis.z, r.zAxis.z}};
}

// The frame of the item's pivot in its parent's object space: its position
// and turned, scaled axes. The item's geometry lies in this frame less its
// pivot. The item turns about the pivot's axes, which `pivotRotation` turns
// from the item's own: a pivot rotation alone leaves the item where it was
// modelled, and changes only the axes its heading, pitch and bank turn it
// about.
Affine parentFromItem(const LocalPose &pose, Vec3 pivotRotation) {
    Affine turned = turn(pose.rotation);
    if (pivotRotation.x != 0.0 || pivotRotation.y != 0.0 || pivotRotation.z != 0.0) {
        const Affine pivotTurn = turn(pivotRotation);
        turned = pivotTurn.after(turned).after(unturn(pivotTurn));
    }
    // Scale, then turn, then move to the position
    return Affine{pose.position, turned.xAxis * pose.scale.x, turned.yAxis * pose.scale.y,
                  turned.zAxis * pose.scale.z};
}

// The item's object space from its pivot's frame: the pivot taken off.
Affine objectFrame(const Affine &pivotFrame, const Item &item) {
    return Affine{pivotFrame.apply(Vec3{} - item.pivot), pivotFrame.xAxis, pivotFrame.yAxis,
                  pivotFrame.zAxis};
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
                     objectFrame(world, item).origin,
                     world.xAxis,
                     world.yAxis,
                     world.zAxis};
}

// The items' world frames at one time, placed one at a time, each after its
// parent and its target's parent. Each item's channels are evaluated once,
// whether it is placed, aimed at, or both.
class Placement {
  public:
    Placement(const Scene &scene, double time)
        : scene_(scene), time_(time), count_(scene.items.size()), frames_(count_), locals_(count_),
          evaluated_(count_, 0) {}

    // Places item `i`, its parent and its target's parent placed already.
    const Affine &place(std::size_t i) {
        const Item &item = scene_.items[i];
        LocalPose local = this->local(i);
        if (item.targetIndex < count_) {
            // Heading and pitch toward where the target's channels put it,
            // in the item's parent's axes; the bank stays the item's own.
            const Item &target = scene_.items[item.targetIndex];
            const Affine parent = parentFrame(item);
            const Vec3 aim = parentFrame(target).apply(this->local(item.targetIndex).position) -
                             parent.apply(local.position);
            const std::optional<Vec3> d = inFrame(parent, aim);
            if (d && (d->x != 0.0 || d->y != 0.0 || d->z != 0.0)) {
                local.rotation.x = std::atan2(d->x, d->z);
                local.rotation.y = std::atan2(-d->y, std::hypot(d->x, d->z));
            }
        }
        frames_[i] = parentFrame(item).after(parentFromItem(local, item.pivotRotation));
        return frames_[i];
    }

  private:
    const LocalPose &local(std::size_t i) {
        if (evaluated_[i] == 0) {
            locals_[i] = localPose(scene_.items[i], time_);
            evaluated_[i] = 1;
        }
        return locals_[i];
    }

    // The parent's object space, in which the item hangs.
    Affine parentFrame(const Item &item) const {
        return item.parentIndex < count_
                   ? objectFrame(frames_[item.parentIndex], scene_.items[item.parentIndex])
                   : Affine{};
    }

    const Scene &scene_;
    double time_;
    std::size_t count_;
    std::vector<Affine> frames_;
    std::vector<LocalPose> locals_;
    std::vector<unsigned char> evaluated_;
};

// The scene's placement order: the reader's, or for a scene made in code
// rather than read, one worked out into `fallback`.
const std::vector<std::size_t> &orderOf(const Scene &scene, std::vector<std::size_t> &fallback) {
    if (scene.order.size() == scene.items.size()) {
        return scene.order;
    }
    fallback = placementOrder(scene);
    return fallback;
}

} // namespace

std::vector<WorldPose> worldPoses(const Scene &scene, double time) {
    std::vector<std::size_t> fallback;
    const std::vector<std::size_t> &order = orderOf(scene, fallback);
    Placement placement(scene, time);
    std::vector<WorldPose> poses(scene.items.size());
    for (const std::size_t i : order) {
        poses[i] = poseOf(placement.place(i), scene.items[i]);
    }
    return poses;
}

WorldPose worldPose(const Scene &scene, const Item &item, double time) {
    const std::size_t count = scene.items.size();
    const std::size_t index = static_cast<std::size_t>(&item - scene.items.data());
    if (index >= count) {
        return poseOf(parentFromItem(localPose(item, time), item.pivotRotation), item);
    }
    // The items this one's place depends on: its parents, and for each of
    // those items with a target, the target's parents, followed without
    // recursion.
    std::vector<unsigned char> needed(count, 0);
    std::vector<std::size_t> pending{index};
    needed[index] = 1;
    while (!pending.empty()) {
        const Item &next = scene.items[pending.back()];
        pending.pop_back();
        const std::size_t targetParent =
            next.targetIndex < count ? scene.items[next.targetIndex].parentIndex : kNoItem;
        for (const std::size_t need : {next.parentIndex, targetParent}) {
            if (need < count && needed[need] == 0) {
                needed[need] = 1;
                pending.push_back(need);
            }
        }
    }
    // Placed in the scene's order, as worldPoses places them; an item on a
    // loop of links is left at the origin there, and so here.
    std::vector<std::size_t> fallback;
    Placement placement(scene, time);
    WorldPose pose{};
    for (const std::size_t i : orderOf(scene, fallback)) {
        if (needed[i] != 0) {
            const Affine &frame = placement.place(i);
            if (i == index) {
                pose = poseOf(frame, item);
                break; // everything it needs came before it
            }
        }
    }
    return pose;
}

} // namespace brelvix::lightwave
