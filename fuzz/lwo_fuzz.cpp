// Fuzz target: arbitrary bytes as a LightWave object file, read by the
// project's object reader, and every layer it reads cut into triangles with
// its subdivision cages refined (the first byte picks the level, 0 to 2).
//
// Properties: the bytes are either read or refused with one line that names
// the file and, past the header, a chunk and a byte offset within the
// input; a read object holds no more points and polygons than its bytes can
// give (memory bounded by the input's size), and its polygons name points
// of their layer and surfaces it has; each mesh's triangles name its own
// vertices, with one normal and one colour per vertex or none. No crash, no
// sanitizer report and no hang anywhere.
#include "fuzz/fuzz_check.h"
#include "tools/lwo/meshes.h"
#include "tools/lwo/object.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using namespace brelvix::lwo;

constexpr const char *kName = "fuzz.lwo";

void checkRefusal(const std::string &error, std::size_t size) {
    FUZZ_CHECK(error.rfind(std::string(kName) + ": ", 0) == 0, "%s", error.c_str());
    FUZZ_CHECK(error.find('\n') == std::string::npos, "%s", error.c_str());
    const std::size_t at = error.find(" chunk at byte ");
    if (at != std::string::npos) {
        const unsigned long long offset = std::stoull(error.substr(at + 15));
        FUZZ_CHECK(offset <= size, "offset %llu past %zu bytes: %s", offset, size, error.c_str());
    }
}

void checkObject(const Object &object, std::size_t size, int level) {
    for (const Layer &layer : object.layers) {
        FUZZ_CHECK(layer.points.size() * 12 <= size, "%zu points", layer.points.size());
        FUZZ_CHECK(layer.polygons.size() * 2 <= size, "%zu polygons", layer.polygons.size());
        for (const Polygon &polygon : layer.polygons) {
            FUZZ_CHECK(polygon.surface < object.surfaces.size(), "surface %u", polygon.surface);
            FUZZ_CHECK(std::size_t{polygon.firstIndex} + polygon.count <= layer.indices.size(),
                       "indices");
            for (std::uint32_t k = 0; k < polygon.count; ++k) {
                FUZZ_CHECK(layer.indices[polygon.firstIndex + k] < layer.points.size(), "point");
            }
        }
        for (const SurfaceMesh &mesh : layerMeshes(object, layer, level)) {
            FUZZ_CHECK(mesh.surface < object.surfaces.size(), "mesh surface");
            FUZZ_CHECK(mesh.normals.empty() || mesh.normals.size() == mesh.positions.size(),
                       "normals");
            FUZZ_CHECK(mesh.colours.empty() || mesh.colours.size() == mesh.positions.size(),
                       "colours");
            for (const auto &triangle : mesh.triangles) {
                for (const std::uint32_t v : triangle) {
                    FUZZ_CHECK(v < mesh.positions.size(), "vertex %u of %zu", v,
                               mesh.positions.size());
                }
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const int level = data[0] % 3;
    const std::string_view bytes(reinterpret_cast<const char *>(data) + 1, size - 1);
    const ReadResult result = readObject(bytes, kName);
    if (!result.object) {
        checkRefusal(result.error, bytes.size());
        return 0;
    }
    FUZZ_CHECK(result.error.empty(), "%s", result.error.c_str());
    checkObject(*result.object, bytes.size(), level);
    return 0;
}
