// Reading a large object of the host (LWO2, written here: a grid of
// 1024 x 1024 quads, 1,048,576 polygons on 1,050,625 points, in two
// surfaces, one of them smoothed) into the world's meshes: with the
// project's reader (world::loadScene, which sends the host's objects to
// it, triangles and shading normals included), and with Assimp's reader
// of the same file and the import steps the loader gave it. The first must
// take no longer than the second.
#include "tools/world/axes.h"
#include "tools/world/world_scene.h"

#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr std::uint32_t kSide = 1024;

class Writer {
  public:
    void u2(std::uint32_t v) {
        text.push_back(static_cast<char>((v >> 8) & 0xFF));
        text.push_back(static_cast<char>(v & 0xFF));
    }
    void u4(std::uint32_t v) {
        u2(v >> 16);
        u2(v & 0xFFFF);
    }
    void f4(float v) {
        std::uint32_t raw;
        std::memcpy(&raw, &v, sizeof raw);
        u4(raw);
    }
    /// A variable-length index: two bytes below 0xFF00, else four.
    void vx(std::uint32_t v) { v < 0xFF00 ? u2(v) : u4(v | 0xFF000000u); }
    void raw(const char *s, std::size_t n) { text.append(s, n); }
    void chunk(const char *id, const Writer &data) {
        raw(id, 4);
        u4(static_cast<std::uint32_t>(data.text.size()));
        text += data.text;
        if (data.text.size() % 2 != 0) {
            text.push_back('\0');
        }
    }
    std::string text;
};

Writer surface(const char *name, std::size_t length, float red, float smoothing) {
    Writer surf, colour, angle;
    surf.raw(name, length);
    surf.u2(0); // empty source name
    colour.f4(red);
    colour.f4(0.5f);
    colour.f4(0.5f);
    colour.u2(0);
    surf.raw("COLR", 4);
    surf.u2(static_cast<std::uint32_t>(colour.text.size()));
    surf.text += colour.text;
    angle.f4(smoothing);
    surf.raw("SMAN", 4);
    surf.u2(4);
    surf.text += angle.text;
    return surf;
}

std::string largeObject() {
    Writer tags, layer, points, polygons, polygonTags, body;
    tags.raw("Flat\0\0Smooth\0\0", 14);
    layer.u2(0);
    layer.u2(0);
    layer.f4(0);
    layer.f4(0);
    layer.f4(0);
    layer.u2(0); // empty name
    for (std::uint32_t j = 0; j <= kSide; ++j) {
        for (std::uint32_t i = 0; i <= kSide; ++i) {
            const float x = static_cast<float>(i) / kSide;
            const float z = static_cast<float>(j) / kSide;
            points.f4(x);
            points.f4(0.05f * std::sin(40.0f * x) * std::cos(30.0f * z));
            points.f4(z);
        }
    }
    polygons.raw("FACE", 4);
    polygonTags.raw("SURF", 4);
    for (std::uint32_t j = 0; j < kSide; ++j) {
        for (std::uint32_t i = 0; i < kSide; ++i) {
            const std::uint32_t a = j * (kSide + 1) + i;
            polygons.u2(4);
            polygons.vx(a);
            polygons.vx(a + kSide + 1);
            polygons.vx(a + kSide + 2);
            polygons.vx(a + 1);
            polygonTags.vx(j * kSide + i);
            polygonTags.u2(i < kSide / 2 ? 0 : 1);
        }
    }
    body.chunk("TAGS", tags);
    body.chunk("LAYR", layer);
    body.chunk("PNTS", points);
    body.chunk("POLS", polygons);
    body.chunk("PTAG", polygonTags);
    body.chunk("SURF", surface("Flat\0\0", 6, 0.9f, 0.0f));
    body.chunk("SURF", surface("Smooth\0\0", 8, 0.2f, 1.0f));
    Writer file;
    file.raw("FORM", 4);
    file.u4(static_cast<std::uint32_t>(body.text.size() + 4));
    file.raw("LWO2", 4);
    return file.text + body.text;
}

const std::string &objectPath() {
    static const std::string path = [] {
        const std::string written =
            (std::filesystem::temp_directory_path() / "brelvix-lwo-bench-grid.lwo").string();
        std::ofstream(written, std::ios::binary) << largeObject();
        return written;
    }();
    return path;
}

void OwnReader(benchmark::State &state) {
    for (auto _ : state) {
        std::string error;
        const auto scene = brelvix::world::loadScene(objectPath(), error);
        if (!scene) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(scene->meshes.data());
    }
}

void AssimpReader(benchmark::State &state) {
    for (auto _ : state) {
        Assimp::Importer importer;
        const aiScene *scene = importer.ReadFile(objectPath(), brelvix::world::importSteps());
        if (!scene || scene->mNumMeshes == 0) {
            state.SkipWithError(importer.GetErrorString());
            return;
        }
        benchmark::DoNotOptimize(scene);
    }
}

BENCHMARK(OwnReader)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(AssimpReader)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

BENCHMARK_MAIN();
