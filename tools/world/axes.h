// How each source's axes become the host's: the one place that knows.
//
// The host's axes are left-handed: +x right, +y up, +z forward (a camera
// with no rotation looks along +z). Assimp hands every format over in its
// own right-handed frame with +y up; the import steps below mirror z on
// everything it returns (vertices, normals, node transforms) and flip each
// triangle's winding, so that outward faces stay outward:
//
// | source              | the file's axes                 | Assimp gives   | here           |
// |---------------------|---------------------------------|----------------|----------------|
// | LightWave (.lwo)    | left-handed, +y up, +z forward  | z mirrored     | the file's own |
// | glTF, GLB           | right-handed, +y up, camera -z  | the file's own | z mirrored     |
// | OBJ, PLY, OFF       | right-handed, +y up by custom   | the file's own | z mirrored     |
// | Collada             | right-handed, its `up_axis`     | +y up, metres  | z mirrored     |
// | FBX and the rest    | right-handed as a rule          | as it reads    | z mirrored     |
//
// A camera or light is given in its node's space: its position, look-at
// and up vectors are mirrored the same way, then placed by the node. Two
// faults of the glTF reader are undone here: the camera's position repeats
// its node's translation (so it is not added twice), and its horizontal
// field of view is the file's vertical one times the aspect.
#ifndef BRELVIX_TOOLS_WORLD_AXES_H
#define BRELVIX_TOOLS_WORLD_AXES_H

#include "tools/world/world_scene.h"

#include <assimp/camera.h>
#include <assimp/light.h>
#include <assimp/matrix4x4.h>

#include <string>

namespace brelvix::world {

enum class SourceFormat { Gltf, Other };

/// The format, as far as the axes care, from the file name's extension.
SourceFormat sourceFormat(const std::string &path);

/// Assimp's post-processing steps that bring a file to the host's axes,
/// with the triangulation and checks that the loader needs.
unsigned int importSteps();

/// A position of Assimp's (after importSteps()) in the host's axes.
Vec3 hostPoint(const aiMatrix4x4 &worldFromNode, const aiVector3D &point);

/// The file's camera placed by its node; `worldFromNode` is the node's
/// accumulated transform after importSteps().
Camera hostCamera(const aiCamera &camera, const aiMatrix4x4 &worldFromNode, SourceFormat format);

/// The file's light placed by its node.
Light hostLight(const aiLight &light, const aiMatrix4x4 &worldFromNode);

} // namespace brelvix::world

#endif
