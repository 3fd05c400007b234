// Rays against known geometry through Embree: distances, normals and
// colours of the closest hit, shadow queries, the same answers from many
// threads at once, and a pinned instruction set.
#include "tools/world/tracer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <thread>

namespace brelvix::world {
namespace {

/// box.obj (the unit cube about the origin, from the file) plus a sphere
/// and a box beside it.
struct Fixture {
    std::vector<Mesh> meshes;
    std::vector<Sphere> spheres{{{3.0, 0.0, 0.0}, 0.5, {0.9, 0.1, 0.1}}};
    std::vector<Box> boxes{{{-4.0, -1.0, -1.0}, {-2.0, 1.0, 1.0}, {0.1, 0.9, 0.1}}};

    Fixture() {
        std::string error;
        auto scene = loadScene("/usr/share/assimp/models/OBJ/box.obj", error);
        EXPECT_TRUE(scene) << error;
        if (scene) {
            meshes = scene->meshes;
            meshes[0].diffuse = {0.1, 0.1, 0.9};
        }
    }

    std::unique_ptr<Tracer> tracer(const TracerOptions &options = {}) const {
        std::string error;
        auto made = Tracer::create(meshes, spheres, boxes, options, error);
        EXPECT_TRUE(made) << error;
        return made;
    }
};

void expectNear(Vec3 actual, Vec3 expected, const std::string &what) {
    EXPECT_NEAR(actual.x, expected.x, 1e-5) << what;
    EXPECT_NEAR(actual.y, expected.y, 1e-5) << what;
    EXPECT_NEAR(actual.z, expected.z, 1e-5) << what;
}

TEST(Tracer, ClosestHitsOnKnownGeometry) {
    const Fixture fixture;
    const auto tracer = fixture.tracer();
    ASSERT_TRUE(tracer);
    struct Case {
        std::string what;
        Ray ray;
        Hit::Kind kind;
        double distance;
        Vec3 normal;
        Rgb colour;
    };
    const Case cases[] = {
        {"cube from the front",
         {{0.2, 0.1, -5.0}, {0, 0, 1}},
         Hit::Kind::Mesh,
         4.5,
         {0, 0, -1},
         {0.1, 0.1, 0.9}},
        {"cube from above",
         {{0.0, 3.0, 0.3}, {0, -1, 0}},
         Hit::Kind::Mesh,
         2.5,
         {0, 1, 0},
         {0.1, 0.1, 0.9}},
        {"sphere",
         {{3.0, 0.0, -5.0}, {0, 0, 1}},
         Hit::Kind::Sphere,
         4.5,
         {0, 0, -1},
         {0.9, 0.1, 0.1}},
        {"box from the side",
         {{-10.0, 0.5, 0.0}, {1, 0, 0}},
         Hit::Kind::Box,
         6.0,
         {-1, 0, 0},
         {0.1, 0.9, 0.1}},
        {"box from within",
         {{-3.0, 0.0, 0.0}, {0, 0, 1}},
         Hit::Kind::Box,
         1.0,
         {0, 0, -1},
         {0.1, 0.9, 0.1}},
        {"past everything", {{0.0, 5.0, 0.0}, {0, 0, 1}}, Hit::Kind::Sky, INFINITY, {}, {}},
    };
    for (const Case &c : cases) {
        const Hit hit = tracer->closestHit(c.ray);
        ASSERT_EQ(hit.kind, c.kind) << c.what;
        if (c.kind == Hit::Kind::Sky) {
            EXPECT_TRUE(std::isinf(hit.distance)) << c.what;
            continue;
        }
        EXPECT_NEAR(hit.distance, c.distance, 1e-5) << c.what;
        expectNear(hit.geometricNormal, c.normal, c.what);
        expectNear(hit.shadingNormal, c.normal, c.what + ", no file normals");
        expectNear(hit.colour, c.colour, c.what);
        expectNear(hit.point, c.ray.origin + c.ray.direction * c.distance, c.what);
    }
    // A nearest distance past the cube's front face finds its back face.
    const Hit back = tracer->closestHit({{0.0, 0.0, -5.0}, {0, 0, 1}}, 4.6);
    EXPECT_NEAR(back.distance, 5.5, 1e-5);
}

TEST(Tracer, ShadingNormalsAndColoursAreBlendedAcrossATriangle) {
    // A triangle in the plane z = 2 whose vertex normals lean outward and
    // whose vertices are red, green and blue; seen from both sides.
    Mesh mesh;
    mesh.positions = {{0.0f, 0.0f, 2.0f}, {3.0f, 0.0f, 2.0f}, {0.0f, 3.0f, 2.0f}};
    mesh.normals = {{-0.6f, 0.0f, -0.8f}, {0.6f, 0.0f, -0.8f}, {0.0f, 0.6f, -0.8f}};
    mesh.colours = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    mesh.triangles = {{0, 1, 2}};
    std::string error;
    const auto tracer = Tracer::create({mesh}, {}, {}, {}, error);
    ASSERT_TRUE(tracer) << error;
    // The centroid (1, 1, 2): each vertex weighs a third.
    const Vec3 blended = normalize({0.0, 0.2, -0.8});
    for (const double side : {-1.0, 1.0}) {
        const Hit hit = tracer->closestHit({{1.0, 1.0, 2.0 + 3.0 * side}, {0.0, 0.0, -side}});
        ASSERT_EQ(hit.kind, Hit::Kind::Mesh) << "side " << side;
        EXPECT_NEAR(hit.distance, 3.0, 1e-5);
        expectNear(hit.geometricNormal, {0.0, 0.0, side}, "geometric, toward the ray");
        expectNear(hit.shadingNormal, blended * -side, "shading, on the same side");
        expectNear(hit.colour, {1.0 / 3.0, 1.0 / 3.0, 1.0 / 3.0}, "colour");
    }
}

TEST(Tracer, ShadowRaysStopAtTheirDistance) {
    const auto tracer = Fixture().tracer();
    ASSERT_TRUE(tracer);
    const Ray towardCube{{0.0, 0.0, -5.0}, {0, 0, 1}};
    EXPECT_TRUE(tracer->occluded(towardCube));
    EXPECT_TRUE(tracer->occluded(towardCube, 0.0, 4.6));
    EXPECT_FALSE(tracer->occluded(towardCube, 0.0, 4.4)) << "the light is before the cube";
    EXPECT_FALSE(tracer->occluded({{0.0, 5.0, 0.0}, {0, 0, 1}}));
}

TEST(Tracer, RaysBeyondSinglePrecisionAreRefusedNotTraced) {
    const auto tracer = Fixture().tracer();
    ASSERT_TRUE(tracer);
    const Ray towardCube{{0.0, 0.0, -5.0}, {0, 0, 1}};
    EXPECT_EQ(tracer->closestHit(towardCube).kind, Hit::Kind::Mesh);
    EXPECT_FALSE(tracer->refusedRays());
    // Aimed at the cube from beyond what a float holds: Embree would assert.
    EXPECT_EQ(tracer->closestHit({{0.0, 0.0, -1e39}, {0, 0, 1}}).kind, Hit::Kind::Sky);
    EXPECT_TRUE(tracer->refusedRays());
    EXPECT_FALSE(tracer->occluded({{0.0, 0.0, std::nan("")}, {0, 0, 1}}));
}

/// Rays from a camera-like spread of origins and directions, fixed seed.
std::vector<Ray> scatteredRays(std::size_t count) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> spread(-0.4, 0.4);
    std::vector<Ray> rays;
    for (std::size_t i = 0; i < count; ++i) {
        rays.push_back({{0.0, 0.0, -6.0}, normalize({spread(random), spread(random), 1.0})});
    }
    return rays;
}

TEST(Tracer, ManyThreadsGetTheAnswersOfOne) {
    const auto tracer = Fixture().tracer();
    ASSERT_TRUE(tracer);
    const std::vector<Ray> rays = scatteredRays(4000);
    std::vector<Hit> alone;
    for (const Ray &ray : rays) {
        alone.push_back(tracer->closestHit(ray));
    }
    constexpr int kThreads = 4;
    std::vector<std::vector<Hit>> together(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (const Ray &ray : rays) {
                together[static_cast<std::size_t>(t)].push_back(tracer->closestHit(ray));
            }
        });
    }
    for (std::thread &thread : threads) {
        thread.join();
    }
    for (const auto &hits : together) {
        ASSERT_EQ(hits.size(), alone.size());
        for (std::size_t i = 0; i < hits.size(); ++i) {
            ASSERT_EQ(hits[i].kind, alone[i].kind) << "ray " << i;
            ASSERT_EQ(hits[i].distance, alone[i].distance) << "ray " << i;
        }
    }
}

TEST(Tracer, APinnedInstructionSetAgreesWithEmbreesChoice) {
    const Fixture fixture;
    const auto chosen = fixture.tracer();
    const auto pinned = fixture.tracer({"sse2", 1});
    ASSERT_TRUE(chosen && pinned);
    for (const Ray &ray : scatteredRays(2000)) {
        const Hit a = chosen->closestHit(ray);
        const Hit b = pinned->closestHit(ray);
        ASSERT_EQ(a.kind, b.kind);
        if (a.kind != Hit::Kind::Sky) {
            ASSERT_NEAR(a.distance, b.distance, 1e-5);
        }
    }
    std::string error;
    EXPECT_FALSE(Tracer::create({}, {}, {}, {"no-such-isa", 0}, error));
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace brelvix::world
