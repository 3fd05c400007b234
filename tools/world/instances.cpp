#include "tools/world/instances.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace brelvix::world {

Vec3 Placement::normal(Vec3 n) const {
    // The cofactors of the axes: the inverse transpose up to the
    // determinant, which the caller's normalisation and facing test absorb.
    return cross(yAxis, zAxis) * n.x + cross(zAxis, xAxis) * n.y + cross(xAxis, yAxis) * n.z;
}

Placement placementAt(const std::vector<Placement> &steps, double s) {
    if (steps.size() <= 1) {
        return steps.empty() ? Placement{} : steps.front();
    }
    const double position = std::clamp(s, 0.0, 1.0) * static_cast<double>(steps.size() - 1);
    const std::size_t step = std::min(static_cast<std::size_t>(position), steps.size() - 2);
    const double f = position - static_cast<double>(step);
    const Placement &a = steps[step];
    const Placement &b = steps[step + 1];
    return {lerp(a.origin, b.origin, f), lerp(a.xAxis, b.xAxis, f), lerp(a.yAxis, b.yAxis, f),
            lerp(a.zAxis, b.zAxis, f)};
}

std::size_t distinctTriangles(const InstancedObjects &placed) {
    std::size_t triangles = 0;
    for (const auto &object : placed.objects) {
        for (const Mesh &mesh : *object) {
            triangles += mesh.triangles.size();
        }
    }
    return triangles;
}

namespace {

/// Whether the placement only scales and moves along the world's axes: its
/// placed points then reach their extremes at the object's own.
bool alongTheAxes(const Placement &p) {
    return p.xAxis.y == 0.0 && p.xAxis.z == 0.0 && p.yAxis.x == 0.0 && p.yAxis.z == 0.0 &&
           p.zAxis.x == 0.0 && p.zAxis.y == 0.0;
}

} // namespace

void addBounds(const InstancedObjects &placed, Bounds &bounds) {
    // Each object's own bounds, made when a placement first needs them.
    std::vector<std::optional<Bounds>> own(placed.objects.size());
    for (const Instance &instance : placed.instances) {
        if (instance.steps.empty()) {
            continue;
        }
        const Placement &placement = instance.steps.front();
        const std::vector<Mesh> &meshes = *placed.objects[instance.object];
        if (!alongTheAxes(placement)) {
            for (const Mesh &mesh : meshes) {
                for (const Point3f &p : mesh.positions) {
                    bounds.add(placement.point({p.x, p.y, p.z}));
                }
            }
            continue;
        }
        // Each coordinate is monotonic in one coordinate of the object's
        // own, so the two corners give the same bounds as every point.
        std::optional<Bounds> &box = own[instance.object];
        if (!box) {
            box = boundsOf(meshes);
        }
        if (!box->empty()) {
            bounds.add(placement.point(box->low));
            bounds.add(placement.point(box->high));
        }
    }
}

} // namespace brelvix::world
