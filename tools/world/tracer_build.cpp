// The tracer's building: meshes, spheres and boxes into the world's Embree
// scene, and each distinct object built once and placed by its instances.
#include "tools/world/sphere_geometry.h"
#include "tools/world/tracer_shading.h"

#include <algorithm>

namespace brelvix::world {
namespace {

/// Corners of a box by bit (x low/high, y, z), and its twelve triangles,
/// wound clockwise seen from outside in the host's left-handed axes.
constexpr std::array<std::array<uint32_t, 3>, kBoxTriangleCount> kBoxTriangles{{
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

} // namespace

Tracer::Shading::~Shading() {
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

bool Tracer::Shading::addTriangles(const std::vector<Point3f> &positions,
                                   const std::vector<std::array<uint32_t, 3>> &triangles,
                                   RTCScene target) {
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

void Tracer::Shading::addInstances(const InstancedObjects &placed, std::size_t firstIndex) {
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

bool Tracer::Shading::addSpheres(const std::vector<Sphere> &list) {
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

void Tracer::Shading::addBoxes(const std::vector<Box> &boxes) {
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
    if (addTriangles(corners, triangles)) {
        surfaces.push_back(std::move(surface));
    }
}

} // namespace brelvix::world
