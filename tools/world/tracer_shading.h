// The tracer's own state, shared by its files: the Embree device and scene,
// and what a hit needs to be shaded (each geometry's surface, the
// instances' objects and placements). Inside tools/world only.
#ifndef BRELVIX_TOOLS_WORLD_TRACER_SHADING_H
#define BRELVIX_TOOLS_WORLD_TRACER_SHADING_H

#include "tools/world/tracer.h"

#include <embree3/rtcore.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brelvix::world {

/// Triangles a box is traced as.
inline constexpr uint32_t kBoxTriangleCount = 12;

/// A geometry's shading data, found by Embree's geometry id.
struct Surface {
    Hit::Kind kind = Hit::Kind::Mesh;
    std::size_t index = 0;
    std::vector<Point3f> normals;
    std::vector<Point3f> colours;
    std::vector<std::array<uint32_t, 3>> triangles;
    Rgb diffuse;
    /// Per sphere or box, by primitive.
    std::vector<Rgb> albedos;
    /// An object's mesh, read in place (its owner is kept by the tracer);
    /// the three lists above are then empty.
    const Mesh *mesh = nullptr;
    Rgb glow{};

    const std::vector<Point3f> &normalList() const { return mesh ? mesh->normals : normals; }
    const std::vector<Point3f> &colourList() const { return mesh ? mesh->colours : colours; }
    const std::array<uint32_t, 3> &triangle(uint32_t primitive) const {
        return mesh ? mesh->triangles[primitive] : triangles[primitive];
    }
    Rgb diffuseColour() const { return mesh ? mesh->diffuse : diffuse; }
    Rgb glowColour() const { return mesh ? mesh->glow : glow; }
};

/// An object built once: its scene, and its meshes' surfaces by the
/// geometry ids of that scene.
struct ObjectScene {
    RTCScene scene = nullptr;
    std::vector<Surface> surfaces;
};

/// An instance as the hits see it.
struct PlacedInstance {
    std::size_t object = 0;
    std::vector<Placement> steps;
    /// Hit index of its object's first mesh.
    std::size_t firstIndex = 0;
};

/// What Embree reports of one ray's hit, whether it came alone or in a
/// packet.
struct EmbreeHit {
    unsigned geometry = RTC_INVALID_GEOMETRY_ID;
    unsigned instance = RTC_INVALID_GEOMETRY_ID;
    unsigned primitive = 0;
    float u = 0.0f;
    float v = 0.0f;
    Vec3 normal;
    float distance = 0.0f;
};

/// Embree's single ray for `ray` between the two distances.
RTCRay embreeRay(const Ray &ray, double nearest, double farthest);

struct Tracer::Shading {
    RTCDevice device = nullptr;
    RTCScene scene = nullptr;
    std::vector<Surface> surfaces;
    /// The distinct objects, their meshes kept alive for the surfaces.
    std::vector<ObjectScene> objects;
    std::vector<std::shared_ptr<const std::vector<Mesh>>> objectMeshes;
    /// By Embree's instance id less `firstInstanceId`.
    std::vector<PlacedInstance> instances;
    unsigned firstInstanceId = 0;
    /// Traced by sphereCrossing; read by Embree's callbacks.
    std::vector<Sphere> spheres;
    /// Rays per packet for the device's instruction set.
    int packetWidth = 1;
    std::string error;

    Shading() = default;
    Shading(const Shading &) = delete;
    Shading &operator=(const Shading &) = delete;
    ~Shading();

    /// Adds a triangle mesh to `target` (the world's scene when null);
    /// false when Embree refused it.
    bool addTriangles(const std::vector<Point3f> &positions,
                      const std::vector<std::array<uint32_t, 3>> &triangles,
                      RTCScene target = nullptr);
    /// Builds each distinct object once and places its instances; their
    /// hit indices start at `firstIndex`.
    void addInstances(const InstancedObjects &placed, std::size_t firstIndex);
    /// One user geometry of a primitive a sphere.
    bool addSpheres(const std::vector<Sphere> &list);
    /// One triangle geometry of twelve triangles a box.
    void addBoxes(const std::vector<Box> &boxes);

    /// Sets `hit` to the hit of `ray` as Embree reported it (a geometry
    /// found): in place, since a returned record would be written to memory
    /// field by field and read back whole for the copy, which stalls.
    void hitFrom(const Ray &ray, const EmbreeHit &found, Hit &hit) const;
};

} // namespace brelvix::world

#endif
