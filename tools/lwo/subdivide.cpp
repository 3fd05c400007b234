// A layer's subdivision cages refined with OpenSubdiv's Catmull-Clark
// scheme: the cage's points and faces handed over as a topology
// description, refined uniformly, and the positions, colours and each
// face's surface carried down every level.
#include "tools/lwo/polygon_set.h"

#include <opensubdiv/far/error.h>
#include <opensubdiv/far/primvarRefiner.h>
#include <opensubdiv/far/topologyDescriptor.h>

#include <memory>
#include <mutex>

namespace brelvix::lwo {
namespace {

using namespace OpenSubdiv;

/// What a refined point carries: position, colour premultiplied by its
/// coverage, and the coverage.
struct Sample {
    float x, y, z, r, g, b, w;

    void Clear(void * = nullptr) { *this = Sample{0, 0, 0, 0, 0, 0, 0}; }
    void AddWithWeight(const Sample &s, float weight) {
        x += weight * s.x;
        y += weight * s.y;
        z += weight * s.z;
        r += weight * s.r;
        g += weight * s.g;
        b += weight * s.b;
        w += weight * s.w;
    }
};

/// OpenSubdiv reports a topology it refuses on its error channel, and by
/// returning no refiner; the refusal is enough here.
void quiet(Far::ErrorType, const char *) {}

bool hasRepeatedPoint(const Layer &layer, const Polygon &polygon) {
    for (std::uint32_t i = 0; i < polygon.count; ++i) {
        for (std::uint32_t j = i + 1; j < polygon.count; ++j) {
            if (layer.indices[polygon.firstIndex + i] == layer.indices[polygon.firstIndex + j]) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

std::optional<RefinedCage> subdivide(const Layer &layer, const std::vector<std::uint32_t> &cage,
                                     const ColourMap *map, int level) {
    static std::once_flag silenced;
    std::call_once(silenced, [] { Far::SetErrorCallback(quiet); });

    // The cage's own points, numbered in order of first use.
    std::vector<int> local(layer.points.size(), -1);
    std::vector<std::uint32_t> used;
    std::vector<int> counts;
    std::vector<int> corners;
    std::vector<std::uint32_t> surfaces;
    for (const std::uint32_t p : cage) {
        const Polygon &polygon = layer.polygons[p];
        if (polygon.count < 3 || hasRepeatedPoint(layer, polygon)) {
            continue;
        }
        counts.push_back(static_cast<int>(polygon.count));
        surfaces.push_back(polygon.surface);
        for (std::uint32_t k = 0; k < polygon.count; ++k) {
            const std::uint32_t point = layer.indices[polygon.firstIndex + k];
            if (local[point] < 0) {
                local[point] = static_cast<int>(used.size());
                used.push_back(point);
            }
            corners.push_back(local[point]);
        }
    }
    if (counts.empty()) {
        return std::nullopt;
    }
    Far::TopologyDescriptor description;
    description.numVertices = static_cast<int>(used.size());
    description.numFaces = static_cast<int>(counts.size());
    description.numVertsPerFace = counts.data();
    description.vertIndicesPerFace = corners.data();
    Sdc::Options scheme;
    scheme.SetVtxBoundaryInterpolation(Sdc::Options::VTX_BOUNDARY_EDGE_ONLY);
    using Factory = Far::TopologyRefinerFactory<Far::TopologyDescriptor>;
    const std::unique_ptr<Far::TopologyRefiner> refiner(
        Factory::Create(description, Factory::Options(Sdc::SCHEME_CATMARK, scheme)));
    if (!refiner) {
        return std::nullopt;
    }
    refiner->RefineUniform(Far::TopologyRefiner::UniformOptions(level));

    std::vector<Sample> samples(static_cast<std::size_t>(refiner->GetNumVerticesTotal()));
    for (std::size_t i = 0; i < used.size(); ++i) {
        const Vec3f &p = layer.points[used[i]];
        Sample &s = samples[i];
        s = Sample{p.x, p.y, p.z, 0, 0, 0, 0};
        if (map && map->covered[used[i]]) {
            const Rgba &c = map->points[used[i]];
            s.r = c.r;
            s.g = c.g;
            s.b = c.b;
            s.w = 1.0f;
        }
    }
    std::vector<std::uint32_t> faceSurfaces(static_cast<std::size_t>(refiner->GetNumFacesTotal()));
    std::copy(surfaces.begin(), surfaces.end(), faceSurfaces.begin());
    const Far::PrimvarRefiner primvars(*refiner);
    Sample *source = samples.data();
    std::uint32_t *sourceFaces = faceSurfaces.data();
    for (int l = 1; l <= level; ++l) {
        Sample *target = source + refiner->GetLevel(l - 1).GetNumVertices();
        std::uint32_t *targetFaces = sourceFaces + refiner->GetLevel(l - 1).GetNumFaces();
        primvars.Interpolate(l, source, target);
        primvars.InterpolateFaceUniform(l, sourceFaces, targetFaces);
        source = target;
        sourceFaces = targetFaces;
    }

    const Far::TopologyLevel &last = refiner->GetLevel(level);
    RefinedCage refined;
    refined.points.reserve(static_cast<std::size_t>(last.GetNumVertices()));
    for (int v = 0; v < last.GetNumVertices(); ++v) {
        const Sample &s = source[v];
        refined.points.push_back({s.x, s.y, s.z});
        if (map) {
            const float w = s.w > 0.0f ? s.w : 1.0f;
            refined.colours.push_back({s.r / w, s.g / w, s.b / w, 1.0f});
            refined.coverage.push_back(s.w);
        }
    }
    for (int f = 0; f < last.GetNumFaces(); ++f) {
        const Far::ConstIndexArray face = last.GetFaceVertices(f);
        Polygon polygon{static_cast<std::uint32_t>(refined.indices.size()),
                        static_cast<std::uint32_t>(face.size()), sourceFaces[f], PolygonKind::face};
        for (int k = 0; k < face.size(); ++k) {
            refined.indices.push_back(static_cast<std::uint32_t>(face[k]));
        }
        refined.polygons.push_back(polygon);
    }
    return refined;
}

} // namespace brelvix::lwo
