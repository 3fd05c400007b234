// The object reader on objects written here in both generations: what it
// reads of layers, polygons and surfaces, the triangles it cuts from them,
// and the one line it gives for each kind of damage.
#include "tests/lwo/object_writer.h"
#include "tools/lwo/meshes.h"
#include "tools/lwo/object.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using namespace brelvix::lwo;
using namespace brelvix::lwo::test;

Object read(const std::string &bytes) {
    ReadResult result = readObject(bytes, "test.lwo");
    EXPECT_TRUE(result.object) << result.error;
    return result.object ? std::move(*result.object) : Object{};
}

std::string readError(const std::string &bytes) {
    const ReadResult result = readObject(bytes, "bad.lwo");
    EXPECT_FALSE(result.object);
    return result.error;
}

bool same(const Vec3f &a, const Vec3f &b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

TEST(LwoReader, BothGenerationsReadTheSameObject) {
    const TestObject sample = sampleObject();
    const Object modern = read(lwo2(sample));
    const Object old = read(lwob(sample));
    EXPECT_EQ(modern.generation, Generation::lwo2);
    EXPECT_EQ(old.generation, Generation::lwob);
    ASSERT_EQ(modern.layers.size(), 1u);
    ASSERT_EQ(old.layers.size(), 1u);
    const Layer &a = modern.layers[0];
    const Layer &b = old.layers[0];
    ASSERT_EQ(a.points.size(), sample.points.size());
    ASSERT_EQ(b.points.size(), sample.points.size());
    // The detail polygon follows its parent in both.
    ASSERT_EQ(a.polygons.size(), sample.polygons.size() + 1);
    ASSERT_EQ(b.polygons.size(), a.polygons.size());
    EXPECT_EQ(a.indices, b.indices);
    for (std::size_t i = 0; i < a.polygons.size(); ++i) {
        EXPECT_EQ(a.polygons[i].surface, b.polygons[i].surface) << "polygon " << i;
        EXPECT_EQ(a.polygons[i].count, b.polygons[i].count) << "polygon " << i;
    }
    EXPECT_EQ(a.polygons[1].surface, 1u) << "the detail polygon's own surface";
    ASSERT_EQ(modern.surfaces.size(), sample.surfaces.size());
    ASSERT_EQ(old.surfaces.size(), sample.surfaces.size());
    for (std::size_t i = 0; i < sample.surfaces.size(); ++i) {
        const Surface &x = modern.surfaces[i];
        const Surface &y = old.surfaces[i];
        const TestSurface &written = sample.surfaces[i];
        EXPECT_EQ(x.name, written.name);
        EXPECT_EQ(y.name, written.name);
        EXPECT_TRUE(same(x.colour, y.colour)) << written.name;
        EXPECT_EQ(x.colour.x, written.red / 255.0f) << written.name;
        EXPECT_EQ(x.diffuse, written.diffuse);
        EXPECT_EQ(y.diffuse, written.diffuse);
        EXPECT_NEAR(x.smoothingAngle, written.smoothing * 3.14159265 / 180.0, 1e-6);
        EXPECT_NEAR(y.smoothingAngle, x.smoothingAngle, 1e-6);
        EXPECT_EQ(x.doubleSided, written.doubleSided);
        EXPECT_EQ(y.doubleSided, written.doubleSided);
    }
}

TEST(LwoReader, BothGenerationsCutTheSameTriangles) {
    const TestObject sample = sampleObject();
    const Object modern = read(lwo2(sample));
    const Object old = read(lwob(sample));
    const std::vector<SurfaceMesh> a = layerMeshes(modern, modern.layers[0], 2);
    const std::vector<SurfaceMesh> b = layerMeshes(old, old.layers[0], 2);
    ASSERT_EQ(a.size(), 3u);
    ASSERT_EQ(b.size(), a.size());
    for (std::size_t m = 0; m < a.size(); ++m) {
        EXPECT_EQ(a[m].surface, b[m].surface);
        EXPECT_EQ(a[m].triangles, b[m].triangles);
        ASSERT_EQ(a[m].positions.size(), b[m].positions.size());
        ASSERT_EQ(a[m].normals.size(), b[m].normals.size());
        for (std::size_t i = 0; i < a[m].normals.size(); ++i) {
            EXPECT_TRUE(same(a[m].normals[i], b[m].normals[i]));
        }
    }
}

TEST(LwoReader, SmoothingAngleSplitsNormalsAtSharpEdges) {
    const Object object = read(lwo2(sampleObject()));
    const std::vector<SurfaceMesh> meshes = layerMeshes(object, object.layers[0], 2);
    // Red and Blue are flat: no normals. Gold (60 degrees) smooths the
    // column's sides (45 degrees apart) but not their edge with the top.
    int upward = 0;
    int sideways = 0;
    for (const SurfaceMesh &mesh : meshes) {
        const bool smooth = object.surfaces[mesh.surface].name == "Gold";
        EXPECT_EQ(mesh.normals.empty(), !smooth) << object.surfaces[mesh.surface].name;
        for (std::size_t i = 0; smooth && i < mesh.normals.size(); ++i) {
            const Vec3f &n = mesh.normals[i];
            EXPECT_NEAR(n.x * n.x + n.y * n.y + n.z * n.z, 1.0, 1e-5);
            upward += std::abs(std::abs(n.y) - 1.0f) < 1e-5f;
            // A side's normal points out from the column's axis.
            const Vec3f &p = mesh.positions[i];
            if (std::abs(n.y) < 1e-5f) {
                ++sideways;
                EXPECT_NEAR(std::abs(n.x * (p.x - 1.0f) + n.z * p.z), 0.5, 1e-4);
            }
        }
        if (smooth) {
            // 16 points around the sides, once more each at the top's rim.
            EXPECT_EQ(mesh.positions.size(), 24u);
        }
    }
    EXPECT_EQ(upward, 8);
    EXPECT_EQ(sideways, 16);
}

TEST(LwoReader, LayersKeepNumberNamePivotAndParent) {
    Bytes body, first, second, points, polygons;
    first.u2(3).u2(0).f4(1).f4(2).f4(3).name("Base");
    second.u2(7).u2(0).f4(-1).f4(0).f4(0.5f).name("Arm").u2(3);
    points.f4(0).f4(0).f4(0).f4(1).f4(0).f4(0).f4(0).f4(1).f4(0);
    polygons.raw("FACE").u2(3).u2(0).u2(1).u2(2);
    body.chunk("LAYR", first).chunk("PNTS", points).chunk("POLS", polygons);
    body.chunk("LAYR", second).chunk("PNTS", points);
    const Object object = read(form("LWO2", body));
    ASSERT_EQ(object.layers.size(), 2u);
    EXPECT_EQ(object.layers[0].number, 3);
    EXPECT_EQ(object.layers[0].name, "Base");
    EXPECT_TRUE(same(object.layers[0].pivot, {1, 2, 3}));
    EXPECT_FALSE(object.layers[0].parent);
    EXPECT_EQ(object.layers[1].number, 7);
    EXPECT_EQ(object.layers[1].name, "Arm");
    EXPECT_TRUE(same(object.layers[1].pivot, {-1, 0, 0.5f}));
    EXPECT_EQ(object.layers[1].parent, 3);
    EXPECT_EQ(object.layers[0].polygons.size(), 1u);
    EXPECT_TRUE(object.layers[1].polygons.empty());
    // Untagged polygons take the default surface.
    ASSERT_EQ(object.surfaces.size(), 1u);
    EXPECT_EQ(object.surfaces[0].name, "Default");
}

TEST(LwoReader, CurvesAndBonesAreSkippedButKeepTheirPlace) {
    Bytes body, tags, points, curves, faces, polygonTags;
    tags.name("A").name("B");
    points.f4(0).f4(0).f4(0).f4(1).f4(0).f4(0).f4(0).f4(1).f4(0);
    curves.raw("CURV").u2(2).u2(0).u2(1);
    faces.raw("FACE").u2(2).u2(0).u2(1).u2(3).u2(0).u2(2).u2(1);
    // Tags refer to the last POLS: its second polygon is the triangle.
    polygonTags.raw("SURF").u2(1).u2(1);
    body.chunk("TAGS", tags).chunk("PNTS", points).chunk("POLS", curves);
    body.chunk("POLS", faces).chunk("PTAG", polygonTags);
    const Object object = read(form("LWO2", body));
    const Layer &layer = object.layers[0];
    ASSERT_EQ(layer.polygons.size(), 3u);
    EXPECT_EQ(layer.polygons[0].kind, PolygonKind::other);
    EXPECT_EQ(layer.polygons[2].surface, 1u);
    const std::vector<SurfaceMesh> meshes = layerMeshes(object, layer, 2);
    ASSERT_EQ(meshes.size(), 1u) << "the two-point face has no triangles";
    EXPECT_EQ(object.surfaces[meshes[0].surface].name, "B");
    EXPECT_EQ(meshes[0].triangles.size(), 1u);
}

/// A cube's six faces as a subdivision cage.
TestObject cubeCage() {
    TestObject cube;
    cube.patches = true;
    cube.surfaces = {{"Cage"}};
    cube.points = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                   {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    cube.polygons = {{{0, 3, 2, 1}, 0, {}}, {{5, 6, 7, 4}, 0, {}}, {{4, 7, 3, 0}, 0, {}},
                     {{1, 2, 6, 5}, 0, {}}, {{3, 7, 6, 2}, 0, {}}, {{4, 0, 1, 5}, 0, {}}};
    return cube;
}

TEST(LwoReader, SubdivisionCagesAreRefinedToTheLevelAsked) {
    for (const std::string &bytes : {lwo2(cubeCage()), lwob(cubeCage())}) {
        const Object object = read(bytes);
        ASSERT_EQ(object.layers[0].polygons[0].kind, PolygonKind::subdivision);
        const struct {
            int level;
            std::size_t triangles;
        } cases[] = {{0, 12}, {1, 48}, {2, 192}, {3, 768}, {9, 12 << (2 * kMaxSubdivisionLevel)}};
        for (const auto &c : cases) {
            const std::vector<SurfaceMesh> meshes = layerMeshes(object, object.layers[0], c.level);
            ASSERT_EQ(meshes.size(), 1u);
            EXPECT_EQ(meshes[0].triangles.size(), c.triangles) << "level " << c.level;
            // Catmull-Clark pulls the corners in: a refined cube is round.
            float farthest = 0.0f;
            for (const Vec3f &p : meshes[0].positions) {
                farthest = std::max(farthest, std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z));
            }
            if (c.level == 0) {
                EXPECT_FLOAT_EQ(farthest, std::sqrt(3.0f));
            } else {
                EXPECT_LT(farthest, 1.2f) << "level " << c.level;
            }
        }
    }
}

TEST(LwoReader, VertexColourMapsColourTheirPoints) {
    Bytes body, tags, points, faces, colours, corner, surf, vcol, polygonTags;
    tags.name("Painted");
    points.f4(0).f4(0).f4(0).f4(0).f4(1).f4(0).f4(1).f4(1).f4(0).f4(1).f4(0).f4(0);
    faces.raw("FACE").u2(3).u2(0).u2(1).u2(2).u2(3).u2(0).u2(2).u2(3);
    polygonTags.raw("SURF").u2(0).u2(0).u2(1).u2(0);
    colours.raw("RGB ").u2(3).name("paint").u2(0).f4(1).f4(0).f4(0).u2(1).f4(0).f4(1).f4(0);
    // The second polygon gives point 0 a colour of its own.
    corner.raw("RGB ").u2(3).name("paint").u2(0).u2(1).f4(0).f4(0).f4(1);
    vcol.f4(1).u2(0).raw("RGB ").name("paint");
    surf.name("Painted").name("").chunk("VCOL", vcol, 2);
    body.chunk("TAGS", tags).chunk("PNTS", points).chunk("VMAP", colours).chunk("POLS", faces);
    body.chunk("PTAG", polygonTags).chunk("VMAD", corner).chunk("SURF", surf);
    const Object object = read(form("LWO2", body));
    EXPECT_EQ(object.surfaces[0].colourMap, "paint");
    const std::vector<SurfaceMesh> meshes = layerMeshes(object, object.layers[0], 2);
    ASSERT_EQ(meshes.size(), 1u);
    const SurfaceMesh &mesh = meshes[0];
    ASSERT_EQ(mesh.colours.size(), mesh.positions.size());
    // Point 0 twice (red, then blue for the second polygon), 1 green, 2 and
    // 3 the surface's colour where the map says nothing.
    ASSERT_EQ(mesh.positions.size(), 5u);
    const Vec3f grey = object.surfaces[0].colour;
    const Vec3f expected[] = {{1, 0, 0}, {0, 1, 0}, grey, {0, 0, 1}, grey};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_TRUE(same(mesh.colours[i], expected[i])) << "vertex " << i;
    }
}

