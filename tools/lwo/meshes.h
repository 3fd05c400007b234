// A layer of an object as triangles, one set per surface: flat polygons
// cut into fans, subdivision cages refined (subdivide.h), shading normals
// from each surface's smoothing angle, and the layer's vertex colours.
#ifndef BRELVIX_TOOLS_LWO_MESHES_H
#define BRELVIX_TOOLS_LWO_MESHES_H

#include "tools/lwo/object.h"

#include <array>
#include <cstdint>
#include <vector>

namespace brelvix::lwo {

/// The finest subdivision level the preview takes: each level makes four
/// faces of one.
inline constexpr int kMaxSubdivisionLevel = 5;
inline constexpr int kDefaultSubdivisionLevel = 2;

struct SurfaceMesh {
    /// Index into Object::surfaces.
    std::uint32_t surface = 0;
    std::vector<Vec3f> positions;
    /// Unit shading normals, one per position; empty where the surface
    /// is flat (no smoothing angle).
    std::vector<Vec3f> normals;
    /// The vertex colour map's colour, one per position (the surface's
    /// colour where the map gives none); empty without a map.
    std::vector<Vec3f> colours;
    /// Wound as the polygons were: clockwise seen from the front.
    std::vector<std::array<std::uint32_t, 3>> triangles;
};

/// The layer's faces and subdivision cages (refined `subdivisionLevel`
/// times, 0: the cage itself, clamped to kMaxSubdivisionLevel), one mesh
/// per surface that has triangles. Other polygon kinds are left out.
std::vector<SurfaceMesh> layerMeshes(const Object &object, const Layer &layer,
                                     int subdivisionLevel);

} // namespace brelvix::lwo

#endif
