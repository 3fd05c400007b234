// LWO2 (and LWO3): layers, points, polygons, their surface tags, vertex
// colour maps and surfaces. Every other chunk is passed over by its size.
#include "tools/lwo/readers.h"

#include <cmath>
#include <limits>
#include <map>

namespace brelvix::lwo {
namespace {

constexpr std::uint32_t kUntagged = std::numeric_limits<std::uint32_t>::max();

/// Colour maps kept per layer: each holds a colour for every point of the
/// layer, and one of them is shown; the rest are passed over.
constexpr std::size_t kMaxColourMaps = 8;

class Lwo2Reader {
  public:
    explicit Lwo2Reader(Object &object) : object_(object) {}

    void chunk(const std::string &id, Cursor &c) {
        if (id == "TAGS") {
            while (!c.done()) {
                tags_.push_back(c.name());
            }
        } else if (id == "LAYR") {
            layer(c);
        } else if (id == "PNTS") {
            points(c);
        } else if (id == "POLS") {
            polygons(c);
        } else if (id == "PTAG") {
            polygonTags(c);
        } else if (id == "VMAP" || id == "VMAD") {
            colourMap(c, id == "VMAD");
        } else if (id == "SURF") {
            surface(c, 2);
        } else if (id == "FORM" && object_.generation == Generation::lwo3) {
            // LWO3 may keep a surface in a FORM of its own, with four-byte
            // sub-chunk sizes. Its geometry does not depend on it: a surface
            // whose sub-chunks do not read so keeps the defaults.
            if (c.remaining() >= 4 && c.id4() == "SURF") {
                try {
                    surface(c, 4);
                } catch (const Fault &) {
                }
            }
        }
    }

    /// The surfaces, one per tag, and "Default" for untagged polygons.
    void finish() { nameSurfaces(object_, tags_, surfaces_); }

  private:
    Layer &current() {
        if (object_.layers.empty()) {
            object_.layers.emplace_back(); // data before any LAYR: layer 0
        }
        return object_.layers.back();
    }

    void layer(Cursor &c) {
        Layer layer;
        layer.number = c.u2();
        c.u2(); // flags
        layer.pivot.x = c.f4();
        layer.pivot.y = c.f4();
        layer.pivot.z = c.f4();
        layer.name = c.name();
        if (c.remaining() >= 2) {
            const int parent = c.i2();
            if (parent >= 0) {
                layer.parent = parent;
            }
        }
        object_.layers.push_back(std::move(layer));
        lastPolygons_ = {0, 0};
    }

    void points(Cursor &c) {
        if (c.remaining() % 12 != 0) {
            c.fail(std::to_string(c.remaining()) + " bytes are not whole points of 12");
        }
        std::vector<Vec3f> &points = current().points;
        points.reserve(points.size() + c.remaining() / 12);
        while (!c.done()) {
            const float x = c.f4();
            const float y = c.f4();
            const float z = c.f4();
            if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
                c.fail("point " + std::to_string(points.size()) + " is not a finite position");
            }
            points.push_back({x, y, z});
        }
    }

    void polygons(Cursor &c) {
        const std::string type = c.id4();
        const PolygonKind kind = type == "FACE"                     ? PolygonKind::face
                                 : type == "PTCH" || type == "SUBD" ? PolygonKind::subdivision
                                                                    : PolygonKind::other;
        Layer &layer = current();
        const std::size_t first = layer.polygons.size();
        const std::size_t pointCount = layer.points.size();
        layer.polygons.reserve(first + c.remaining() / 8);
        if (kind != PolygonKind::other) {
            layer.indices.reserve(layer.indices.size() + c.remaining() / 2);
        }
        while (!c.done()) {
            const std::size_t start = c.offset();
            const std::uint32_t count = c.u2() & 0x03FFu; // the top six bits are flags
            if (std::size_t{count} * 2 > c.remaining()) {
                c.failAt(start, "a polygon of " + std::to_string(count) +
                                    " points runs past the chunk's end");
            }
            Polygon polygon{static_cast<std::uint32_t>(layer.indices.size()), 0, kUntagged, kind};
            for (std::uint32_t k = 0; k < count; ++k) {
                const std::size_t at = c.offset();
                const std::uint32_t index = c.vx();
                if (kind == PolygonKind::other) {
                    continue;
                }
                if (index >= pointCount) {
                    failPointIndex(c, at, layer.polygons.size() - first, index, pointCount);
                }
                layer.indices.push_back(index);
            }
            polygon.count = kind == PolygonKind::other ? 0 : count;
            layer.polygons.push_back(polygon);
        }
        lastPolygons_ = {first, layer.polygons.size() - first};
    }