/// A valid LWO2 body of one triangle, then `extra`.
std::string triangleWith(const Bytes &extra) {
    Bytes body, points, faces;
    points.f4(0).f4(0).f4(0).f4(1).f4(0).f4(0).f4(0).f4(1).f4(0);
    faces.raw("FACE").u2(3).u2(0).u2(1).u2(2);
    body.chunk("PNTS", points).chunk("POLS", faces).raw(extra.text);
    return form("LWO2", body);
}

TEST(LwoReader, Lwo3GeometryReadsAsLwo2AndASurfaceFormIsTaken) {
    Bytes body, tags, points, faces, polygonTags, surface, colour, broken;
    tags.name("Green").name("Odd");
    points.f4(0).f4(0).f4(0).f4(1).f4(0).f4(0).f4(0).f4(1).f4(0);
    faces.raw("FACE").u2(3).u2(0).u2(1).u2(2).u2(3).u2(0).u2(2).u2(1);
    polygonTags.raw("SURF").u2(0).u2(0).u2(1).u2(1);
    colour.f4(0.1f).f4(0.9f).f4(0.2f).u2(0);
    surface.raw("SURF").name("Green").name("").raw("COLR").u4(14).raw(colour.text);
    // A surface whose sub-chunks do not read keeps the defaults.
    broken.raw("SURF").name("Odd").name("").raw("COLR").u4(400);
    body.chunk("TAGS", tags).chunk("PNTS", points).chunk("POLS", faces);
    body.chunk("PTAG", polygonTags).chunk("FORM", surface).chunk("FORM", broken);
    const Object object = read(form("LWO3", body));
    EXPECT_EQ(object.generation, Generation::lwo3);
    ASSERT_EQ(object.layers.size(), 1u);
    EXPECT_EQ(object.layers[0].polygons.size(), 2u);
    ASSERT_EQ(object.surfaces.size(), 2u);
    EXPECT_TRUE(same(object.surfaces[0].colour, {0.1f, 0.9f, 0.2f}));
    EXPECT_TRUE(same(object.surfaces[1].colour, Surface{}.colour));
    EXPECT_EQ(layerMeshes(object, object.layers[0], 2).size(), 2u);
}

