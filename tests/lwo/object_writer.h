// Small LightWave objects written byte by byte as the host writes them, in
// both generations (LWOB and LWO2) from one description, for the tests,
// the fuzz target's seeds and the benchmark.
#ifndef BRELVIX_TESTS_LWO_OBJECT_WRITER_H
#define BRELVIX_TESTS_LWO_OBJECT_WRITER_H

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace brelvix::lwo::test {

struct Point {
    float x, y, z;
};

struct TestSurface {
    std::string name;
    std::uint8_t red = 200, green = 200, blue = 200;
    float diffuse = 1.0f;
    float luminosity = 0.0f;
    /// Degrees; 0: flat.
    float smoothing = 0.0f;
    bool doubleSided = false;
};

struct TestPolygon {
    std::vector<std::uint16_t> points;
    /// Index into TestObject::surfaces.
    int surface = 0;
    /// Drawn over this one: LWOB nests them, LWO2 lists them after it.
    std::vector<TestPolygon> details;
};

struct TestObject {
    std::vector<Point> points;
    std::vector<TestPolygon> polygons;
    std::vector<TestSurface> surfaces;
    /// Polygons written as a subdivision cage (PTCH; LWOB's PCHS).
    bool patches = false;
};

/// Bytes in the files' big-endian order.
class Bytes {
  public:
    Bytes &u1(std::uint8_t v) { return raw(std::string(1, static_cast<char>(v))); }
    Bytes &u2(std::uint16_t v) { return u1(static_cast<std::uint8_t>(v >> 8)).u1(v & 0xFF); }
    Bytes &u4(std::uint32_t v) { return u2(static_cast<std::uint16_t>(v >> 16)).u2(v & 0xFFFF); }
    Bytes &f4(float v) {
        std::uint32_t raw;
        std::memcpy(&raw, &v, sizeof raw);
        return u4(raw);
    }
    Bytes &name(const std::string &s) {
        raw(s).u1(0);
        return s.size() % 2 == 0 ? u1(0) : *this;
    }
    Bytes &raw(const std::string &s) {
        text += s;
        return *this;
    }
    /// ID, a size of `sizeBytes`, the data, a pad byte after odd data.
    Bytes &chunk(const std::string &id, const Bytes &data, int sizeBytes = 4) {
        raw(id);
        sizeBytes == 4 ? u4(static_cast<std::uint32_t>(data.text.size()))
                       : u2(static_cast<std::uint16_t>(data.text.size()));
        raw(data.text);
        return data.text.size() % 2 != 0 ? u1(0) : *this;
    }
    std::string text;
};

inline std::string form(const std::string &type, const Bytes &body) {
    Bytes file;
    file.raw("FORM").u4(static_cast<std::uint32_t>(body.text.size() + 4)).raw(type).raw(body.text);
    return file.text;
}

inline Bytes pointsChunk(const TestObject &object) {
    Bytes points;
    for (const Point &p : object.points) {
        points.f4(p.x).f4(p.y).f4(p.z);
    }
    return points;
}

/// The polygons in LWO2's order: each followed by its details.
inline void flatten(const std::vector<TestPolygon> &polygons, std::vector<TestPolygon> &out) {
    for (const TestPolygon &polygon : polygons) {
        out.push_back(polygon);
        flatten(polygon.details, out);
    }
}

inline std::string lwo2(const TestObject &object) {
    Bytes tags, layer, polygons, polygonTags, body;
    for (const TestSurface &surface : object.surfaces) {
        tags.name(surface.name);
    }
    layer.u2(0).u2(0).f4(0).f4(0).f4(0).name("");
    std::vector<TestPolygon> flat;
    flatten(object.polygons, flat);
    polygons.raw(object.patches ? "PTCH" : "FACE");
    polygonTags.raw("SURF");
    for (std::size_t i = 0; i < flat.size(); ++i) {
        polygons.u2(static_cast<std::uint16_t>(flat[i].points.size()));
        for (const std::uint16_t point : flat[i].points) {
            polygons.u2(point);
        }
        polygonTags.u2(static_cast<std::uint16_t>(i))
            .u2(static_cast<std::uint16_t>(flat[i].surface));
    }
    body.chunk("TAGS", tags).chunk("LAYR", layer).chunk("PNTS", pointsChunk(object));
    body.chunk("POLS", polygons).chunk("PTAG", polygonTags);
    for (const TestSurface &surface : object.surfaces) {
        Bytes surf, colour, diffuse, luminosity, smoothing, sides;
        colour.f4(surface.red / 255.0f).f4(surface.green / 255.0f).f4(surface.blue / 255.0f).u2(0);
        diffuse.f4(surface.diffuse).u2(0);
        luminosity.f4(surface.luminosity).u2(0);
        smoothing.f4(static_cast<float>(surface.smoothing * 3.14159265358979323846 / 180.0));
        sides.u2(surface.doubleSided ? 3 : 1);
        surf.name(surface.name).name("");
        surf.chunk("COLR", colour, 2).chunk("DIFF", diffuse, 2).chunk("LUMI", luminosity, 2);
        surf.chunk("SMAN", smoothing, 2).chunk("SIDE", sides, 2);
        body.chunk("SURF", surf);
    }
    return form("LWO2", body);
}

/// One LWOB polygon: a negative surface number says details follow.
inline void lwobPolygon(const TestPolygon &polygon, Bytes &out) {
    out.u2(static_cast<std::uint16_t>(polygon.points.size()));
    for (const std::uint16_t point : polygon.points) {
        out.u2(point);
    }
    const auto number = static_cast<std::int16_t>(polygon.surface + 1);
    if (polygon.details.empty()) {
        out.u2(static_cast<std::uint16_t>(number));
        return;
    }
    out.u2(static_cast<std::uint16_t>(-number))
        .u2(static_cast<std::uint16_t>(polygon.details.size()));
    for (const TestPolygon &detail : polygon.details) {
        lwobPolygon(detail, out);
    }
}

inline std::string lwob(const TestObject &object) {
    Bytes names, polygons, body;
    for (const TestSurface &surface : object.surfaces) {
        names.name(surface.name);
    }
    for (const TestPolygon &polygon : object.polygons) {
        lwobPolygon(polygon, polygons);
    }
    body.chunk("PNTS", pointsChunk(object)).chunk("SRFS", names);
    body.chunk(object.patches ? "PCHS" : "POLS", polygons);
    for (const TestSurface &surface : object.surfaces) {
        Bytes surf, colour, flags, diffuse, luminosity, smoothing;
        colour.u1(surface.red).u1(surface.green).u1(surface.blue).u1(0);
        flags.u2(static_cast<std::uint16_t>((surface.smoothing > 0.0f ? 4 : 0) |
                                            (surface.doubleSided ? 256 : 0)));
        diffuse.f4(surface.diffuse);
        luminosity.f4(surface.luminosity);
        smoothing.f4(static_cast<float>(surface.smoothing * 3.14159265358979323846 / 180.0));
        surf.name(surface.name);
        surf.chunk("COLR", colour, 2).chunk("FLAG", flags, 2).chunk("VDIF", diffuse, 2);
        surf.chunk("VLUM", luminosity, 2).chunk("SMAN", smoothing, 2);
        body.chunk("SURF", surf);
    }
    return form("LWOB", body);
}

/// A faceted box of two surfaces, with a detail polygon on its front, and
/// a smoothed eight-sided column beside it, standing on y = 0.
inline TestObject sampleObject() {
    TestObject object;
    object.surfaces = {{"Red", 200, 40, 30, 0.9f, 0.0f, 0.0f, false},
                       {"Blue", 40, 60, 220, 0.8f, 0.0f, 0.0f, true},
                       {"Gold", 230, 180, 40, 1.0f, 0.0f, 60.0f, false}};
    // The box: x -1.5..-0.5, y 0..1, z -0.5..0.5.
    const float x0 = -1.5f, x1 = -0.5f, z0 = -0.5f, z1 = 0.5f;
    object.points = {{x0, 0, z0}, {x1, 0, z0}, {x1, 1, z0}, {x0, 1, z0},
                     {x0, 0, z1}, {x1, 0, z1}, {x1, 1, z1}, {x0, 1, z1}};
    // Clockwise seen from outside.
    TestPolygon front{{0, 3, 2, 1}, 0, {}};
    const auto detail = static_cast<std::uint16_t>(object.points.size());
    object.points.push_back({-1.2f, 0.3f, z0 - 0.001f});
    object.points.push_back({-1.0f, 0.7f, z0 - 0.001f});
    object.points.push_back({-0.8f, 0.3f, z0 - 0.001f});
    front.details.push_back(
        {{detail, static_cast<std::uint16_t>(detail + 1), static_cast<std::uint16_t>(detail + 2)},
         1,
         {}});
    object.polygons = {front,
                       {{5, 6, 7, 4}, 0, {}},
                       {{4, 7, 3, 0}, 1, {}},
                       {{1, 2, 6, 5}, 1, {}},
                       {{3, 7, 6, 2}, 0, {}},
                       {{4, 0, 1, 5}, 1, {}}};
    // The column: eight sides about (1, y, 0), radius 0.5, height 1.5.
    const auto base = static_cast<std::uint16_t>(object.points.size());
    for (int i = 0; i < 8; ++i) {
        const float angle = static_cast<float>(i) * 3.14159265f / 4.0f;
        const float x = 1.0f + 0.5f * std::cos(angle);
        const float z = 0.5f * std::sin(angle);
        object.points.push_back({x, 0.0f, z});
        object.points.push_back({x, 1.5f, z});
    }
    TestPolygon top{{}, 2, {}};
    for (int i = 0; i < 8; ++i) {
        const auto b = static_cast<std::uint16_t>(base + 2 * i);
        const auto n = static_cast<std::uint16_t>(base + 2 * ((i + 1) % 8));
        object.polygons.push_back(
            {{b, static_cast<std::uint16_t>(b + 1), static_cast<std::uint16_t>(n + 1), n}, 2, {}});
        top.points.insert(top.points.begin(), static_cast<std::uint16_t>(b + 1));
    }
    object.polygons.push_back(top);
    return object;
}

} // namespace brelvix::lwo::test

#endif