    /// A polygon index of PTAG or VMAD: into the layer's last POLS.
    std::size_t polygonOf(Cursor &c) {
        const std::size_t at = c.offset();
        const std::uint32_t index = c.vx();
        if (index >= lastPolygons_.second) {
            c.failAt(at, "polygon " + std::to_string(index) + " of " +
                             std::to_string(lastPolygons_.second) + " in the last POLS");
        }
        return lastPolygons_.first + index;
    }

    void polygonTags(Cursor &c) {
        if (c.id4() != "SURF") {
            return; // part names, smoothing groups and others
        }
        Layer &layer = current();
        while (!c.done()) {
            const std::size_t polygon = polygonOf(c);
            const std::size_t at = c.offset();
            const std::uint16_t tag = c.u2();
            if (tag >= tags_.size()) {
                c.failAt(at, "tag " + std::to_string(tag) + " of " + std::to_string(tags_.size()));
            }
            layer.polygons[polygon].surface = tag;
        }
    }

    void colourMap(Cursor &c, bool discontinuous) {
        const std::string type = c.id4();
        const std::uint16_t dimension = c.u2();
        const std::string name = c.name();
        if ((type != "RGB " && type != "RGBA") || dimension < 3) {
            return;
        }
        Layer &layer = current();
        ColourMap *map = nullptr;
        for (ColourMap &each : layer.colourMaps) {
            map = each.name == name ? &each : map;
        }
        if (!map) {
            if (layer.colourMaps.size() >= kMaxColourMaps) {
                return;
            }
            map = &layer.colourMaps.emplace_back();
            map->name = name;
            map->points.assign(layer.points.size(), Rgba{});
            map->covered.assign(layer.points.size(), 0);
        }
        while (!c.done()) {
            const std::size_t at = c.offset();
            const std::uint32_t point = c.vx();
            if (point >= map->points.size()) {
                c.failAt(at, "point " + std::to_string(point) + " of " +
                                 std::to_string(map->points.size()));
            }
            const std::size_t polygon = discontinuous ? polygonOf(c) : 0;
            Rgba colour;
            colour.r = c.f4();
            colour.g = c.f4();
            colour.b = c.f4();
            if (dimension >= 4) {
                colour.a = c.f4();
            }
            c.skip(std::size_t{dimension > 4 ? dimension - 4u : 0u} * 4);
            if (discontinuous) {
                map->corners.push_back({static_cast<std::uint32_t>(polygon), point, colour});
            } else {
                map->points[point] = colour;
                map->covered[point] = 1;
            }
        }
    }

    void surface(Cursor &c, int sizeBytes) {
        const std::string name = c.name();
        const std::string source = c.name();
        // A surface made from another starts as a copy of it.
        const auto found = surfaces_.find(source);
        Surface surface = source.empty() || found == surfaces_.end() ? Surface{} : found->second;
        surface.name = name;
        std::uint16_t flags = 0;
        forEachChunk(c, sizeBytes, [&](const std::string &id, Cursor &data) {
            readSurfaceAttribute(id, data, object_.generation, surface, flags);
        });
        surfaces_[name] = std::move(surface);
    }

    Object &object_;
    std::vector<std::string> tags_;
    std::map<std::string, Surface> surfaces_;
    /// The layer's last POLS: its first polygon and how many.
    std::pair<std::size_t, std::size_t> lastPolygons_{0, 0};
};

} // namespace

void readLwo2(Cursor &body, Object &object) {
    Lwo2Reader reader(object);
    forEachChunk(body, 4, [&](const std::string &id, Cursor &c) { reader.chunk(id, c); });
    reader.finish();
}

} // namespace brelvix::lwo
