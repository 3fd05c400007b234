// Scene files of Assimp's own test set through the loader: where known
// vertices and cameras land in the host's axes, the cameras the loader
// makes and finds, and the files it must refuse.
#include "tools/world/world_scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace brelvix::world {
namespace {

const std::string kModels = "/usr/share/assimp/models/";

void expectNear(Vec3 actual, Vec3 expected, const std::string &what) {
    EXPECT_NEAR(actual.x, expected.x, 1e-5) << what;
    EXPECT_NEAR(actual.y, expected.y, 1e-5) << what;
    EXPECT_NEAR(actual.z, expected.z, 1e-5) << what;
}

WorldScene load(const std::string &path) {
    std::string error;
    std::optional<WorldScene> scene = loadScene(path, error);
    EXPECT_TRUE(scene) << error;
    return scene ? *scene : WorldScene{};
}

/// The points of each LAYR of a LightWave object, read from the file's
/// PNTS chunks (big-endian floats), in the file's order.
std::vector<std::vector<Vec3>> layerPoints(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file), {}};
    const auto word = [&](std::size_t at) {
        return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 |
               uint32_t{bytes[at + 2]} << 8 | uint32_t{bytes[at + 3]};
    };
    const auto number = [&](std::size_t at) {
        const uint32_t bits = word(at);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return static_cast<double>(value);
    };
    std::vector<std::vector<Vec3>> layers;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::string tag(bytes.begin() + static_cast<long>(at),
                              bytes.begin() + static_cast<long>(at) + 4);
        const uint32_t size = word(at + 4);
        if (tag == "PNTS") {
            std::vector<Vec3> &points = layers.emplace_back();
            for (std::size_t p = at + 8; p + 12 <= at + 8 + size; p += 12) {
                points.push_back({number(p), number(p + 4), number(p + 8)});
            }
        }
        at += 8 + size + (size & 1);
    }
    return layers;
}

TEST(WorldScene, VerticesOfRightHandedFilesAreMirroredInZ) {
    // cube_with_vertexcolors.obj: the cube (0,0,0)-(1,1,1), each "v" line
    // a position and a colour. Each loaded vertex is a line of the file
    // with z negated, with that line's colour.
    const std::string path = kModels + "OBJ/cube_with_vertexcolors.obj";
    std::ifstream file(path);
    std::vector<std::pair<Vec3, Rgb>> written;
    for (std::string line; std::getline(file, line);) {
        std::istringstream words(line);
        std::string tag;
        Vec3 p;
        Rgb c;
        if (words >> tag >> p.x >> p.y >> p.z >> c.x >> c.y >> c.z && tag == "v") {
            written.push_back({p, c});
        }
    }
    ASSERT_EQ(written.size(), 8u);
    const WorldScene cube = load(path);
    std::size_t vertices = 0;
    for (const Mesh &mesh : cube.meshes) {
        ASSERT_EQ(mesh.colours.size(), mesh.positions.size());
        for (std::size_t i = 0; i < mesh.positions.size(); ++i, ++vertices) {
            const Vec3 p{mesh.positions[i].x, mesh.positions[i].y, -mesh.positions[i].z};
            const auto line = std::find_if(written.begin(), written.end(), [&](const auto &v) {
                return length(v.first - p) < 1e-6;
            });
            ASSERT_NE(line, written.end()) << "vertex " << p.x << " " << p.y << " " << -p.z;
            const Point3f c = mesh.colours[i];
            expectNear({c.x, c.y, c.z}, line->second, "colour");
        }
    }
    EXPECT_GE(vertices, 8u);
    expectNear(cube.bounds.low, {0.0, 0.0, -1.0}, "cube low");
    expectNear(cube.bounds.high, {1.0, 1.0, 0.0}, "cube high");

    // Cameras.gltf: the square (0,0,0)-(1,1,0) turned about x by the
    // node's quaternion (x = -0.383, w = 0.92375, a little off unit length,
    // applied as written), so its top edge leans toward glTF's -z.
    const WorldScene square = load(kModels + "glTF2/cameras/Cameras.gltf");
    const double x = -0.383;
    const double w = 0.92375;
    expectNear(square.bounds.low, {0.0, 0.0, 0.0}, "square low");
    expectNear(square.bounds.high, {1.0, 1.0 - 2.0 * x * x, -2.0 * w * x}, "square high");
}

