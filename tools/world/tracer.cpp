#include "tools/world/tracer.h"

#include "tools/world/sphere_geometry.h"

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

/// Corners of a box by bit (x low/high, y, z), and its twelve triangles,
/// wound clockwise seen from outside in the host's left-handed axes.
constexpr std::array<std::array<uint32_t, 3>, 12> kBoxTriangles{{
    {0, 2, 3},
    {0, 3, 1}, // -x
    {4, 5, 7},
    {4, 7, 6}, // +x
    {0, 1, 5},
    {0, 5, 4}, // -y
    {2, 6, 7},
    {2, 7, 3}, // +y
    {0, 4, 6},
    {0, 6, 2}, // -z
    {1, 3, 7},
    {1, 7, 5}, // +z
}};

Vec3 toVec3(const Point3f &p) { return {p.x, p.y, p.z}; }

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

    const std::vector<Point3f> &normalList() const { return mesh ? mesh->normals : normals; }
    const std::vector<Point3f> &colourList() const { return mesh ? mesh->colours : colours; }
    const std::array<uint32_t, 3> &triangle(uint32_t primitive) const {
        return mesh ? mesh->triangles[primitive] : triangles[primitive];
    }
    Rgb diffuseColour() const { return mesh ? mesh->diffuse : diffuse; }
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

/// Embree's 3 x 4 column-major matrix of a placement.
std::array<float, 12> columnMajor(const Placement &p) {
    const Vec3 columns[] = {p.xAxis, p.yAxis, p.zAxis, p.origin};
    std::array<float, 12> matrix{};
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 3; ++r) {
            matrix[static_cast<std::size_t>(3 * c + r)] = static_cast<float>(columns[c][r]);
        }
    }
    return matrix;
}

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

} // namespace

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
    std::string error;

    ~Shading() {
        if (scene) {
            rtcReleaseScene(scene);
        }
        for (const ObjectScene &object : objects) {
            if (object.scene) {
                rtcReleaseScene(object.scene);
            }
        }
        if (device) {
            rtcReleaseDevice(device);
        }
    }

    /// Adds a triangle mesh to `target` (the world's scene when null);
    /// false when Embree refused it.
    bool addTriangles(const std::vector<Point3f> &positions,
                      const std::vector<std::array<uint32_t, 3>> &triangles,
                      RTCScene target = nullptr) {
        RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
        if (!geometry) {
            return false;
        }
        // Embree reads vertices 16 bytes at a time: its own buffers are padded.
        auto *vertices = static_cast<float *>(
            rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                    3 * sizeof(float), positions.size()));
        auto *indices = static_cast<uint32_t *>(
            rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                    3 * sizeof(uint32_t), triangles.size()));
        if (vertices && indices) {
            for (std::size_t i = 0; i < positions.size(); ++i) {
                vertices[3 * i] = positions[i].x;
                vertices[3 * i + 1] = positions[i].y;
                vertices[3 * i + 2] = positions[i].z;
            }
            for (std::size_t i = 0; i < triangles.size(); ++i) {
                std::copy(triangles[i].begin(), triangles[i].end(), indices + 3 * i);
            }
            rtcCommitGeometry(geometry);
            rtcAttachGeometry(target ? target : scene, geometry);
        }
        rtcReleaseGeometry(geometry);
        return vertices && indices;
    }

    /// Builds each distinct object once and places its instances; their
    /// hit indices start at `firstIndex`.
    void addInstances(const InstancedObjects &placed, std::size_t firstIndex) {
        objectMeshes = placed.objects;
        for (const auto &meshes : placed.objects) {
            ObjectScene object;
            object.scene = rtcNewScene(device);
            for (std::size_t m = 0; m < meshes->size() && error.empty(); ++m) {
                const Mesh &mesh = (*meshes)[m];
                if (!mesh.triangles.empty() &&
                    addTriangles(mesh.positions, mesh.triangles, object.scene)) {
                    Surface surface{Hit::Kind::Mesh, m, {}, {}, {}, {}, {}};
                    surface.mesh = &mesh;
                    object.surfaces.push_back(std::move(surface));
                }
            }
            rtcCommitScene(object.scene);
            objects.push_back(std::move(object));
        }
        firstInstanceId = static_cast<unsigned>(surfaces.size());
        for (const Instance &instance : placed.instances) {
            if (!error.empty()) {
                return;
            }
            const std::size_t meshCount = placed.objects[instance.object]->size();
            if (instance.steps.empty() || objects[instance.object].surfaces.empty()) {
                firstIndex += meshCount;
                continue;
            }
            RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_INSTANCE);
            rtcSetGeometryInstancedScene(geometry, objects[instance.object].scene);
            rtcSetGeometryTimeStepCount(geometry, static_cast<unsigned>(instance.steps.size()));
            for (std::size_t step = 0; step < instance.steps.size(); ++step) {
                const std::array<float, 12> matrix = columnMajor(instance.steps[step]);
                rtcSetGeometryTransform(geometry, static_cast<unsigned>(step),
                                        RTC_FORMAT_FLOAT3X4_COLUMN_MAJOR, matrix.data());
            }
            rtcCommitGeometry(geometry);
            rtcAttachGeometryByID(scene, geometry,
                                  firstInstanceId + static_cast<unsigned>(instances.size()));
            rtcReleaseGeometry(geometry);
            instances.push_back({instance.object, instance.steps, firstIndex});
            firstIndex += meshCount;
        }
    }

    /// Traced by sphereCrossing; read by Embree's callbacks.
    std::vector<Sphere> spheres;

    bool addSpheres(const std::vector<Sphere> &list) {
        RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_USER);
        if (!geometry) {
            return false;
        }
        spheres = list;
        rtcSetGeometryUserPrimitiveCount(geometry, static_cast<unsigned>(spheres.size()));
        rtcSetGeometryUserData(geometry, &spheres);
        rtcSetGeometryBoundsFunction(geometry, sphereBounds, nullptr);
        rtcSetGeometryIntersectFunction(geometry, intersectSphere);
        rtcSetGeometryOccludedFunction(geometry, occludeBySphere);
        rtcCommitGeometry(geometry);
        rtcAttachGeometry(scene, geometry);
        rtcReleaseGeometry(geometry);
        return true;
    }
};

