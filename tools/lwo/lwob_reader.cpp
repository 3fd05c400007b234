// LWOB: one layer of points, the surface names (SRFS), polygons that name
// their surface by number and may carry detail polygons, patches (PCHS)
// and the surfaces. Curves (CRVS) and every other chunk are passed over.
#include "tools/lwo/readers.h"

#include <cmath>
#include <map>

namespace brelvix::lwo {
namespace {

/// Detail polygons of detail polygons: deeper than any file the host
/// writes, and bounded so that a file cannot recurse without end.
constexpr int kMaxDetailDepth = 8;

/// What a flagged smoothing surface without SMAN smooths across: the
/// host's default, 89.5 degrees.
constexpr float kDefaultSmoothing = static_cast<float>(89.5 * 3.14159265358979323846 / 180.0);

class LwobReader {
  public:
    explicit LwobReader(Object &object) : object_(object) { object_.layers.emplace_back(); }

    void chunk(const std::string &id, Cursor &c) {
        if (id == "PNTS") {
            points(c);
        } else if (id == "SRFS") {
            while (!c.done()) {
                names_.push_back(c.name());
            }
        } else if (id == "POLS" || id == "PCHS") {
            const PolygonKind kind = id == "POLS" ? PolygonKind::face : PolygonKind::subdivision;
            Layer &layer = object_.layers.front();
            layer.polygons.reserve(layer.polygons.size() + c.remaining() / 10);
            layer.indices.reserve(layer.indices.size() + c.remaining() / 2);
            while (!c.done()) {
                polygon(c, kind, 0);
            }
        } else if (id == "SURF") {
            surface(c);
        }
    }

    /// The surfaces by SRFS's names, and "Default" for polygons that name
    /// none of them.
    void finish() { nameSurfaces(object_, names_, surfaces_); }

  private:
    void points(Cursor &c) {
        if (c.remaining() % 12 != 0) {
            c.fail(std::to_string(c.remaining()) + " bytes are not whole points of 12");
        }
        std::vector<Vec3f> &points = object_.layers.front().points;
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

    /// One polygon: its point count, points, surface number (from 1); a
    /// negative number means the same surface, then detail polygons.
    void polygon(Cursor &c, PolygonKind kind, int depth) {
        Layer &layer = object_.layers.front();
        const std::size_t start = c.offset();
        const std::uint16_t count = c.u2();
        if (std::size_t{count} * 2 + 2 > c.remaining()) {
            c.failAt(start,
                     "a polygon of " + std::to_string(count) + " points runs past the chunk's end");
        }
        Polygon polygon{static_cast<std::uint32_t>(layer.indices.size()), count, 0, kind};
        for (std::uint16_t k = 0; k < count; ++k) {
            const std::size_t at = c.offset();
            const std::uint16_t index = c.u2();
            if (index >= layer.points.size()) {
                failPointIndex(c, at, layer.polygons.size(), index, layer.points.size());
            }
            layer.indices.push_back(index);
        }
        const int surface = c.i2();
        // Surface numbers start at 1; 0 names none (the default surface).
        polygon.surface =
            surface == 0 ? UINT32_MAX : static_cast<std::uint32_t>(std::abs(surface) - 1);
        layer.polygons.push_back(polygon);
        if (surface < 0) {
            if (depth >= kMaxDetailDepth) {
                c.fail("detail polygons nested deeper than " + std::to_string(kMaxDetailDepth));
            }
            const std::size_t at = c.offset();
            const std::uint16_t details = c.u2();
            // Each at least a point count and a surface number.
            if (std::size_t{details} * 4 > c.remaining()) {
                c.failAt(at, std::to_string(details) + " detail polygons run past the chunk's end");
            }
            for (std::uint16_t d = 0; d < details; ++d) {
                this->polygon(c, kind, depth + 1);
            }
        }
    }

    void surface(Cursor &c) {
        Surface surface;
        surface.name = c.name();
        std::uint16_t flags = 0;
        bool angleGiven = false;
        forEachChunk(c, 2, [&](const std::string &id, Cursor &data) {
            angleGiven = angleGiven || id == "SMAN";
            readSurfaceAttribute(id, data, Generation::lwob, surface, flags);
        });
        // FLAG: 4 smoothing, 256 double-sided.
        if ((flags & 4) == 0) {
            surface.smoothingAngle = 0.0f;
        } else if (!angleGiven) {
            surface.smoothingAngle = kDefaultSmoothing;
        }
        surface.doubleSided = (flags & 256) != 0;
        const std::string name = surface.name;
        surfaces_[name] = std::move(surface);
    }

    Object &object_;
    std::vector<std::string> names_;
    std::map<std::string, Surface> surfaces_;
};

} // namespace

void readLwob(Cursor &body, Object &object) {
    LwobReader reader(object);
    forEachChunk(body, 4, [&](const std::string &id, Cursor &c) { reader.chunk(id, c); });
    reader.finish();
}

} // namespace brelvix::lwo