TEST(WorldScene, LightWaveLayersKeepTheFilesNumbers) {
    // hierarchy.lwo: four layers (numbered 3, 4, 2, 1 in file order), with
    // pivots that must not move the points.
    const std::string path = kModels + "LWO/LWO2/hierarchy.lwo";
    const std::vector<std::vector<Vec3>> layers = layerPoints(path);
    ASSERT_EQ(layers.size(), 4u);
    const int layerNumbers[] = {4, 5, 3, 2}; // the file's numbers plus one
    for (std::size_t i = 0; i < layers.size(); ++i) {
        std::string error;
        const auto meshes = loadObjectLayer(path, layerNumbers[i], error);
        ASSERT_TRUE(meshes) << error;
        Bounds expected;
        for (const Vec3 &p : layers[i]) {
            expected.add(p);
        }
        Bounds loaded;
        for (const Mesh &mesh : *meshes) {
            for (const Point3f &p : mesh.positions) {
                loaded.add({p.x, p.y, p.z});
            }
        }
        expectNear(loaded.low, expected.low, "layer " + std::to_string(layerNumbers[i]));
        expectNear(loaded.high, expected.high, "layer " + std::to_string(layerNumbers[i]));
    }
    std::string error;
    EXPECT_FALSE(loadObjectLayer(path, 9, error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
}

TEST(WorldScene, CamerasLookAlongTheHostsForwardAxis) {
    // Cameras.gltf: both cameras at node translation (0.5, 0.5, 3), looking
    // along the node's -z; the first is perspective with yfov 0.7.
    const WorldScene scene = load(kModels + "glTF2/cameras/Cameras.gltf");
    ASSERT_EQ(scene.cameras.size(), 2u);
    const Camera &camera = scene.cameras[0];
    expectNear(camera.position, {0.5, 0.5, -3.0}, "position, translation counted once");
    expectNear(camera.forward, {0.0, 0.0, 1.0}, "forward");
    expectNear(camera.up, {0.0, 1.0, 0.0}, "up");
    expectNear(camera.right, {1.0, 0.0, 0.0}, "right");
    EXPECT_NEAR(camera.verticalFov, 0.7, 1e-6);
    EXPECT_EQ(scene.cameras[1].verticalFov, 0.0) << "orthographic";
    EXPECT_EQ(findCamera(scene, scene.cameras[1].name), &scene.cameras[1]);
    EXPECT_EQ(findCamera(scene, "no such camera"), nullptr);
}

TEST(WorldScene, ColladaCameraAndLightArePlacedByTheirNodes) {
    // cube_triangulate.dae (+y up, lengths in centimetres, which arrive in
    // metres): node "Camera" translated to (-427.749, 333.855, 655.017),
    // turned -33 degrees about y after -22.1954 about x, yfov 37.8493
    // degrees at aspect 1, looking along its -z; node "Light", a white point
    // light, at (-500, 1000, 400).
    const WorldScene scene = load(kModels + "Collada/cube_triangulate.dae");
    const Camera *camera = findCamera(scene, "Camera");
    ASSERT_NE(camera, nullptr);
    const double pi = std::acos(-1.0);
    const double pitch = -22.1954 * pi / 180.0;
    const double yaw = -33.0 * pi / 180.0;
    // The look direction (0, 0, -1) turned about x, then about y, in the
    // file's axes; the host's is its mirror in z.
    const Vec3 turned{-std::cos(pitch) * std::sin(yaw), std::sin(pitch),
                      -std::cos(pitch) * std::cos(yaw)};
    expectNear(camera->position, Vec3{-427.749, 333.855, -655.017} * 0.01, "camera position");
    expectNear(camera->forward, {turned.x, turned.y, -turned.z}, "camera forward");
    EXPECT_NEAR(dot(camera->up, camera->forward), 0.0, 1e-6);
    EXPECT_NEAR(camera->right.y, 0.0, 1e-6) << "no roll";
    EXPECT_GT(camera->right.x, 0.0);
    EXPECT_NEAR(camera->verticalFov, 37.8493 * pi / 180.0, 1e-5);
    EXPECT_NEAR(camera->aspect, 1.0, 1e-6);

    const auto light = std::find_if(scene.lights.begin(), scene.lights.end(),
                                    [](const Light &l) { return l.name == "Light"; });
    ASSERT_NE(light, scene.lights.end());
    EXPECT_EQ(light->kind, Light::Kind::Point);
    expectNear(light->position, Vec3{-500.0, 1000.0, -400.0} * 0.01, "light position");
    expectNear(light->colour, {1.0, 1.0, 1.0}, "light colour");
}

TEST(WorldScene, FramingCameraSeesAllOfTheBounds) {
    const WorldScene scene = load(kModels + "OBJ/box.obj");
    for (const double aspect : {0.5, 1.0, 3.0}) {
        const double verticalFov = 0.6;
        const Camera camera = framingCamera(scene.bounds, verticalFov, aspect);
        const double tanVertical = std::tan(0.5 * verticalFov);
        for (const Mesh &mesh : scene.meshes) {
            for (const Point3f &p : mesh.positions) {
                const Vec3 toPoint = Vec3{p.x, p.y, p.z} - camera.position;
                const double depth = dot(toPoint, camera.forward);
                ASSERT_GT(depth, 0.0) << "aspect " << aspect;
                EXPECT_LE(std::abs(dot(toPoint, camera.up)) / depth, tanVertical)
                    << "aspect " << aspect;
                EXPECT_LE(std::abs(dot(toPoint, camera.right)) / depth, tanVertical * aspect)
                    << "aspect " << aspect;
            }
        }
    }
}

TEST(WorldScene, RefusesFilesWithoutFacesAndNamesThem) {
    // A point cloud, points and lines, cameras only (marked incomplete by
    // Assimp), no file at all.
    for (const std::string name :
         {"PLY/pond.0.ply", "OBJ/testpoints.obj", "Collada/cameras.dae", "no/such/file.obj"}) {
        std::string error;
        EXPECT_FALSE(loadScene(kModels + name, error)) << name;
        EXPECT_EQ(error.rfind(kModels + name + ": ", 0), 0u) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

} // namespace
} // namespace brelvix::world
