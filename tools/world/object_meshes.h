// The host's own object files (LWOB, LWO2, LWO3: "FORM", a size, the type)
// read by the project's reader (tools/lwo) instead of Assimp, and turned
// into the world's meshes: one per surface of a layer, coloured by the
// surface's base colour times its diffuse level (or its vertex colours),
// with shading normals from its smoothing angle.
#ifndef BRELVIX_TOOLS_WORLD_OBJECT_MESHES_H
#define BRELVIX_TOOLS_WORLD_OBJECT_MESHES_H

#include "tools/world/world_scene.h"

#include <optional>
#include <string>
#include <vector>

namespace brelvix::world {

/// Whether the file's first bytes make it a LightWave object this reader
/// takes, whatever its name.
bool isLightWaveObject(const std::string &path);

/// The meshes of the layer the file numbers `layer` (none: every layer), in
/// the object's own space. Fails with a one-line `error` naming the file
/// (and for a damaged file the chunk and its byte offset), or for a layer
/// the file does not have or one without faces.
std::optional<std::vector<Mesh>> loadLightWaveObject(const std::string &path,
                                                     std::optional<int> layer,
                                                     const LoadOptions &options,
                                                     std::string &error);

} // namespace brelvix::world

#endif
