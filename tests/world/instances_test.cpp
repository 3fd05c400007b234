// Objects placed by instances against the same objects copied into place:
// the same surfaces, mesh indices, normals and colours, from several
// placements and beside meshes of the world's own; and an instance that
// moves across the shutter is met where it is at the ray's time.
#include "tools/world/tracer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>

namespace brelvix::world {
namespace {

Point3f toFloat(Vec3 v) {
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

/// The object: box.obj's cube beside a triangle with leaning normals and
/// vertex colours.
std::vector<Mesh> object() {
    std::string error;
    auto scene = loadScene("/usr/share/assimp/models/OBJ/box.obj", error);
    EXPECT_TRUE(scene) << error;
    std::vector<Mesh> meshes = scene ? scene->meshes : std::vector<Mesh>{};
    Mesh leaf;
    leaf.positions = {{0.6f, -0.5f, 0.0f}, {1.6f, -0.5f, 0.0f}, {0.6f, 0.8f, -0.3f}};
    leaf.normals = {{-0.6f, 0.0f, -0.8f}, {0.6f, 0.0f, -0.8f}, {0.0f, 0.6f, -0.8f}};
    leaf.colours = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    leaf.triangles = {{0, 1, 2}};
    meshes.push_back(leaf);
    return meshes;
}

/// Turned by `angle` about +y, scaled by `scale`, moved to `origin`.
Placement turned(double angle, double scale, Vec3 origin) {
    const double c = std::cos(angle) * scale;
    const double s = std::sin(angle) * scale;
    return {origin, {c, 0.0, -s}, {0.0, scale, 0.0}, {s, 0.0, c}};
}

/// The meshes copied into place, as the renderer placed them before
/// instances: points through the placement, normals turned with it.
std::vector<Mesh> copiedIntoPlace(const std::vector<Mesh> &meshes, const Placement &placement) {
    std::vector<Mesh> placed = meshes;
    for (Mesh &mesh : placed) {
        for (Point3f &p : mesh.positions) {
            p = toFloat(placement.point({p.x, p.y, p.z}));
        }
        for (Point3f &n : mesh.normals) {
            n = toFloat(normalize(placement.direction({n.x, n.y, n.z})));
        }
    }
    return placed;
}

double angleBetween(Vec3 a, Vec3 b) { return std::acos(std::clamp(dot(a, b), -1.0, 1.0)); }

TEST(Instances, HitWhatTheirObjectsCopiedIntoPlaceHit) {
    Mesh floor;
    floor.positions = {{-20.0f, -3.0f, -20.0f}, {20.0f, -3.0f, -20.0f}, {20.0f, -3.0f, 20.0f}};
    floor.triangles = {{0, 2, 1}};
    floor.diffuse = {0.3, 0.6, 0.3};
    const auto shared = std::make_shared<const std::vector<Mesh>>(object());
    ASSERT_EQ(shared->size(), 2U);

    InstancedObjects instanced{{shared}, {}};
    std::vector<Mesh> copies{floor};
    const Placement placements[] = {
        turned(0.0, 1.0, {-3.0, 0.0, 0.0}), turned(0.7, 1.5, {0.0, 0.5, 1.0}),
        turned(-2.0, 0.8, {3.0, -1.0, 0.5}), turned(3.0, 1.2, {0.5, 2.5, 2.0})};
    for (const Placement &placement : placements) {
        instanced.instances.push_back({0, {placement}});
        for (Mesh &mesh : copiedIntoPlace(*shared, placement)) {
            copies.push_back(std::move(mesh));
        }
    }
    std::string error;
    const auto byInstances = Tracer::create({floor}, instanced, {}, {}, {}, error);
    ASSERT_TRUE(byInstances) << error;
    const auto byCopies = Tracer::create(copies, {}, {}, {}, error);
    ASSERT_TRUE(byCopies) << error;

    std::mt19937 random(11);
    std::uniform_real_distribution<double> spread(-0.45, 0.45);
    int meshHits = 0;
    int disagreements = 0;
    std::size_t indicesSeen = 0;
    for (int i = 0; i < 6000; ++i) {
        const Ray ray{{0.0, 0.5, -12.0}, normalize({spread(random), spread(random), 1.0})};
        const Hit a = byInstances->closestHit(ray);
        const Hit b = byCopies->closestHit(ray);
        // Single-precision placement against single-precision copies: a ray
        // grazing an edge may fall to either side of it.
        if (a.kind != b.kind || a.index != b.index) {
            ++disagreements;
            continue;
        }
        if (a.kind != Hit::Kind::Mesh) {
            continue;
        }
        ++meshHits;
        indicesSeen |= std::size_t{1} << a.index;
        EXPECT_NEAR(a.distance, b.distance, 1e-4 * b.distance) << "ray " << i;
        EXPECT_LT(angleBetween(a.geometricNormal, b.geometricNormal), 1e-4) << "ray " << i;
        EXPECT_LT(angleBetween(a.shadingNormal, b.shadingNormal), 1e-3) << "ray " << i;
        EXPECT_NEAR(a.colour.x, b.colour.x, 1e-3) << "ray " << i;
        EXPECT_NEAR(a.colour.y, b.colour.y, 1e-3) << "ray " << i;
        EXPECT_NEAR(a.colour.z, b.colour.z, 1e-3) << "ray " << i;
    }
    EXPECT_LE(disagreements, 12);
    EXPECT_GT(meshHits, 1000);
    // The floor and both meshes of every placement were met, by the
    // index they had as copies.
    EXPECT_EQ(indicesSeen, (std::size_t{1} << copies.size()) - 1);
    EXPECT_EQ(distinctTriangles(instanced), (*shared)[0].triangles.size() + 1)
        << "each object's triangles once, however often it is placed";
}

TEST(Instances, BoundsAreThoseOfEveryPlacedPoint) {
    const auto shared = std::make_shared<const std::vector<Mesh>>(object());
    // Moved and scaled along the axes (one mirrored), and turned.
    const Placement placements[] = {
        turned(0.0, 1.0, {-3.0, 0.0, 0.0}),
        {{5.0, 1.0, -2.0}, {2.0, 0.0, 0.0}, {0.0, -0.5, 0.0}, {0, 0, 3}},
        turned(0.7, 1.5, {0.0, 0.5, 1.0})};
    for (const Placement &placement : placements) {
        Bounds expected;
        for (const Mesh &mesh : *shared) {
            for (const Point3f &p : mesh.positions) {
                expected.add(placement.point({p.x, p.y, p.z}));
            }
        }
        Bounds bounds;
        addBounds({{shared}, {{0, {placement}}}}, bounds);
        EXPECT_EQ(bounds.low, expected.low);
        EXPECT_EQ(bounds.high, expected.high);
    }
}

TEST(Instances, AMovingInstanceIsMetWhereItIsAtTheRaysTime) {
    const auto shared = std::make_shared<const std::vector<Mesh>>(object());
    const InstancedObjects instanced{
        {shared}, {{0, {turned(0.0, 1.0, {-4.0, 0.0, 0.0}), turned(0.0, 1.0, {4.0, 0.0, 0.0})}}}};
    std::string error;
    const auto tracer = Tracer::create({}, instanced, {}, {}, {}, error);
    ASSERT_TRUE(tracer) << error;
    struct Case {
        double aimX;
        double time;
        bool hit;
    };
    const Case cases[] = {{-4.0, 0.0, true},  {-4.0, 1.0, false}, {4.0, 1.0, true},
                          {4.0, 0.0, false},  {0.0, 0.5, true},   {0.0, 0.0, false},
                          {-2.0, 0.25, true}, {2.0, 0.25, false}};
    for (const Case &c : cases) {
        const Ray ray{{c.aimX, 0.0, -10.0}, {0.0, 0.0, 1.0}, c.time};
        const Hit hit = tracer->closestHit(ray);
        EXPECT_EQ(hit.kind == Hit::Kind::Mesh, c.hit) << "x " << c.aimX << " at " << c.time;
        EXPECT_EQ(tracer->occluded(ray), c.hit) << "x " << c.aimX << " at " << c.time;
        if (hit.kind == Hit::Kind::Mesh) {
            // The cube's front face, at z = -0.5, facing the ray.
            EXPECT_NEAR(hit.distance, 9.5, 1e-4);
            EXPECT_NEAR(hit.geometricNormal.z, -1.0, 1e-5);
        }
    }
}

} // namespace
} // namespace brelvix::world
