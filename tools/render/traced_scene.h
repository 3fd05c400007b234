// What the preview renderer traces: triangle meshes, spheres and boxes in one
// Embree tracer, shaded with a diffuse colour under the scene's own lights
// and ambient light before its own backdrop, or under a sun with hard shadows
// and the light of a sky gradient before that sky.
//
// World axes are the host's: +x right, +y up, +z forward; lengths in metres.
// The built-in scene is laid out for a camera near the origin at eye height
// looking along +z: spheres at three depths (to show depth of field and the
// stereo disparity) in front of a row of tall boxes (whose vertical edges
// show the lens shift), on a checkered ground.
#ifndef BRELVIX_TOOLS_RENDER_TRACED_SCENE_H
#define BRELVIX_TOOLS_RENDER_TRACED_SCENE_H

#include "tools/render/film.h"
#include "tools/render/vec3.h"
#include "tools/world/backdrop.h"
#include "tools/world/tracer.h"
#include "tools/world/world_scene.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace brelvix::render {

// The tracer's own shapes; a box is drawn with a grid of windows on its four
// sides.
using world::Box;
using world::Sphere;

/// What a ray meets first.
struct Hit {
    /// kSky, kGround, or an id from Scene::sphereId / boxId / meshId.
    int object;
    /// Infinite for the sky.
    double distance;
    Vec3 point;
    /// Geometric normal, on the side the ray came from.
    Vec3 normal;
    /// The file's normal where it has one, else `normal`.
    Vec3 shadingNormal;
    /// Linear diffuse colour: the material's or the vertex colours.
    Rgb colour;
    /// The surface's own light, added whatever lights it.
    Rgb glow;
    /// The ray's moment within the shutter, at which its shadow rays meet
    /// moving objects too.
    double time = 0.0;
};

class Scene {
  public:
    static constexpr int kSky = -1;
    static constexpr int kGround = 0;

    std::vector<Sphere> spheres;
    std::vector<Box> boxes;
    std::vector<world::Mesh> meshes;
    /// Objects placed by instances, each built once however often it is
    /// placed; their hits' mesh ids follow those of `meshes`. An instance
    /// that moves while the shutter is open has its placements across it.
    world::InstancedObjects instanced;
    /// The scene's own lights; none: the sun and the sky light it.
    std::vector<world::Light> lights;
    /// The scene's own ambient light and backdrop, which replace the sky's
    /// light and colour when set.
    std::optional<Rgb> ambient;
    std::optional<world::Backdrop> backdrop;
    /// The mesh drawn as the checkered ground, if any.
    std::optional<std::size_t> groundMesh;
    /// Edge of one ground square.
    double checkerSize = 0.25;
    Rgb checkerLight{0.62, 0.60, 0.56};
    Rgb checkerDark{0.20, 0.24, 0.30};
    /// Distances over which the checker fades to its average colour.
    double fadeStart = 6.0;
    double fadeEnd = 24.0;
    /// Unit direction toward the sun.
    Vec3 toSun{-0.45, 0.80, -0.40};
    Rgb sunColour{1.45, 1.38, 1.22};
    Rgb skyHorizon{0.86, 0.90, 0.96};
    Rgb skyZenith{0.24, 0.44, 0.82};
    /// Distance at which haze takes about 63 % of an object's colour; 0: none.
    double hazeDistance = 0.0;
    /// Where shadow rays start off a surface, in metres: about a millionth
    /// of the scene's size.
    double shadowOffset = 1e-5;

    static int sphereId(std::size_t index) { return 1 + static_cast<int>(index); }
    int boxId(std::size_t index) const { return 1 + static_cast<int>(spheres.size() + index); }
    int meshId(std::size_t index) const {
        return groundMesh && *groundMesh == index
                   ? kGround
                   : 1 + static_cast<int>(spheres.size() + boxes.size() + index);
    }

    /// Hands the meshes, spheres and boxes to the tracer; call once they are
    /// final. False with a one-line `error` when Embree refuses them.
    bool build(const world::TracerOptions &options, std::string &error);

    /// The first surface along the ray, nearer than `maxDistance`.
    Hit trace(const Ray &ray, double maxDistance = 1e30) const;
    /// Linear colour seen along the ray and the distance to what it meets.
    ShadedRay shade(const Ray &ray) const { return shade(ray, trace(ray)); }
    /// The same for a ray already traced to `hit`.
    ShadedRay shade(const Ray &ray, const Hit &hit) const;
    /// What each ray of a batch sees, as shade gives it: `seen[i]` for
    /// `rays[i]`. With `packets`, the camera rays and then their shadow rays
    /// go to the tracer in packets (neighbouring rays of the batch should
    /// be neighbours on the film); else one at a time. Returns how many
    /// camera rays were traced in packets.
    std::size_t shadeAll(std::span<const Ray> rays, std::span<ShadedRay> seen,
                         bool packets = true) const;
    /// What trace gives for each ray of a batch: `hits[i]` for `rays[i]`,
    /// traced in packets (neighbouring rays of the batch should be
    /// neighbours on the film).
    void traceAll(std::span<const Ray> rays, std::span<Hit> hits, double maxDistance = 1e30) const;
    /// Whether a ray beyond what the tracer takes was left untraced.
    bool refusedRays() const { return tracer_ && tracer_->refusedRays(); }

  private:
    Rgb sky(Vec3 direction) const;
    Rgb albedoAt(const Hit &hit) const;
    /// The tracer's hit of a ray cast at `time` within the shutter.
    Hit fromTracer(const world::Hit &found, double time) const;
    /// Light arriving at a point from the scene's lights or the sun, at the
    /// hit's time; `visible(segment)` tells whether a light is seen along
    /// the segment from the point toward it.
    template <typename Visible> Rgb direct(const Hit &hit, const Visible &visible) const;
    /// The colour of a ray that met `hit`, lit by `light`.
    ShadedRay lit(const Ray &ray, const Hit &hit, Rgb light) const;

    std::shared_ptr<const world::Tracer> tracer_;
};

/// The scene that brelvix-render shows without a scene file, built for
/// tracing. Throws std::runtime_error when Embree refuses it.
Scene builtinScene(const world::TracerOptions &options = {});

/// Indices into builtinScene().spheres, nearest first.
inline constexpr std::size_t kNearSphere = 0;
inline constexpr std::size_t kFocusSphere = 1;
inline constexpr std::size_t kFarSphere = 2;

} // namespace brelvix::render

#endif
