#include "tools/world/tracer.h"

#include "tools/world/tracer_shading.h"

#include <embree3/rtcore.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace brelvix::world {
namespace {

#if defined(__SANITIZE_THREAD__)
constexpr bool kSingleBuildThread = true;
#else
constexpr bool kSingleBuildThread = false;
#endif

Vec3 toVec3(const Point3f &p) { return {p.x, p.y, p.z}; }

void reportError(void *userPtr, RTCError code, const char *text) {
    auto &error = *static_cast<std::string *>(userPtr);
    if (error.empty()) {
        error.append("Embree error ").append(std::to_string(static_cast<int>(code)));
        error.append(": ").append(text ? text : "no description");
    }
}

/// Barycentric blend of a per-vertex attribute.
Vec3 blend(const std::vector<Point3f> &values, const std::array<uint32_t, 3> &triangle, float u,
           float v) {
    const double w = 1.0 - static_cast<double>(u) - static_cast<double>(v);
    return toVec3(values[triangle[0]]) * w + toVec3(values[triangle[1]]) * u +
           toVec3(values[triangle[2]]) * v;
}

/// The widest packet the device's instruction set traces natively.
int nativePacketWidth(RTCDevice device) {
    if (rtcGetDeviceProperty(device, RTC_DEVICE_PROPERTY_NATIVE_RAY16_SUPPORTED) != 0) {
        return 16;
    }
    if (rtcGetDeviceProperty(device, RTC_DEVICE_PROPERTY_NATIVE_RAY8_SUPPORTED) != 0) {
        return 8;
    }
    return rtcGetDeviceProperty(device, RTC_DEVICE_PROPERTY_NATIVE_RAY4_SUPPORTED) != 0 ? 4 : 1;
}

} // namespace

RTCRay embreeRay(const Ray &ray, double nearest, double farthest) {
    RTCRay r{};
    r.org_x = static_cast<float>(ray.origin.x);
    r.org_y = static_cast<float>(ray.origin.y);
    r.org_z = static_cast<float>(ray.origin.z);
    r.dir_x = static_cast<float>(ray.direction.x);
    r.dir_y = static_cast<float>(ray.direction.y);
    r.dir_z = static_cast<float>(ray.direction.z);
    r.tnear = static_cast<float>(nearest);
    r.tfar = static_cast<float>(std::min(farthest, static_cast<double>(INFINITY)));
    r.mask = 0xFFFFFFFFu;
    r.flags = 0;
    r.time = static_cast<float>(ray.time);
    return r;
}

Tracer::Tracer() : shading_(std::make_unique<Shading>()) {}
Tracer::~Tracer() = default;

int Tracer::packetWidth() const { return shading_->packetWidth; }
std::string deviceConfig(const TracerOptions &options) {
    std::string config;
    if (!options.isa.empty()) {
        config = "isa=" + options.isa;
    }
    const int threads = kSingleBuildThread ? 1 : options.buildThreads;
    if (threads > 0) {
        if (!config.empty()) {
            config.append(",");
        }
        config.append("threads=").append(std::to_string(threads));
    }
    return config;
}

std::unique_ptr<Tracer> Tracer::create(const std::vector<Mesh> &meshes,
                                       const std::vector<Sphere> &spheres,
                                       const std::vector<Box> &boxes, const TracerOptions &options,
                                       std::string &error) {
    return create(meshes, InstancedObjects{}, spheres, boxes, options, error);
}

std::unique_ptr<Tracer> Tracer::create(const std::vector<Mesh> &meshes,
                                       const InstancedObjects &instanced,
                                       const std::vector<Sphere> &spheres,
                                       const std::vector<Box> &boxes, const TracerOptions &options,
                                       std::string &error) {
    std::unique_ptr<Tracer> tracer(new Tracer());
    Shading &s = *tracer->shading_;
    // Embree takes an instruction set it does not know for its own choice.
    constexpr std::array kInstructionSets{"", "sse2", "sse4.2", "avx", "avx2", "avx512"};
    if (std::find(kInstructionSets.begin(), kInstructionSets.end(), options.isa) ==
        kInstructionSets.end()) {
        error =
            "unknown instruction set \"" + options.isa + "\" (sse2, sse4.2, avx, avx2 or avx512)";
        return nullptr;
    }
    const std::string config = deviceConfig(options);
    s.device = rtcNewDevice(config.c_str());
    if (!s.device) {
        error = "Embree refuses the device configuration \"" + config + "\"";
        return nullptr;
    }
    rtcSetDeviceErrorFunction(s.device, reportError, &s.error);
    s.packetWidth = nativePacketWidth(s.device);
    s.scene = rtcNewScene(s.device);

    // Meshes: one geometry each, ids in their order.
    for (std::size_t i = 0; i < meshes.size() && s.error.empty(); ++i) {
        const Mesh &mesh = meshes[i];
        if (mesh.triangles.empty()) {
            continue;
        }
        if (s.addTriangles(mesh.positions, mesh.triangles)) {
            s.surfaces.push_back({Hit::Kind::Mesh,
                                  i,
                                  mesh.normals,
                                  mesh.colours,
                                  mesh.triangles,
                                  mesh.diffuse,
                                  {},
                                  nullptr,
                                  mesh.glow});
        }
    }
    // Spheres: one geometry, a primitive each.
    if (!spheres.empty() && s.addSpheres(spheres)) {
        Surface surface{Hit::Kind::Sphere, 0, {}, {}, {}, {}, {}};
        for (const Sphere &sphere : spheres) {
            surface.albedos.push_back(sphere.albedo);
        }
        s.surfaces.push_back(std::move(surface));
    }
    // Boxes: one geometry of twelve triangles each.
    if (!boxes.empty()) {
        s.addBoxes(boxes);
    }
    // Instances: after every geometry of the world's own.
    if (!instanced.instances.empty()) {
        s.addInstances(instanced, meshes.size());
    }
    rtcCommitScene(s.scene);
    if (!s.error.empty()) {
        error = s.error;
        return nullptr;
    }
    return tracer;
}

