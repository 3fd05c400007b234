// The preview renderer's built-in scene and its tracer: plain ray-primitive
// intersection against a checkered ground, a few tall boxes and some spheres,
// lit by a sun with hard shadows under a sky gradient.
//
// World axes are the host's: +x right, +y up, +z forward; lengths in metres.
// The scene is laid out for a camera near the origin at eye height looking
// along +z: spheres at three depths (to show depth of field and the stereo
// disparity) in front of a row of tall boxes (whose vertical edges show the
// lens shift).
#ifndef BRELVIX_TOOLS_RENDER_SCENE_H
#define BRELVIX_TOOLS_RENDER_SCENE_H

#include "tools/render/vec3.h"

#include <vector>

namespace brelvix::render {

struct Sphere {
    Vec3 centre;
    double radius;
    Rgb albedo;
};

/// An axis-aligned box with a grid of windows on its four sides.
struct Box {
    Vec3 low;
    Vec3 high;
    Rgb albedo;
};

/// What a ray meets first.
struct Hit {
    /// kSky, kGround, or a sphere or box id from Scene::sphereId / boxId.
    int object;
    double distance;
    Vec3 point;
    Vec3 normal;
};

class Scene {
  public:
    static constexpr int kSky = -1;
    static constexpr int kGround = 0;

    std::vector<Sphere> spheres;
    std::vector<Box> boxes;
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
    /// Distance at which haze takes about 63 % of an object's colour.
    double hazeDistance = 45.0;

    static int sphereId(std::size_t index) { return 1 + static_cast<int>(index); }
    int boxId(std::size_t index) const { return 1 + static_cast<int>(spheres.size() + index); }

    /// The first surface along the ray, nearer than `maxDistance`.
    Hit trace(const Ray &ray, double maxDistance = 1e30) const;
    /// Linear colour seen along the ray.
    Rgb radiance(const Ray &ray) const;

  private:
    Rgb sky(Vec3 direction) const;
    Rgb albedoAt(const Hit &hit) const;
};

/// The scene that brelvix-render shows.
Scene builtinScene();

/// Indices into builtinScene().spheres, nearest first.
inline constexpr std::size_t kNearSphere = 0;
inline constexpr std::size_t kFocusSphere = 1;
inline constexpr std::size_t kFarSphere = 2;

} // namespace brelvix::render

#endif
