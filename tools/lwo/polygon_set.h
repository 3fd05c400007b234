// Polygons over points, with what colours them: the common form of a
// layer's flat faces and of its refined subdivision cages, which
// meshes.cpp cuts into triangles.
#ifndef BRELVIX_TOOLS_LWO_POLYGON_SET_H
#define BRELVIX_TOOLS_LWO_POLYGON_SET_H

#include "tools/lwo/object.h"

#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace brelvix::lwo {

struct PolygonSet {
    std::span<const Vec3f> points;
    std::span<const std::uint32_t> indices;
    std::vector<Polygon> polygons;
    /// The colour map's colour and coverage (0 to 1) per point; empty:
    /// no map.
    std::vector<Rgba> colours;
    std::vector<float> coverage;
    /// A polygon's own colour for one of its corners, keyed by
    /// cornerKey(polygon in this set, point).
    std::unordered_map<std::uint64_t, Rgba> cornerColours;
};

inline std::uint64_t cornerKey(std::uint32_t polygon, std::uint32_t point) {
    return (std::uint64_t{polygon} << 32) | point;
}

/// Refined points and quads of a layer's subdivision cages.
struct RefinedCage {
    std::vector<Vec3f> points;
    std::vector<std::uint32_t> indices;
    std::vector<Polygon> polygons;
    std::vector<Rgba> colours;
    std::vector<float> coverage;
};

/// The cage polygons `cage` (indices into layer.polygons) refined `level`
/// times, Catmull-Clark, each face keeping its cage face's surface, and
/// `map`'s colours (may be null) carried along. None when the cage's
/// topology cannot be refined (its faces are then drawn flat).
std::optional<RefinedCage> subdivide(const Layer &layer, const std::vector<std::uint32_t> &cage,
                                     const ColourMap *map, int level);

} // namespace brelvix::lwo

#endif
