// Batches of rays traced in packets against the same rays one at a time: the
// same hits (surface, index, distance, normals, colour) and shadows, for
// each packet width, over meshes, spheres, boxes and instances that move
// across the shutter, with rays Embree refuses among them.
#include "tools/world/tracer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

namespace brelvix::world {
namespace {

/// A triangle with leaning normals and vertex colours, as an object's mesh.
Mesh leaf() {
    Mesh mesh;
    mesh.positions = {{-1.0f, -1.0f, 0.0f}, {1.0f, -1.0f, 0.0f}, {0.0f, 1.2f, -0.3f}};
    mesh.normals = {{-0.6f, 0.0f, -0.8f}, {0.6f, 0.0f, -0.8f}, {0.0f, 0.6f, -0.8f}};
    mesh.colours = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    mesh.triangles = {{0, 1, 2}};
    return mesh;
}

Placement movedTo(Vec3 origin) { return {origin, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}; }

/// A leaf of the world's own, a sphere, a box, and the leaf placed twice:
/// once still, once moving from left to right across the shutter.
std::unique_ptr<Tracer> world(const std::string &isa) {
    const auto object = std::make_shared<const std::vector<Mesh>>(std::vector<Mesh>{leaf()});
    const InstancedObjects instanced{
        {object},
        {{0, {movedTo({0.0, 2.5, 4.0})}},
         {0, {movedTo({-3.0, -2.0, 3.0}), movedTo({3.0, -2.0, 3.0})}}}};
    std::string error;
    auto tracer =
        Tracer::create({leaf()}, instanced, {{{2.0, 0.0, 2.0}, 0.7, {0.9, 0.1, 0.1}}},
                       {{{-3.5, -0.5, 2.0}, {-2.0, 1.0, 3.5}, {0.1, 0.9, 0.1}}}, {isa, 1}, error);
    EXPECT_TRUE(tracer || isa == "avx512") << error;
    return tracer;
}

/// Rays from in front of the world over a grid, row by row as a film's, at
/// times across the shutter; every 29th one is beyond what Embree takes.
std::vector<Ray> filmRays(int count) {
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Ray> rays;
    for (int i = 0; i < count; ++i) {
        const double x = (i % 23) / 22.0 * 9.0 - 4.5 + 0.01 * unit(random);
        const double y = (i / 23) / 22.0 * 7.0 - 3.5 + 0.01 * unit(random);
        Ray ray{{0.0, 0.0, -6.0}, normalize(Vec3{x, y, 9.0}), unit(random)};
        if (i % 29 == 28) {
            ray.origin.x = i % 2 == 0 ? 1e19 : NAN;
        }
        rays.push_back(ray);
    }
    return rays;
}

void expectNear(Vec3 actual, Vec3 expected, const std::string &what) {
    EXPECT_NEAR(actual.x, expected.x, 1e-4) << what;
    EXPECT_NEAR(actual.y, expected.y, 1e-4) << what;
    EXPECT_NEAR(actual.z, expected.z, 1e-4) << what;
}

TEST(TracerPackets, EachWidthGivesTheHitsAndShadowsOfSingleRays) {
    struct Case {
        std::string isa;
        int width;
    };
    // 23 x 23 rays: no width divides the batch, so its last packet is partial.
    const std::vector<Ray> rays = filmRays(23 * 23);
    for (const Case &c : {Case{"sse2", 4}, Case{"avx2", 8}, Case{"avx512", 16}}) {
        SCOPED_TRACE(c.isa);
        const auto tracer = world(c.isa);
        if (!tracer) {
            continue; // the processor has no avx512
        }
        EXPECT_EQ(tracer->packetWidth(), c.width);
        EXPECT_FALSE(tracer->refusedRays());
        std::vector<Hit> hits(rays.size());
        tracer->closestHits(rays, hits);
        EXPECT_TRUE(tracer->refusedRays());
        int met[4] = {};
        for (std::size_t i = 0; i < rays.size(); ++i) {
            const Hit one = tracer->closestHit(rays[i]);
            const std::string what = "ray " + std::to_string(i);
            ASSERT_EQ(hits[i].kind, one.kind) << what;
            ++met[static_cast<int>(one.kind)];
            if (one.kind == Hit::Kind::Sky) {
                EXPECT_TRUE(std::isinf(hits[i].distance)) << what;
                continue;
            }
            EXPECT_EQ(hits[i].index, one.index) << what;
            EXPECT_NEAR(hits[i].distance, one.distance, 1e-5 * one.distance) << what;
            expectNear(hits[i].geometricNormal, one.geometricNormal, what);
            expectNear(hits[i].shadingNormal, one.shadingNormal, what);
            expectNear(hits[i].colour, one.colour, what);
        }
        // Every kind of surface was met, the sky too.
        for (const int count : met) {
            EXPECT_GT(count, 3);
        }

        // Shadow segments along the same rays, cut short at varied lengths.
        std::vector<Segment> segments;
        for (std::size_t i = 0; i < rays.size(); ++i) {
            segments.push_back({rays[i], 0.0, (i % 3 == 0) ? 7.0 : INFINITY});
        }
        std::unique_ptr<bool[]> blocked(new bool[segments.size()]);
        tracer->occludedAll(segments, {blocked.get(), segments.size()});
        int blockedCount = 0;
        for (std::size_t i = 0; i < segments.size(); ++i) {
            const Segment &s = segments[i];
            EXPECT_EQ(blocked[i], tracer->occluded(s.ray, s.nearest, s.farthest))
                << "segment " << i;
            blockedCount += blocked[i] ? 1 : 0;
        }
        EXPECT_GT(blockedCount, 20);
        EXPECT_LT(blockedCount, static_cast<int>(segments.size()) - 20);
    }
}

TEST(TracerPackets, AMovingInstanceIsMetAtEachLanesTime) {
    // One packet of rays aimed at the moving leaf's path, each at its own
    // time: only those whose time brings the leaf in front of them hit it.
    const auto tracer = world("");
    ASSERT_TRUE(tracer);
    std::vector<Ray> rays;
    for (int i = 0; i < 16; ++i) {
        const double x = -3.0 + 6.0 * (i / 15.0);
        rays.push_back(
            {{x, -2.0, -5.0}, {0.0, 0.0, 1.0}, (i % 2 == 0) ? i / 15.0 : 1.0 - i / 15.0});
    }
    std::vector<Hit> hits(rays.size());
    tracer->closestHits(rays, hits);
    for (std::size_t i = 0; i < rays.size(); ++i) {
        const bool onPath = std::abs(rays[i].origin.x - (-3.0 + 6.0 * rays[i].time)) < 0.5;
        EXPECT_EQ(hits[i].kind == Hit::Kind::Mesh, onPath) << "ray " << i;
        EXPECT_EQ(hits[i].kind, tracer->closestHit(rays[i]).kind) << "ray " << i;
    }
    EXPECT_FALSE(tracer->refusedRays());
}

// A ray whose direction has a component at zero (or a sign's width from
// it) among rays that point either way along that axis, as the centre row
// of a level camera's film gives: a packet holding it would pass by what it
// meets, so the batch gives what the ray alone meets.
TEST(TracerPackets, RaysAlongAnAxisPlaneMeetWhatTheyMeetAlone) {
    for (const char *isa : {"sse2", "avx2", "avx512"}) {
        SCOPED_TRACE(isa);
        const auto tracer = world(isa);
        if (!tracer) {
            continue;
        }
        for (const double level : {-1e-20, -0.0, 0.0, 1e-20, -1e-30}) {
            std::vector<Ray> rays;
            std::vector<Segment> segments;
            for (int i = 0; i < 16; ++i) {
                const double y = i == 5 ? level : (i % 2 == 0 ? 1e-3 : -1e-3);
                rays.push_back({{0.0, 0.0, -6.0}, normalize(Vec3{-0.05 + 0.006 * i, y, 1.0})});
                segments.push_back({rays.back(), 0.0, 10.0});
            }
            std::vector<Hit> hits(rays.size());
            tracer->closestHits(rays, hits, 0.0, INFINITY);
            std::unique_ptr<bool[]> blocked(new bool[segments.size()]);
            tracer->occludedAll(segments, std::span<bool>(blocked.get(), segments.size()));
            for (std::size_t i = 0; i < rays.size(); ++i) {
                const Hit alone = tracer->closestHit(rays[i]);
                ASSERT_EQ(alone.kind, Hit::Kind::Mesh) << "ray " << i << " aims at the leaf";
                EXPECT_EQ(hits[i].kind, alone.kind) << "ray " << i << " at " << level;
                EXPECT_EQ(hits[i].distance, alone.distance) << "ray " << i << " at " << level;
                EXPECT_TRUE(blocked[i]) << "ray " << i << " at " << level;
            }
        }
    }
}

} // namespace
} // namespace brelvix::world
