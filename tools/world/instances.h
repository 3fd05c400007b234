// Objects placed by instances: each distinct object (the meshes of one file
// and layer, in its own space) held once, and each placement of it a
// transform, or a list of transforms across the shutter when it moves.
#ifndef BRELVIX_TOOLS_WORLD_INSTANCES_H
#define BRELVIX_TOOLS_WORLD_INSTANCES_H

#include "tools/world/world_scene.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace brelvix::world {

/// An object's own space to the world: a point q of the object is at
/// origin + q.x * xAxis + q.y * yAxis + q.z * zAxis (the axes carry any
/// scale).
struct Placement {
    Vec3 origin;
    Vec3 xAxis{1.0, 0.0, 0.0};
    Vec3 yAxis{0.0, 1.0, 0.0};
    Vec3 zAxis{0.0, 0.0, 1.0};

    Vec3 point(Vec3 q) const { return origin + xAxis * q.x + yAxis * q.y + zAxis * q.z; }
    /// A direction of the object's space (no origin).
    Vec3 direction(Vec3 d) const { return xAxis * d.x + yAxis * d.y + zAxis * d.z; }
    /// A surface normal of the object's space, perpendicular to the placed
    /// surface whatever the scales (not unit length).
    Vec3 normal(Vec3 n) const;
    bool operator==(const Placement &) const = default;
};

/// The placement a fraction `s` (0 to 1) through `steps`, which are evenly
/// spaced across the shutter: each axis and the origin interpolated
/// linearly between the neighbouring steps, as Embree moves an instance.
Placement placementAt(const std::vector<Placement> &steps, double s);

/// One placement of an object.
struct Instance {
    /// Index into InstancedObjects::objects.
    std::size_t object = 0;
    /// At evenly spaced times across the shutter, the first at its opening;
    /// one for an object at rest.
    std::vector<Placement> steps;
};

struct InstancedObjects {
    /// Each object's meshes, shared with whoever read them.
    std::vector<std::shared_ptr<const std::vector<Mesh>>> objects;
    std::vector<Instance> instances;
};

/// A scene's meshes and lights placed at one time: what a loaded scene hands
/// the tracer for a frame.
struct PlacedGeometry {
    std::vector<Mesh> meshes;
    /// Objects placed by instances, each held once however often placed.
    InstancedObjects instanced;
    std::vector<Light> lights;
    /// The scene's own ambient light and backdrop, which replace the sky's
    /// light and colour when set (a scene lit by its own lights).
    std::optional<Rgb> ambient;
    std::optional<Backdrop> backdrop;
    /// Where shadow rays start off a surface: about a millionth of the
    /// scene's size.
    double shadowOffset = 1e-5;
};

/// Triangles of the distinct objects, each counted once.
std::size_t distinctTriangles(const InstancedObjects &placed);

/// Adds the placed points of every instance at its first step.
void addBounds(const InstancedObjects &placed, Bounds &bounds);

} // namespace brelvix::world

#endif
