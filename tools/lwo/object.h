// A LightWave object file (.lwo) as plain records: its layers' points and
// polygons, and the surfaces the polygons name. Both generations are read
// here: LWOB (LightWave 5 and before) and LWO2 (6 and later, with the LWO3
// form of later versions), each into the same records.
//
// Numbers are the file's own, in the host's axes (left-handed, +y up,
// +z forward); polygons keep the file's winding, clockwise seen from the
// front. A layer's pivot does not move its points.
#ifndef BRELVIX_TOOLS_LWO_OBJECT_H
#define BRELVIX_TOOLS_LWO_OBJECT_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brelvix::lwo {

struct Vec3f {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

struct Rgba {
    float r = 1.0f;
    float g = 1.0f;
    float b = 1.0f;
    float a = 1.0f;
};

enum class Generation { lwob, lwo2, lwo3 };

enum class PolygonKind : std::uint8_t {
    face,        // a flat polygon
    subdivision, // a subdivision cage's face (PTCH, SUBD; LWOB's PCHS)
    other,       // curves, bones, metaballs and the rest: not drawn
};

/// One polygon: `count` point indices from `firstIndex` in Layer::indices.
struct Polygon {
    std::uint32_t firstIndex = 0;
    std::uint32_t count = 0;
    /// Index into Object::surfaces.
    std::uint32_t surface = 0;
    PolygonKind kind = PolygonKind::face;
};

/// A colour a polygon gives one of its corners, over the point's own.
struct CornerColour {
    std::uint32_t polygon = 0;
    std::uint32_t point = 0;
    Rgba colour;
};

/// A vertex colour map (VMAP and VMAD of type RGB or RGBA).
struct ColourMap {
    std::string name;
    /// Per point of the layer; `covered` says which the map gives.
    std::vector<Rgba> points;
    std::vector<std::uint8_t> covered;
    std::vector<CornerColour> corners;
};

struct Layer {
    int number = 0;
    std::string name;
    Vec3f pivot;
    /// The parent layer's number, when it has one.
    std::optional<int> parent;
    std::vector<Vec3f> points;
    std::vector<std::uint32_t> indices;
    std::vector<Polygon> polygons;
    std::vector<ColourMap> colourMaps;
};

struct Surface {
    std::string name;
    /// Base colour; the host's default surface is 200, 200, 200 of 255.
    Vec3f colour{200.0f / 255.0f, 200.0f / 255.0f, 200.0f / 255.0f};
    float diffuse = 1.0f;
    float luminosity = 0.0f;
    /// Largest angle, in radians, between polygons shaded smoothly across
    /// their shared edge; 0: every polygon flat.
    float smoothingAngle = 0.0f;
    bool doubleSided = false;
    /// The vertex colour map the surface shows (LWO2's VCOL); empty: the
    /// layer's first, if it has one.
    std::string colourMap;
};

struct Object {
    Generation generation = Generation::lwo2;
    std::vector<Layer> layers;
    std::vector<Surface> surfaces;
};

struct ReadResult {
    std::optional<Object> object;
    /// One line: "NAME: CHUNK chunk at byte N: what is wrong".
    std::string error;
};

/// Whether `head` (a file's first 12 bytes or more) starts a LightWave
/// object this reader reads: "FORM", a size, then LWOB, LWO2 or LWO3.
bool isObject(std::string_view head);

/// Reads an object from memory; `name` (the file's path) starts the error.
ReadResult readObject(std::string_view bytes, const std::string &name);

/// Reads the file at `path`: a regular file of at most 4 GiB.
ReadResult readObjectFile(const std::string &path);

} // namespace brelvix::lwo

#endif