Tracer::Tracer() : shading_(std::make_unique<Shading>()) {}
Tracer::~Tracer() = default;

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
    s.scene = rtcNewScene(s.device);

    // Meshes: one geometry each, ids in their order.
    for (std::size_t i = 0; i < meshes.size() && s.error.empty(); ++i) {
        const Mesh &mesh = meshes[i];
        if (mesh.triangles.empty()) {
            continue;
        }
        if (s.addTriangles(mesh.positions, mesh.triangles)) {
            s.surfaces.push_back(
                {Hit::Kind::Mesh, i, mesh.normals, mesh.colours, mesh.triangles, mesh.diffuse, {}});
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
        std::vector<Point3f> corners;
        std::vector<std::array<uint32_t, 3>> triangles;
        Surface surface{Hit::Kind::Box, 0, {}, {}, {}, {}, {}};
        for (const Box &box : boxes) {
            const auto base = static_cast<uint32_t>(corners.size());
            for (int corner = 0; corner < 8; ++corner) {
                const Vec3 p{(corner & 4) ? box.high.x : box.low.x,
                             (corner & 2) ? box.high.y : box.low.y,
                             (corner & 1) ? box.high.z : box.low.z};
                corners.push_back(
                    {static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)});
            }
            for (const auto &t : kBoxTriangles) {
                triangles.push_back({base + t[0], base + t[1], base + t[2]});
            }
            surface.albedos.push_back(box.albedo);
        }
        if (s.addTriangles(corners, triangles)) {
            s.surfaces.push_back(std::move(surface));
        }
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

bool takes(const Ray &ray, double nearest, double farthest) {
    const double coordinates[] = {ray.origin.x,    ray.origin.y,    ray.origin.z,
                                  ray.direction.x, ray.direction.y, ray.direction.z};
    for (const double c : coordinates) {
        // NaN fails too.
        if (!(std::abs(c) <= kLargestRayCoordinate)) {
            return false;
        }
    }
    return !std::isnan(nearest) && !std::isnan(farthest) && nearest >= 0.0;
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

    Hit hit;
    if (query.hit.geomID == RTC_INVALID_GEOMETRY_ID) {
        return hit;
    }
    // A hit inside an instance: its object's surface, and the instance's
    // placement at the ray's time to bring normals into the world.
    const Shading &shading = *shading_;
    const PlacedInstance *instance = nullptr;
    std::optional<Placement> placement;
    const Surface *found = nullptr;
    if (query.hit.instID[0] != RTC_INVALID_GEOMETRY_ID) {
        instance = &shading.instances[query.hit.instID[0] - shading.firstInstanceId];
        found = &shading.objects[instance->object].surfaces[query.hit.geomID];
        placement = placementAt(instance->steps, ray.time);
    } else {
        found = &shading.surfaces[query.hit.geomID];
    }
    const Surface &surface = *found;
    const uint32_t primitive = query.hit.primID;
    hit.kind = surface.kind;
    hit.distance = query.ray.tfar;
    hit.point = ray.origin + ray.direction * hit.distance;

    // Geometric normal, toward the ray's origin.
    Vec3 normal{query.hit.Ng_x, query.hit.Ng_y, query.hit.Ng_z};
    normal = normalize(placement ? placement->normal(normal) : normal);
    if (dot(normal, ray.direction) > 0.0) {
        normal = normal * -1.0;
    }
    hit.geometricNormal = normal;
    hit.shadingNormal = normal;

    if (surface.kind == Hit::Kind::Mesh) {
        hit.index = instance ? instance->firstIndex + surface.index : surface.index;
        const auto &triangle = surface.triangle(primitive);
        if (!surface.normalList().empty()) {
            Vec3 shading = blend(surface.normalList(), triangle, query.hit.u, query.hit.v);
            // Turned with the placement as the placed meshes' normals were.
            shading = placement ? placement->direction(shading) : shading;
            if (length(shading) > 0.0) {
                hit.shadingNormal = normalize(shading) * (dot(shading, normal) < 0.0 ? -1.0 : 1.0);
            }
        }
        hit.colour = surface.colourList().empty()
                         ? surface.diffuseColour()
                         : blend(surface.colourList(), triangle, query.hit.u, query.hit.v);
    } else {
        hit.index = surface.kind == Hit::Kind::Box ? primitive / kBoxTriangles.size() : primitive;
        hit.colour = surface.albedos[hit.index];
    }
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

} // namespace brelvix::world
