#include "tools/lwo/meshes.h"

#include "tools/lwo/polygon_set.h"

#include <algorithm>
#include <cmath>

namespace brelvix::lwo {
namespace {

Vec3f operator+(Vec3f a, Vec3f b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3f operator*(Vec3f a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float dot(Vec3f a, Vec3f b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
float length(Vec3f a) { return std::sqrt(dot(a, a)); }

/// The polygon's normal, its length twice the area (Newell's sum), toward
/// the side its points wind clockwise around, in the host's left-handed
/// axes: the front.
Vec3f areaNormal(const PolygonSet &set, const Polygon &polygon) {
    Vec3f sum;
    for (std::uint32_t k = 0; k < polygon.count; ++k) {
        const Vec3f &a = set.points[set.indices[polygon.firstIndex + k]];
        const Vec3f &b = set.points[set.indices[polygon.firstIndex + (k + 1) % polygon.count]];
        sum.x += (a.y - b.y) * (a.z + b.z);
        sum.y += (a.z - b.z) * (a.x + b.x);
        sum.z += (a.x - b.x) * (a.y + b.y);
    }
    return sum;
}

/// Which polygons use each point: `first[point]` to `first[point + 1]` in
/// `polygons`.
struct PointPolygons {
    std::vector<std::uint32_t> first;
    std::vector<std::uint32_t> polygons;
};

PointPolygons pointPolygons(const PolygonSet &set) {
    PointPolygons links;
    links.first.assign(set.points.size() + 1, 0);
    for (const Polygon &polygon : set.polygons) {
        for (std::uint32_t k = 0; k < polygon.count; ++k) {
            ++links.first[set.indices[polygon.firstIndex + k] + 1];
        }
    }
    for (std::size_t i = 1; i < links.first.size(); ++i) {
        links.first[i] += links.first[i - 1];
    }
    links.polygons.resize(links.first.back());
    std::vector<std::uint32_t> next(links.first.begin(), links.first.end() - 1);
    for (std::uint32_t p = 0; p < set.polygons.size(); ++p) {
        const Polygon &polygon = set.polygons[p];
        for (std::uint32_t k = 0; k < polygon.count; ++k) {
            links.polygons[next[set.indices[polygon.firstIndex + k]]++] = p;
        }
    }
    return links;
}

/// The triangles of one surface's polygons in a set: corners that share a
/// point, a normal and a colour share a vertex.
class SurfaceBuilder {
  public:
    SurfaceBuilder(const PolygonSet &set, const Surface &surface, std::uint32_t index,
                   const std::vector<Vec3f> &normals, const PointPolygons *links,
                   std::vector<std::int32_t> &heads)
        : set_(set), surface_(surface), normals_(normals), links_(links), heads_(heads),
          cosine_(std::cos(surface.smoothingAngle) - 1e-6f) {
        mesh_.surface = index;
    }

    void add(std::uint32_t p) {
        const Polygon &polygon = set_.polygons[p];
        const float area = length(normals_[p]);
        if (polygon.count < 3 || !(area > 0.0f)) {
            return; // nothing to see
        }
        const Vec3f unit = normals_[p] * (1.0f / area);
        corners_.clear();
        for (std::uint32_t k = 0; k < polygon.count; ++k) {
            corners_.push_back(vertex(p, set_.indices[polygon.firstIndex + k], unit));
        }
        for (std::size_t k = 1; k + 1 < corners_.size(); ++k) {
            mesh_.triangles.push_back({corners_[0], corners_[k], corners_[k + 1]});
        }
    }

    SurfaceMesh take() {
        for (const std::uint32_t point : touched_) {
            heads_[point] = -1;
        }
        return std::move(mesh_);
    }

  private:
    Vec3f smoothNormal(std::uint32_t point, Vec3f unit) const {
        Vec3f sum;
        for (std::uint32_t i = links_->first[point]; i < links_->first[point + 1]; ++i) {
            const std::uint32_t q = links_->polygons[i];
            const Vec3f n = normals_[q];
            const float size = length(n);
            if (set_.polygons[q].surface == mesh_.surface && size > 0.0f &&
                dot(n, unit) >= cosine_ * size) {
                sum = sum + n;
            }
        }
        const float size = length(sum);
        return size > 0.0f ? sum * (1.0f / size) : unit;
    }

    Vec3f colour(std::uint32_t p, std::uint32_t point) const {
        if (!set_.cornerColours.empty()) {
            if (const auto found = set_.cornerColours.find(cornerKey(p, point));
                found != set_.cornerColours.end()) {
                return {found->second.r, found->second.g, found->second.b};
            }
        }
        if (set_.coverage[point] > 0.5f) {
            const Rgba &c = set_.colours[point];
            return {c.r, c.g, c.b};
        }
        return surface_.colour;
    }

    std::uint32_t vertex(std::uint32_t p, std::uint32_t point, Vec3f unit) {
        const bool smooth = links_ != nullptr;
        const bool coloured = !set_.colours.empty();
        const Vec3f normal = smooth ? smoothNormal(point, unit) : Vec3f{};
        const Vec3f shade = coloured ? colour(p, point) : Vec3f{};
        std::int32_t &head = heads_[point];
        if (head < 0) {
            touched_.push_back(point);
        }
        for (std::int32_t v = head; v >= 0; v = next_[static_cast<std::size_t>(v)]) {
            const auto at = static_cast<std::size_t>(v);
            if ((!smooth || same(mesh_.normals[at], normal)) &&
                (!coloured || same(mesh_.colours[at], shade))) {
                return static_cast<std::uint32_t>(v);
            }
        }
        const auto index = static_cast<std::int32_t>(mesh_.positions.size());
        mesh_.positions.push_back(set_.points[point]);
        if (smooth) {
            mesh_.normals.push_back(normal);
        }
        if (coloured) {
            mesh_.colours.push_back(shade);
        }
        next_.push_back(head);
        head = index;
        return static_cast<std::uint32_t>(index);
    }

    static bool same(Vec3f a, Vec3f b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

    const PolygonSet &set_;
    const Surface &surface_;
    const std::vector<Vec3f> &normals_;
    const PointPolygons *links_;
    std::vector<std::int32_t> &heads_;
    const float cosine_;
    SurfaceMesh mesh_;
    std::vector<std::int32_t> next_;
    std::vector<std::uint32_t> touched_;
    std::vector<std::uint32_t> corners_;
};

/// Cuts a set into one mesh per surface, appended to `meshes`.
void meshSet(const Object &object, const PolygonSet &set, std::vector<SurfaceMesh> &meshes) {
    std::vector<Vec3f> normals;
    normals.reserve(set.polygons.size());
    bool smoothing = false;
    // The polygons in order of surface (in file order within one), so that
    // the work is the polygons', whatever the number of surfaces.
    std::vector<std::uint32_t> order(set.polygons.size());
    for (std::uint32_t p = 0; p < set.polygons.size(); ++p) {
        normals.push_back(areaNormal(set, set.polygons[p]));
        order[p] = p;
        smoothing = smoothing || object.surfaces[set.polygons[p].surface].smoothingAngle > 0.0f;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return set.polygons[a].surface < set.polygons[b].surface;
    });
    const PointPolygons links = smoothing ? pointPolygons(set) : PointPolygons{};
    std::vector<std::int32_t> heads(set.points.size(), -1);
    for (std::size_t run = 0; run < order.size();) {
        const std::uint32_t s = set.polygons[order[run]].surface;
        const Surface &surface = object.surfaces[s];
        SurfaceBuilder builder(set, surface, s, normals,
                               surface.smoothingAngle > 0.0f ? &links : nullptr, heads);
        for (; run < order.size() && set.polygons[order[run]].surface == s; ++run) {
            builder.add(order[run]);
        }
        SurfaceMesh mesh = builder.take();
        if (!mesh.triangles.empty()) {
            meshes.push_back(std::move(mesh));
        }
    }
}

/// The map the layer's surfaces show: the first one a surface of its
/// polygons names, else the layer's first.
const ColourMap *shownMap(const Object &object, const Layer &layer) {
    if (layer.colourMaps.empty()) {
        return nullptr;
    }
    std::uint32_t last = UINT32_MAX; // the surface just looked at
    for (const Polygon &polygon : layer.polygons) {
        if (polygon.surface == last || polygon.surface >= object.surfaces.size()) {
            continue;
        }
        const std::string &named = object.surfaces[polygon.surface].colourMap;
        if (named.empty()) {
            continue;
        }
        last = polygon.surface;
        for (const ColourMap &map : layer.colourMaps) {
            if (map.name == named) {
                return &map;
            }
        }
    }
    return &layer.colourMaps.front();
}

} // namespace

std::vector<SurfaceMesh> layerMeshes(const Object &object, const Layer &layer,
                                     int subdivisionLevel) {
    if (layer.polygons.empty()) {
        return {};
    }
    const int level = std::clamp(subdivisionLevel, 0, kMaxSubdivisionLevel);
    const ColourMap *const map = shownMap(object, layer);
    PolygonSet faces;
    faces.points = layer.points;
    faces.indices = layer.indices;
    std::vector<std::uint32_t> cage;
    std::vector<std::uint32_t> faceOrigin;
    for (std::uint32_t p = 0; p < layer.polygons.size(); ++p) {
        const Polygon &polygon = layer.polygons[p];
        if (polygon.kind == PolygonKind::subdivision && level > 0) {
            cage.push_back(p);
        } else if (polygon.kind != PolygonKind::other && polygon.surface < object.surfaces.size()) {
            faceOrigin.push_back(p);
            faces.polygons.push_back(polygon);
        }
    }
    std::optional<RefinedCage> refined;
    if (!cage.empty() && !(refined = subdivide(layer, cage, map, level))) {
        for (const std::uint32_t p : cage) { // drawn as its cage
            faceOrigin.push_back(p);
            faces.polygons.push_back(layer.polygons[p]);
        }
    }
    if (map) {
        faces.colours = map->points;
        faces.coverage.assign(map->covered.begin(), map->covered.end());
        std::unordered_map<std::uint32_t, std::uint32_t> position; // layer's polygon -> set's
        for (std::uint32_t i = 0; i < faceOrigin.size(); ++i) {
            position.emplace(faceOrigin[i], i);
        }
        for (const CornerColour &corner : map->corners) {
            if (const auto found = position.find(corner.polygon); found != position.end()) {
                faces.cornerColours[cornerKey(found->second, corner.point)] = corner.colour;
            }
        }
    }
    std::vector<SurfaceMesh> meshes;
    meshSet(object, faces, meshes);
    if (refined) {
        PolygonSet set{refined->points,
                       refined->indices,
                       std::move(refined->polygons),
                       std::move(refined->colours),
                       std::move(refined->coverage),
                       {}};
        meshSet(object, set, meshes);
    }
    return meshes;
}

} // namespace brelvix::lwo
