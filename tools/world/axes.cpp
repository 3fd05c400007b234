#include "tools/world/axes.h"

#include <assimp/postprocess.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

namespace brelvix::world {
namespace {

/// A vector in a camera's or light's own space, given as Assimp's
/// right-handed numbers, mirrored into the host's handedness.
aiVector3D mirrored(const aiVector3D &v) { return {v.x, v.y, -v.z}; }

Vec3 toVec3(const aiVector3D &v) { return {v.x, v.y, v.z}; }

Vec3 hostDirection(const aiMatrix4x4 &worldFromNode, const aiVector3D &direction) {
    return toVec3(aiMatrix3x3(worldFromNode) * mirrored(direction));
}

} // namespace

SourceFormat sourceFormat(const std::string &path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".gltf" || extension == ".glb" ? SourceFormat::Gltf : SourceFormat::Other;
}

unsigned int importSteps() {
    return aiProcess_ValidateDataStructure | aiProcess_Triangulate | aiProcess_SortByPType |
           aiProcess_MakeLeftHanded | aiProcess_FlipWindingOrder;
}

Vec3 hostPoint(const aiMatrix4x4 &worldFromNode, const aiVector3D &point) {
    return toVec3(worldFromNode * point);
}

Camera hostCamera(const aiCamera &camera, const aiMatrix4x4 &worldFromNode, SourceFormat format) {
    Camera placed;
    placed.name = camera.mName.C_Str();
    // Position: the glTF reader copies the node's translation into the
    // camera, which the node's transform then adds again.
    const aiVector3D local = format == SourceFormat::Gltf ? aiVector3D() : camera.mPosition;
    placed.position = toVec3(worldFromNode * mirrored(local));
    // Axes: forward from the look-at vector, up made orthogonal to it.
    placed.forward = normalize(hostDirection(worldFromNode, camera.mLookAt));
    const Vec3 up = hostDirection(worldFromNode, camera.mUp);
    placed.right = normalize(cross(up, placed.forward));
    placed.up = cross(placed.forward, placed.right);
    // Field of view: Assimp's is horizontal, full angle; glTF's vertical
    // one was multiplied by the aspect instead of converted.
    placed.aspect = camera.mAspect > 0.0f ? camera.mAspect : 0.0;
    const double horizontal = camera.mHorizontalFOV;
    if (horizontal <= 0.0) {
        placed.verticalFov = 0.0;
    } else if (format == SourceFormat::Gltf) {
        placed.verticalFov = horizontal / (placed.aspect > 0.0 ? placed.aspect : 1.0);
    } else {
        placed.verticalFov = 2.0 * std::atan(std::tan(0.5 * horizontal) /
                                             (placed.aspect > 0.0 ? placed.aspect : 1.0));
    }
    return placed;
}

Light hostLight(const aiLight &light, const aiMatrix4x4 &worldFromNode) {
    Light placed;
    placed.name = light.mName.C_Str();
    switch (light.mType) {
    case aiLightSource_DIRECTIONAL:
        placed.kind = Light::Kind::Directional;
        break;
    case aiLightSource_SPOT:
        placed.kind = Light::Kind::Spot;
        break;
    case aiLightSource_AMBIENT:
        placed.kind = Light::Kind::Ambient;
        break;
    case aiLightSource_AREA:
        placed.kind = Light::Kind::Area;
        break;
    default:
        placed.kind = Light::Kind::Point;
        break;
    }
    placed.position = toVec3(worldFromNode * mirrored(light.mPosition));
    const Vec3 direction = hostDirection(worldFromNode, light.mDirection);
    if (length(direction) > 0.0) {
        placed.direction = normalize(direction);
    }
    placed.colour = {light.mColorDiffuse.r, light.mColorDiffuse.g, light.mColorDiffuse.b};
    return placed;
}

} // namespace brelvix::world