TEST(LwoReader, DamagedFilesAreOneLineNamingChunkAndOffset) {
    Bytes badPoints, farPoint, badTag, longChunk, noEnd, badMap, bigCount;
    badPoints.chunk("PNTS", Bytes().f4(1).f4(2));
    farPoint.chunk("POLS", Bytes().raw("FACE").u2(3).u2(0).u2(1).u2(9));
    badTag.chunk("PTAG", Bytes().raw("SURF").u2(0).u2(4));
    longChunk.raw("BBOX").u4(1000).f4(0);
    Bytes oddName;
    oddName.raw("A\nB\x01").u4(1000);
    noEnd.chunk("TAGS", Bytes().raw("Name"));
    badMap.chunk("VMAP", Bytes().raw("RGB ").u2(3).name("m").u2(5).f4(0).f4(0).f4(0));
    bigCount.chunk("POLS", Bytes().raw("FACE").u2(1000).u2(0));
    Bytes lwobBody;
    lwobBody.chunk("PNTS", Bytes().f4(0).f4(0).f4(0))
        .chunk("POLS", Bytes().u2(1).u2(0).u2(0xFFFF).u2(60000));
    const std::string triangle = triangleWith({});
    const struct {
        std::string bytes;
        std::string error;
    } cases[] = {
        {"FORM", "bad.lwo: not a LightWave object"},
        // The triangle's own chunks end at byte 76.
        {triangle.substr(0, triangle.size() - 4), "bad.lwo: FORM chunk at byte 0: declares 68 "
                                                  "bytes where 64 follow"},
        {triangleWith(badPoints), "bad.lwo: PNTS chunk at byte 84: 8 bytes are not whole points"},
        {triangleWith(farPoint), "bad.lwo: POLS chunk at byte 94: polygon 0 names point 9 of 3"},
        {triangleWith(badTag), "bad.lwo: PTAG chunk at byte 90: tag 4 of 0"},
        {triangleWith(longChunk), "bad.lwo: BBOX chunk at byte 76: declares 1000 bytes where 4 "
                                  "remain"},
        {triangleWith(oddName), "bad.lwo: A?B? chunk at byte 76: declares 1000 bytes where 0 "
                                "remain"},
        {triangleWith(noEnd), "bad.lwo: TAGS chunk at byte 84: a name without its ending zero"},
        {triangleWith(badMap), "bad.lwo: VMAP chunk at byte 92: point 5 of 3"},
        {triangleWith(bigCount), "bad.lwo: POLS chunk at byte 88: a polygon of 1000 points runs"},
        {form("LWOB", lwobBody), "bad.lwo: POLS chunk at byte 46: 60000 detail polygons run past"},
    };
    for (const auto &c : cases) {
        const std::string error = readError(c.bytes);
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

/// The object fuzz target starts from the objects above (fuzz/corpus/lwo),
/// each after the byte that picks the subdivision level (2): the committed
/// seeds must be those objects, so that a change of the writers above
/// reaches the fuzzer. BRELVIX_WRITE_LWO_SEEDS=1 writes them anew.
TEST(LwoReader, TheFuzzTargetsSeedsAreTheseObjects) {
    const bool rewrite = std::getenv("BRELVIX_WRITE_LWO_SEEDS") != nullptr;
    const std::pair<const char *, std::string> seeds[] = {
        {"sample-lwo2.lwo", lwo2(sampleObject())}, {"sample-lwob.lwo", lwob(sampleObject())},
        {"cage-lwo2.lwo", lwo2(cubeCage())},       {"cage-lwob.lwo", lwob(cubeCage())},
        {"triangle-lwo2.lwo", triangleWith({})},
    };
    for (const auto &[name, bytes] : seeds) {
        const std::filesystem::path path = std::filesystem::path(BRELVIX_LWO_SEEDS) / name;
        if (rewrite) {
            std::ofstream(path, std::ios::binary) << '\2' << bytes;
        }
        std::ifstream in(path, std::ios::binary);
        const std::string committed{std::istreambuf_iterator<char>(in), {}};
        EXPECT_EQ(committed, '\2' + bytes) << path;
        EXPECT_TRUE(readObject(bytes, name).object) << name;
    }
}

} // namespace
