// Rays against a world of triangle meshes, spheres and boxes, traced with
// Embree: the closest hit for shading and an occlusion test for shadows.
//
// Rays go to Embree one at a time (closestHit, occluded) or many at once
// (closestHits, occludedAll): these trace a batch in packets of the width the
// instruction set traces natively, with Embree's coherent flag, so a batch's
// neighbouring rays should be neighbours on the film.
//
// Threads: a Tracer is built once and then only read; its tracing functions
// may run on any number of threads at once.
//
// Reproducibility: Embree picks its code at run time for the processor's
// widest instruction set, and results differ in the last bits between
// them (never between thread counts). TracerOptions::isa pins it, so that
// different machines give identical hits; "sse2" runs everywhere, at the
// cost of the wider instruction sets' speed.
#ifndef BRELVIX_TOOLS_WORLD_TRACER_H
#define BRELVIX_TOOLS_WORLD_TRACER_H

#include "tools/world/instances.h"
#include "tools/world/world_scene.h"

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace brelvix::world {

struct Sphere {
    Vec3 centre;
    double radius = 1.0;
    Rgb albedo{0.8, 0.8, 0.8};
};

/// An axis-aligned box, traced as twelve triangles.
struct Box {
    Vec3 low;
    Vec3 high;
    Rgb albedo{0.8, 0.8, 0.8};
};

/// Origin and unit direction, in the host's axes, and the moment within
/// the shutter (0 to 1) at which moving instances are met.
struct Ray {
    Vec3 origin;
    Vec3 direction;
    double time = 0.0;
};

/// A stretch of a ray, from `nearest` to `farthest` along it.
struct Segment {
    Ray ray;
    double nearest = 0.0;
    double farthest = std::numeric_limits<double>::infinity();
};

struct Hit {
    enum class Kind { Sky, Mesh, Sphere, Box };
    Kind kind = Kind::Sky;
    /// Index into the meshes, spheres or boxes the tracer was built from.
    /// The meshes of instances follow the tracer's own meshes, each
    /// instance's object's meshes in turn, as if every instance's meshes
    /// had been placed and listed after them.
    std::size_t index = 0;
    /// Along the ray, in units of its direction; infinite for the sky.
    double distance = std::numeric_limits<double>::infinity();
    Vec3 point;
    /// Unit normal of the surface, on the side the ray came from.
    Vec3 geometricNormal;
    /// The file's interpolated normal (the geometric one without), turned to
    /// the same side as `geometricNormal`.
    Vec3 shadingNormal;
    /// Linear diffuse colour at the hit: vertex colours, else the material's.
    Rgb colour;
    /// The surface's own light (see Mesh::glow).
    Rgb glow;
};

struct TracerOptions {
    /// Embree's instruction set, e.g. "sse2", "sse4.2", "avx", "avx2",
    /// "avx512"; empty: the widest the processor has.
    std::string isa;
    /// Threads Embree builds with; 0: all. (The ThreadSanitizer build always
    /// uses one: the races it reports in the thread library are not ours.)
    int buildThreads = 0;
};

class Tracer {
  public:
    /// Null with a one-line `error` for an instruction set not named
    /// above, or when Embree refuses the device or a geometry.
    static std::unique_ptr<Tracer> create(const std::vector<Mesh> &meshes,
                                          const std::vector<Sphere> &spheres,
                                          const std::vector<Box> &boxes,
                                          const TracerOptions &options, std::string &error);
    /// The same with objects placed by instances besides: each object
    /// built once, each instance a transform of it (moving across the
    /// shutter when it has several steps). Memory grows with the distinct
    /// objects, not with the instances.
    static std::unique_ptr<Tracer> create(const std::vector<Mesh> &meshes,
                                          const InstancedObjects &instanced,
                                          const std::vector<Sphere> &spheres,
                                          const std::vector<Box> &boxes,
                                          const TracerOptions &options, std::string &error);
    ~Tracer();
    Tracer(const Tracer &) = delete;
    Tracer &operator=(const Tracer &) = delete;

    /// The first surface along the ray between `nearest` and `farthest`. A
    /// ray Embree cannot take (see `takes`) is not traced: it sees the sky,
    /// and `refusedRays` turns true.
    Hit closestHit(const Ray &ray, double nearest = 0.0,
                   double farthest = std::numeric_limits<double>::infinity()) const;
    /// Whether any surface lies along the ray between the two distances.
    bool occluded(const Ray &ray, double nearest = 0.0,
                  double farthest = std::numeric_limits<double>::infinity()) const;

    /// What closestHit gives for each ray: `hits[i]` for `rays[i]` (as many
    /// hits as rays), traced in packets of `packetWidth`.
    void closestHits(std::span<const Ray> rays, std::span<Hit> hits, double nearest = 0.0,
                     double farthest = std::numeric_limits<double>::infinity()) const;
    /// What occluded gives for each segment: `blocked[i]` for `segments[i]`,
    /// traced in packets of `packetWidth`.
    void occludedAll(std::span<const Segment> segments, std::span<bool> blocked) const;
    /// Rays a packet holds: 16 for avx512, 8 for avx and avx2, 4 for sse.
    int packetWidth() const;

    /// Whether a ray was refused since the tracer was made.
    bool refusedRays() const { return refused_.load(std::memory_order_relaxed); }

  private:
    struct Shading;
    Tracer();
    std::unique_ptr<Shading> shading_;
    mutable std::atomic<bool> refused_{false};
};

/// The largest coordinate of a ray's origin or direction that Embree takes:
/// a little under its own bound, 1.844e18 in single precision, so that the
/// rounding to single precision stays within it.
inline constexpr double kLargestRayCoordinate = 1.8e18;

/// Whether Embree takes the ray: every coordinate of its origin and direction
/// within `kLargestRayCoordinate` (so finite in single precision), the
/// distances not a number.
inline bool takes(const Ray &ray, double nearest, double farthest) {
    // NaN fails every comparison; `&` rather than `&&` spares the branches.
    const auto within = [](double c) { return std::abs(c) <= kLargestRayCoordinate; };
    return within(ray.origin.x) & within(ray.origin.y) & within(ray.origin.z) &
           within(ray.direction.x) & within(ray.direction.y) & within(ray.direction.z) &
           !std::isnan(nearest) & !std::isnan(farthest) & (nearest >= 0.0);
}

/// The device configuration text for Embree: "isa=sse2,threads=1", ...
std::string deviceConfig(const TracerOptions &options);

} // namespace brelvix::world

#endif
