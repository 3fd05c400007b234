// The bytes a loaded shot travels in from the loading process to the
// renderer: a plain, native-endian sequence of numbers, texts and arrays (both
// ends are the same program on the same machine). The reading side trusts
// nothing: every count is checked against the bytes left before anything is
// allocated, every enumeration and index against its range, so that a
// damaged message gives an error and never a wild read or a huge allocation.
#ifndef BRELVIX_TOOLS_SHOT_SHOT_WIRE_H
#define BRELVIX_TOOLS_SHOT_SHOT_WIRE_H

#include "tools/lightwave/scene.h"
#include "tools/shot/byte_stream.h"
#include "tools/world/world_scene.h"

#include <cstdint>
#include <vector>

namespace brelvix::render {

/// The first byte of a written shot: which kind follows.
enum class ShotKind : std::uint8_t { still = 1, lightWave = 2 };

void writeMeshes(ByteWriter &out, const std::vector<world::Mesh> &meshes);
/// False for a damaged message or a mesh whose triangles name a vertex it
/// does not have, or whose normals or colours do not match its vertices.
bool readMeshes(ByteReader &in, std::vector<world::Mesh> &meshes);

void writeWorldScene(ByteWriter &out, const world::WorldScene &scene);
bool readWorldScene(ByteReader &in, world::WorldScene &scene);
void writeCamera(ByteWriter &out, const world::Camera &camera);
bool readCamera(ByteReader &in, world::Camera &camera);

void writeLightWaveScene(ByteWriter &out, const lightwave::Scene &scene);
bool readLightWaveScene(ByteReader &in, lightwave::Scene &scene);

} // namespace brelvix::render

#endif