Hit Tracer::closestHit(const Ray &ray, double nearest, double farthest) const {
    if (!takes(ray, nearest, farthest)) {
        refused_.store(true, std::memory_order_relaxed);
        return Hit{};
    }
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    RTCRayHit query{};
    query.ray = embreeRay(ray, nearest, farthest);
    query.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    query.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(shading_->scene, &context, &query);

    if (query.hit.geomID == RTC_INVALID_GEOMETRY_ID) {
        return Hit{};
    }
    Hit hit;
    shading_->hitFrom(ray,
                      {query.hit.geomID,
                       query.hit.instID[0],
                       query.hit.primID,
                       query.hit.u,
                       query.hit.v,
                       {query.hit.Ng_x, query.hit.Ng_y, query.hit.Ng_z},
                       query.ray.tfar},
                      hit);
    return hit;
}

bool Tracer::occluded(const Ray &ray, double nearest, double farthest) const {
    if (!takes(ray, nearest, farthest)) {
        refused_.store(true, std::memory_order_relaxed);
        return false;
    }
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    RTCRay query = embreeRay(ray, nearest, farthest);
    rtcOccluded1(shading_->scene, &context, &query);
    return query.tfar < 0.0f;
}

void Tracer::Shading::hitFrom(const Ray &ray, const EmbreeHit &found, Hit &hit) const {
    // A hit inside an instance: its object's surface, and the instance's
    // placement at the ray's time to bring normals into the world.
    const PlacedInstance *instance = nullptr;
    std::optional<Placement> placement;
    const Surface *surfaceFound = nullptr;
    if (found.instance != RTC_INVALID_GEOMETRY_ID) {
        instance = &instances[found.instance - firstInstanceId];
        surfaceFound = &objects[instance->object].surfaces[found.geometry];
        placement = placementAt(instance->steps, ray.time);
    } else {
        surfaceFound = &surfaces[found.geometry];
    }
    const Surface &surface = *surfaceFound;
    const uint32_t primitive = found.primitive;
    hit.kind = surface.kind;
    hit.distance = found.distance;
    hit.point = ray.origin + ray.direction * hit.distance;

    // Geometric normal, toward the ray's origin.
    Vec3 normal = normalize(placement ? placement->normal(found.normal) : found.normal);
    if (dot(normal, ray.direction) > 0.0) {
        normal = normal * -1.0;
    }
    hit.geometricNormal = normal;
    hit.shadingNormal = normal;

    if (surface.kind == Hit::Kind::Mesh) {
        hit.index = instance ? instance->firstIndex + surface.index : surface.index;
        const auto &triangle = surface.triangle(primitive);
        if (!surface.normalList().empty()) {
            Vec3 shading = blend(surface.normalList(), triangle, found.u, found.v);
            // Turned with the placement as the placed meshes' normals were.
            shading = placement ? placement->direction(shading) : shading;
            if (length(shading) > 0.0) {
                hit.shadingNormal = normalize(shading) * (dot(shading, normal) < 0.0 ? -1.0 : 1.0);
            }
        }
        hit.colour = surface.colourList().empty()
                         ? surface.diffuseColour()
                         : blend(surface.colourList(), triangle, found.u, found.v);
        hit.glow = surface.glowColour();
    } else {
        hit.index = surface.kind == Hit::Kind::Box ? primitive / kBoxTriangleCount : primitive;
        hit.colour = surface.albedos[hit.index];
        hit.glow = Rgb{};
    }
}

} // namespace brelvix::world
