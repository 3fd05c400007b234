#include "tools/world/object_meshes.h"

#include "tools/lwo/meshes.h"
#include "tools/lwo/object.h"

#include <fstream>

namespace brelvix::world {
namespace {

Point3f point(const lwo::Vec3f &v) { return {v.x, v.y, v.z}; }

Mesh worldMesh(const lwo::Object &object, const lwo::Layer &layer, lwo::SurfaceMesh &&source) {
    const lwo::Surface &surface = object.surfaces[source.surface];
    Mesh mesh;
    mesh.name = layer.name.empty() ? surface.name : layer.name + "/" + surface.name;
    const float diffuse = surface.diffuse;
    mesh.diffuse = {surface.colour.x * diffuse, surface.colour.y * diffuse,
                    surface.colour.z * diffuse};
    const float luminosity = surface.luminosity;
    mesh.glow = {surface.colour.x * luminosity, surface.colour.y * luminosity,
                 surface.colour.z * luminosity};
    mesh.positions.reserve(source.positions.size());
    for (const lwo::Vec3f &p : source.positions) {
        mesh.positions.push_back(point(p));
    }
    mesh.normals.reserve(source.normals.size());
    for (const lwo::Vec3f &n : source.normals) {
        mesh.normals.push_back(point(n));
    }
    mesh.colours.reserve(source.colours.size());
    for (const lwo::Vec3f &c : source.colours) {
        mesh.colours.push_back({c.x * diffuse, c.y * diffuse, c.z * diffuse});
    }
    mesh.triangles = std::move(source.triangles);
    return mesh;
}

std::string layerNumbers(const lwo::Object &object) {
    std::string numbers;
    for (const lwo::Layer &layer : object.layers) {
        numbers += (numbers.empty() ? "" : ", ") + std::to_string(layer.number + 1);
    }
    return numbers.empty() ? "none" : numbers;
}

} // namespace

bool isLightWaveObject(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    std::string head(12, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    return file.gcount() == 12 && lwo::isObject(head);
}

std::optional<std::vector<Mesh>> loadLightWaveObject(const std::string &path,
                                                     std::optional<int> layer,
                                                     const LoadOptions &options,
                                                     std::string &error) {
    lwo::ReadResult read = lwo::readObjectFile(path);
    if (!read.object) {
        error = read.error;
        return std::nullopt;
    }
    const lwo::Object &object = *read.object;
    std::vector<Mesh> meshes;
    bool found = false;
    for (const lwo::Layer &each : object.layers) {
        if (layer && each.number != *layer) {
            continue;
        }
        found = true;
        for (lwo::SurfaceMesh &mesh : lwo::layerMeshes(object, each, options.subdivisionLevel)) {
            meshes.push_back(worldMesh(object, each, std::move(mesh)));
        }
    }
    if (layer && !found) {
        error = path + ": has no layer " + std::to_string(*layer + 1) +
                " (its layers, counted from 1 as a scene file does: " + layerNumbers(object) + ")";
        return std::nullopt;
    }
    if (meshes.empty()) {
        error = path + (layer ? ": layer " + std::to_string(*layer + 1) + " has no faces"
                              : ": no faces to render");
        return std::nullopt;
    }
    return meshes;
}

} // namespace brelvix::world
