// A scene file read into flat lists in the host's axes: triangle meshes
// already placed by their nodes, the file's cameras and lights, and bounds.
// Every format the Assimp library reads goes through here, and the host's own
// object files through the project's reader (object_meshes.h); axes.h says
// how each one's axes become the host's.
#ifndef BRELVIX_TOOLS_WORLD_WORLD_SCENE_H
#define BRELVIX_TOOLS_WORLD_WORLD_SCENE_H

#include "tools/world/backdrop.h"
#include "tools/world/vec.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brelvix::world {

struct Point3f {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

/// Triangles with one colour, or a colour per vertex. Kept in single
/// precision, the layout the tracer hands to Embree without a copy.
struct Mesh {
    std::string name;
    std::vector<Point3f> positions;
    /// Shading normals, one per position, unit length; empty when the file
    /// has none (the tracer then shades with the geometric normal).
    std::vector<Point3f> normals;
    /// Linear colours, one per position; empty: `diffuse` everywhere.
    std::vector<Point3f> colours;
    /// Vertex indices, wound clockwise seen from the front (outside).
    std::vector<std::array<uint32_t, 3>> triangles;
    Rgb diffuse{0.8, 0.8, 0.8};
    /// Light the surface gives of itself, lit or not (linear): a luminous
    /// surface's colour times its luminosity; black for most.
    Rgb glow{};
};

/// A camera placed in the world. Axes are unit and orthogonal, with
/// right = cross(up, forward).
struct Camera {
    std::string name;
    Vec3 position;
    Vec3 right{1.0, 0.0, 0.0};
    Vec3 up{0.0, 1.0, 0.0};
    Vec3 forward{0.0, 0.0, 1.0};
    /// Full vertical field of view in radians; 0 for an orthographic camera.
    double verticalFov = 0.0;
    /// Width over height of the file's film; 0 when the file does not say.
    double aspect = 0.0;
};

struct Light {
    enum class Kind { Directional, Point, Spot, Ambient, Area };
    std::string name;
    Kind kind = Kind::Point;
    Vec3 position;
    /// Unit direction the light shines along (directional, spot, area).
    Vec3 direction{0.0, 0.0, 1.0};
    Rgb colour{1.0, 1.0, 1.0};
};

struct Bounds {
    Vec3 low{1e300, 1e300, 1e300};
    Vec3 high{-1e300, -1e300, -1e300};

    bool empty() const { return low.x > high.x; }
    Vec3 centre() const { return (low + high) * 0.5; }
    void add(Vec3 point);
};

/// The bounds of every point of `meshes`.
Bounds boundsOf(const std::vector<Mesh> &meshes);

struct WorldScene {
    std::vector<Mesh> meshes;
    std::vector<Camera> cameras;
    std::vector<Light> lights;
    Bounds bounds;
};

/// How objects are read.
struct LoadOptions {
    /// Times a LightWave object's subdivision cages are refined; 0 draws
    /// the cage itself.
    int subdivisionLevel = 2;
};

/// Reads any file Assimp reads, and the host's own object files (LWOB,
/// LWO2, LWO3, known by content) with the project's reader. Meshes are
/// placed by their nodes (an instanced mesh appears once per node that uses
/// it); points and lines are dropped. Fails, with a one-line `error` that
/// names the file and the fault, for a missing, unreadable or malformed
/// file, one that declares more data than it holds, one that refers to a
/// file it cannot find (Assimp then marks the scene incomplete) and a scene
/// without faces.
std::optional<WorldScene> loadScene(const std::string &path, std::string &error,
                                    const LoadOptions &options = {});

/// The meshes of one layer of a LightWave object file (`.lwo`), in the
/// object's own space (host axes, the file's numbers; a layer's pivot does
/// not move its points). `layerNumber` counts from 1 as the scene file's
/// `LoadObjectLayer` does: 1 is the layer the object file numbers 0.
std::optional<std::vector<Mesh>> loadObjectLayer(const std::string &path, int layerNumber,
                                                 std::string &error,
                                                 const LoadOptions &options = {});

/// Told the path of each file just before Assimp (or the object reader)
/// reads it (`object`: as an object layer), so that a process watching the
/// reading knows which file a crash came from. Null: nobody is told.
using ImportObserver = void (*)(const std::string &path, bool object);
void setImportObserver(ImportObserver observer);

/// A camera looking along +z at the bounds' centre, far enough back that
/// the bounds' enclosing sphere fits the narrower of the two fields of view.
Camera framingCamera(const Bounds &bounds, double verticalFov, double aspect);

/// The camera called `name`, or null.
const Camera *findCamera(const WorldScene &scene, const std::string &name);

} // namespace brelvix::world

#endif
