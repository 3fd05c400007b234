#include "tools/world/instances.h"

#include <algorithm>
#include <cmath>

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

void addBounds(const InstancedObjects &placed, Bounds &bounds) {
    for (const Instance &instance : placed.instances) {
        if (instance.steps.empty()) {
            continue;
        }
        const Placement &placement = instance.steps.front();
        for (const Mesh &mesh : *placed.objects[instance.object]) {
            for (const Point3f &p : mesh.positions) {
                bounds.add(placement.point({p.x, p.y, p.z}));
            }
        }
    }
}

} // namespace brelvix::world
