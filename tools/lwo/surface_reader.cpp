#include "tools/lwo/readers.h"

#include <cmath>
#include <utility>

namespace brelvix::lwo {
namespace {

float finiteOr(float value, float fallback) { return std::isfinite(value) ? value : fallback; }

/// LWO2's sub-chunks: FP4 fractions, COL12 colours, ANG4 radians.
void readLwo2Attribute(const std::string &id, Cursor &data, Surface &surface) {
    if (id == "COLR") {
        const float r = data.f4();
        const float g = data.f4();
        const float b = data.f4();
        surface.colour = {finiteOr(r, 0.0f), finiteOr(g, 0.0f), finiteOr(b, 0.0f)};
    } else if (id == "DIFF") {
        surface.diffuse = finiteOr(data.f4(), 1.0f);
    } else if (id == "LUMI") {
        surface.luminosity = finiteOr(data.f4(), 0.0f);
    } else if (id == "SMAN") {
        surface.smoothingAngle = finiteOr(data.f4(), 0.0f);
    } else if (id == "SIDE") {
        surface.doubleSided = (data.u2() & 3) == 3;
    } else if (id == "VCOL") {
        data.f4(); // intensity
        data.vx(); // its envelope
        data.id4();
        surface.colourMap = data.name();
    }
}

/// LWOB's: COLR as bytes, levels in 256ths (or VDIF, VLUM as fractions),
/// the smoothing angle in radians as in LWO2, switched on by a flag.
void readLwobAttribute(const std::string &id, Cursor &data, Surface &surface,
                       std::uint16_t &flags) {
    if (id == "COLR") {
        const float r = data.u1() / 255.0f;
        const float g = data.u1() / 255.0f;
        const float b = data.u1() / 255.0f;
        surface.colour = {r, g, b};
    } else if (id == "FLAG") {
        flags = data.u2();
    } else if (id == "DIFF") {
        surface.diffuse = data.u2() / 256.0f;
    } else if (id == "LUMI") {
        surface.luminosity = data.u2() / 256.0f;
    } else if (id == "VDIF") {
        surface.diffuse = finiteOr(data.f4(), 1.0f);
    } else if (id == "VLUM") {
        surface.luminosity = finiteOr(data.f4(), 0.0f);
    } else if (id == "SMAN") {
        surface.smoothingAngle = finiteOr(data.f4(), 0.0f);
    }
}

} // namespace

void readSurfaceAttribute(const std::string &id, Cursor &data, Generation generation,
                          Surface &surface, std::uint16_t &lwobFlags) {
    if (generation == Generation::lwob) {
        readLwobAttribute(id, data, surface, lwobFlags);
    } else {
        readLwo2Attribute(id, data, surface);
    }
}

void failPointIndex(const Cursor &c, std::size_t at, std::size_t polygon, std::uint32_t index,
                    std::size_t points) {
    c.failAt(at, "polygon " + std::to_string(polygon) + " names point " + std::to_string(index) +
                     " of " + std::to_string(points));
}

void nameSurfaces(Object &object, std::vector<std::string> names,
                  const std::map<std::string, Surface> &read) {
    const auto fallback = static_cast<std::uint32_t>(names.size());
    bool unnamed = false;
    for (Layer &layer : object.layers) {
        for (Polygon &polygon : layer.polygons) {
            if (polygon.surface >= fallback) {
                polygon.surface = fallback;
                unnamed = true;
            }
        }
    }
    if (unnamed) {
        names.push_back("Default");
    }
    object.surfaces.reserve(names.size());
    for (const std::string &name : names) {
        const auto found = read.find(name);
        Surface surface = found == read.end() ? Surface{} : found->second;
        surface.name = name;
        object.surfaces.push_back(std::move(surface));
    }
}

} // namespace brelvix::lwo
