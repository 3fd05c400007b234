#include "tools/world/world_scene.h"

#include "tools/world/axes.h"
#include "tools/world/declared_size.h"
#include "tools/world/file_kind.h"
#include "tools/world/object_meshes.h"

#include <assimp/DefaultLogger.hpp>
#include <assimp/Importer.hpp>
#include <assimp/LogStream.hpp>
#include <assimp/config.h>
#include <assimp/material.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>

namespace brelvix::world {
namespace {

/// Faults Assimp reports and then carries on past: a face it drops (an
/// empty one, one with no vertices) leaves geometry missing, so the file is
/// refused. Its other errors (a material, an animation track, a chunk or a
/// layer it does not support, a polygon it cannot cut into triangles) leave
/// the faces there, and pass. Imports run on the caller's thread, so each
/// thread collects its own.
thread_local std::string importFault;

bool mentionsAFace(const char *message) {
    std::string lower(message);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.find("face") != std::string::npos;
}

class FaultStream : public Assimp::LogStream {
  public:
    void write(const char *message) override {
        if (importFault.empty() && message && mentionsAFace(message)) {
            importFault = message;
            // "Error, T0: OBJ: ..." without the level and the thread.
            const std::size_t text = importFault.find(": ");
            if (importFault.rfind("Error, T", 0) == 0 && text != std::string::npos) {
                importFault.erase(0, text + 2);
            }
            std::replace(importFault.begin(), importFault.end(), '\n', ' ');
            importFault.erase(importFault.find_last_not_of(' ') + 1);
        }
    }
};

/// Assimp's log is one for the process: made once, with only the stream
/// of errors attached.
void listenForImportFaults() {
    static const bool listening = [] {
        Assimp::DefaultLogger::create("", Assimp::Logger::NORMAL, 0);
        Assimp::DefaultLogger::get()->attachStream(new FaultStream, Assimp::Logger::Err);
        return true;
    }();
    (void)listening;
}

Point3f toPoint3f(Vec3 v) {
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

/// The material's diffuse colour (glTF's base colour when it has one).
Rgb diffuseOf(const aiMaterial &material) {
    aiColor4D colour;
    if (material.Get(AI_MATKEY_BASE_COLOR, colour) == aiReturn_SUCCESS ||
        material.Get(AI_MATKEY_COLOR_DIFFUSE, colour) == aiReturn_SUCCESS) {
        return {colour.r, colour.g, colour.b};
    }
    return Mesh{}.diffuse;
}

/// One of Assimp's meshes placed by its node: positions and normals taken
/// to the world, faces other than triangles dropped.
Mesh placedMesh(const aiScene &scene, const aiMesh &source, const aiMatrix4x4 &worldFromNode) {
    Mesh mesh;
    mesh.name = source.mName.C_Str();
    if (source.mMaterialIndex < scene.mNumMaterials) {
        mesh.diffuse = diffuseOf(*scene.mMaterials[source.mMaterialIndex]);
    }
    mesh.positions.reserve(source.mNumVertices);
    for (unsigned int i = 0; i < source.mNumVertices; ++i) {
        mesh.positions.push_back(toPoint3f(hostPoint(worldFromNode, source.mVertices[i])));
    }
    if (source.HasNormals()) {
        aiMatrix3x3 normalFromNode(worldFromNode);
        normalFromNode.Inverse().Transpose();
        mesh.normals.reserve(source.mNumVertices);
        for (unsigned int i = 0; i < source.mNumVertices; ++i) {
            const aiVector3D n = normalFromNode * source.mNormals[i];
            const double size = n.Length();
            mesh.normals.push_back(size > 0.0 ? toPoint3f(Vec3{n.x, n.y, n.z} * (1.0 / size))
                                              : Point3f{0.0f, 1.0f, 0.0f});
        }
    }
    if (source.HasVertexColors(0)) {
        mesh.colours.reserve(source.mNumVertices);
        for (unsigned int i = 0; i < source.mNumVertices; ++i) {
            const aiColor4D &c = source.mColors[0][i];
            mesh.colours.push_back({c.r, c.g, c.b});
        }
    }
    for (unsigned int f = 0; f < source.mNumFaces; ++f) {
        const aiFace &face = source.mFaces[f];
        if (face.mNumIndices == 3) {
            mesh.triangles.push_back({face.mIndices[0], face.mIndices[1], face.mIndices[2]});
        }
    }
    return mesh;
}

void placeNode(const aiScene &scene, const aiNode &node, const aiMatrix4x4 &worldFromParent,
               std::vector<Mesh> &meshes) {
    const aiMatrix4x4 worldFromNode = worldFromParent * node.mTransformation;
    for (unsigned int i = 0; i < node.mNumMeshes; ++i) {
        if (node.mMeshes[i] < scene.mNumMeshes) {
            Mesh mesh = placedMesh(scene, *scene.mMeshes[node.mMeshes[i]], worldFromNode);
            if (!mesh.triangles.empty()) {
                meshes.push_back(std::move(mesh));
            }
        }
    }
    for (unsigned int i = 0; i < node.mNumChildren; ++i) {
        placeNode(scene, *node.mChildren[i], worldFromNode, meshes);
    }
}

/// The accumulated transform of the node called `name`, the root's when
/// there is none.
aiMatrix4x4 worldFromNamed(const aiScene &scene, const aiString &name) {
    aiMatrix4x4 worldFromNode;
    for (const aiNode *node = scene.mRootNode->FindNode(name); node; node = node->mParent) {
        worldFromNode = node->mTransformation * worldFromNode;
    }
    return worldFromNode;
}

ImportObserver importObserver = nullptr;

/// The checks every file passes before a reader reads it: a regular file,
/// not a scene when an object is wanted.
bool readable(const std::string &path, bool object, std::string &error) {
    if (const std::string fault = fileFault(path, UINTMAX_MAX); !fault.empty()) {
        error = path + ": " + fault;
        return false;
    }
    if (object && isSceneFile(path)) {
        error = path + ": is a scene file, not an object";
        return false;
    }
    if (!std::ifstream(path, std::ios::binary)) {
        error = path + ": cannot be read: " + std::strerror(errno);
        return false;
    }
    return true;
}

/// The host's own object files go to the project's reader, not Assimp.
std::optional<std::vector<Mesh>> readLightWaveObject(const std::string &path, bool object,
                                                     std::optional<int> layer,
                                                     const LoadOptions &options,
                                                     std::string &error) {
    if (importObserver) {
        importObserver(path, object);
    }
    return loadLightWaveObject(path, layer, options, error);
}

/// Runs Assimp on a file found readable and of sane declared size; null
/// with `error` set otherwise. An object must not be a scene: Assimp would
/// read the objects that one names, itself among them, without end.
const aiScene *import(Assimp::Importer &importer, const std::string &path, bool object,
                      std::string &error) {
    if (!readable(path, object, error)) {
        return nullptr;
    }
    if (const std::string fault = declaredSizeFault(path); !fault.empty()) {
        error = path + ": " + fault;
        return nullptr;
    }
    if (importObserver) {
        importObserver(path, object);
    }
    listenForImportFaults();
    importFault.clear();
    const aiScene *scene = nullptr;
    try {
        scene = importer.ReadFile(path, importSteps());
    } catch (const std::exception &e) {
        error = path + ": " + e.what();
        return nullptr;
    }
    if (!scene || !scene->mRootNode) {
        std::string reason = importer.GetErrorString();
        std::replace(reason.begin(), reason.end(), '\n', ' ');
        error = path + ": " + (reason.empty() ? std::string("cannot be read as a scene") : reason);
        return nullptr;
    }
    if ((scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) != 0) {
        // Assimp's readers mark a scene so when it has no geometry of its own
        // (Collada's cameras only) or when a file it names is missing, and
        // then add a placeholder mesh.
        error = path + ": incomplete scene (no geometry of its own, or a file it names is missing)";
        return nullptr;
    }
    if (!importFault.empty()) {
        error = path + ": " + importFault;
        return nullptr;
    }
    return scene;
}

} // namespace

Bounds boundsOf(const std::vector<Mesh> &meshes) {
    Bounds bounds;
    for (const Mesh &mesh : meshes) {
        for (const Point3f &p : mesh.positions) {
            bounds.add({p.x, p.y, p.z});
        }
    }
    return bounds;
}

void setImportObserver(ImportObserver observer) { importObserver = observer; }

void Bounds::add(Vec3 point) {
    low = {std::min(low.x, point.x), std::min(low.y, point.y), std::min(low.z, point.z)};
    high = {std::max(high.x, point.x), std::max(high.y, point.y), std::max(high.z, point.z)};
}

std::optional<WorldScene> loadScene(const std::string &path, std::string &error,
                                    const LoadOptions &options) {
    if (readable(path, false, error) && isLightWaveObject(path)) {
        std::optional<std::vector<Mesh>> meshes =
            readLightWaveObject(path, false, std::nullopt, options, error);
        if (!meshes) {
            return std::nullopt;
        }
        WorldScene scene;
        scene.meshes = std::move(*meshes);
        scene.bounds = boundsOf(scene.meshes);
        return scene;
    }
    Assimp::Importer importer;
    const aiScene *source = import(importer, path, false, error);
    if (!source) {
        return std::nullopt;
    }
    WorldScene scene;
    placeNode(*source, *source->mRootNode, aiMatrix4x4(), scene.meshes);
    if (scene.meshes.empty()) {
        error = path + ": no faces to render (points or lines only)";
        return std::nullopt;
    }
    scene.bounds = boundsOf(scene.meshes);
    const SourceFormat format = sourceFormat(path);
    for (unsigned int i = 0; i < source->mNumCameras; ++i) {
        const aiCamera &camera = *source->mCameras[i];
        scene.cameras.push_back(hostCamera(camera, worldFromNamed(*source, camera.mName), format));
    }
    for (unsigned int i = 0; i < source->mNumLights; ++i) {
        const aiLight &light = *source->mLights[i];
        scene.lights.push_back(hostLight(light, worldFromNamed(*source, light.mName)));
    }
    return scene;
}

std::optional<std::vector<Mesh>> loadObjectLayer(const std::string &path, int layerNumber,
                                                 std::string &error, const LoadOptions &options) {
    if (readable(path, true, error) && isLightWaveObject(path)) {
        return readLightWaveObject(path, true, layerNumber - 1, options, error);
    }
    Assimp::Importer importer;
    // Assimp's layer index is the file's layer number plus one, which is
    // the scene file's count.
    importer.SetPropertyInteger(AI_CONFIG_IMPORT_LWO_ONE_LAYER_ONLY, layerNumber);
    const aiScene *source = import(importer, path, true, error);
    if (!source) {
        return std::nullopt;
    }
    std::vector<Mesh> meshes;
    placeNode(*source, *source->mRootNode, aiMatrix4x4(), meshes);
    if (meshes.empty()) {
        error = path + ": layer " + std::to_string(layerNumber) + " has no faces";
        return std::nullopt;
    }
    return meshes;
}

Camera framingCamera(const Bounds &bounds, double verticalFov, double aspect) {
    Camera camera;
    camera.name = "framing";
    camera.verticalFov = verticalFov;
    camera.aspect = aspect;
    const Vec3 centre = bounds.empty() ? Vec3{} : bounds.centre();
    const double radius =
        bounds.empty() ? 1.0 : std::max(0.5 * length(bounds.high - bounds.low), 1e-6);
    // Fit the enclosing sphere into the narrower field of view.
    const double horizontalFov = 2.0 * std::atan(std::tan(0.5 * verticalFov) * aspect);
    const double narrower =
        std::max(std::min(verticalFov, aspect > 0.0 ? horizontalFov : verticalFov), 1e-3);
    const double distance = radius / std::sin(0.5 * narrower);
    camera.position = centre - camera.forward * distance;
    return camera;
}

const Camera *findCamera(const WorldScene &scene, const std::string &name) {
    const auto found = std::find_if(scene.cameras.begin(), scene.cameras.end(),
                                    [&](const Camera &camera) { return camera.name == name; });
    return found == scene.cameras.end() ? nullptr : &*found;
}

} // namespace brelvix::world
