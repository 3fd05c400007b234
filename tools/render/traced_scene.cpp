#include "tools/render/traced_scene.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace brelvix::render {
namespace {

/// Half the edge of the built-in ground: far beyond the haze.
constexpr float kGroundExtent = 1000.0f;

double fraction(double value) { return value - std::floor(value); }

world::Mesh groundQuad() {
    world::Mesh ground;
    ground.name = "ground";
    ground.positions = {{-kGroundExtent, 0.0f, -kGroundExtent},
                        {kGroundExtent, 0.0f, -kGroundExtent},
                        {kGroundExtent, 0.0f, kGroundExtent},
                        {-kGroundExtent, 0.0f, kGroundExtent}};
    ground.triangles = {{0, 3, 2}, {0, 2, 1}};
    return ground;
}

} // namespace

bool Scene::build(const world::TracerOptions &options, std::string &error) {
    std::unique_ptr<world::Tracer> tracer =
        world::Tracer::create(meshes, instanced, spheres, boxes, options, error);
    if (!tracer) {
        return false;
    }
    tracer_ = std::move(tracer);
    return true;
}

Hit Scene::trace(const Ray &ray, double maxDistance) const {
    return fromTracer(tracer_->closestHit({ray.origin, ray.direction, ray.time}, 0.0, maxDistance),
                      ray.time);
}

inline Hit Scene::fromTracer(const world::Hit &found, double time) const {
    Hit hit{kSky,         found.distance, found.point, found.geometricNormal, found.shadingNormal,
            found.colour, found.glow,     time};
    switch (found.kind) {
    case world::Hit::Kind::Sky:
        break;
    case world::Hit::Kind::Sphere:
        hit.object = sphereId(found.index);
        break;
    case world::Hit::Kind::Box:
        hit.object = boxId(found.index);
        break;
    case world::Hit::Kind::Mesh:
        hit.object = meshId(found.index);
        break;
    }
    return hit;
}

Rgb Scene::sky(Vec3 direction) const {
    const double up = std::clamp(direction.y, 0.0, 1.0);
    return lerp(skyHorizon, skyZenith, std::pow(up, 0.6));
}

Rgb Scene::albedoAt(const Hit &hit) const {
    if (hit.object == kGround) {
        const long cx = static_cast<long>(std::floor(hit.point.x / checkerSize));
        const long cz = static_cast<long>(std::floor(hit.point.z / checkerSize));
        const Rgb square = ((cx + cz) & 1) == 0 ? checkerLight : checkerDark;
        // Far squares are smaller than a pixel: fade them to their average
        // rather than let them sparkle.
        const double contrast =
            std::clamp((fadeEnd - hit.distance) / (fadeEnd - fadeStart), 0.0, 1.0);
        return lerp((checkerLight + checkerDark) * 0.5, square, contrast);
    }
    if (hit.object < boxId(0) || hit.object >= boxId(boxes.size()) ||
        std::abs(hit.normal.y) > 0.5) {
        return hit.colour;
    }
    // Windows: a grid of darker panes on the walls, a floor every 0.3 m and
    // a bay every 0.25 m, with a plain band at street level.
    const double along = std::abs(hit.normal.x) > 0.5 ? hit.point.z : hit.point.x;
    const double bay = fraction(along / 0.25);
    const double floor = fraction(hit.point.y / 0.3);
    const bool window =
        hit.point.y > 0.35 && bay > 0.22 && bay < 0.78 && floor > 0.3 && floor < 0.8;
    return window ? Rgb{0.10, 0.13, 0.18} : hit.colour;
}

template <typename Visible> Rgb Scene::direct(const Hit &hit, const Visible &visible) const {
    const Vec3 start = hit.point + hit.normal * shadowOffset;
    const auto lit = [&](Vec3 toLight, double distance) {
        const double facing = dot(hit.shadingNormal, toLight);
        if (facing <= 0.0 || dot(hit.normal, toLight) <= 0.0) {
            return 0.0;
        }
        return visible(world::Segment{{start, toLight, hit.time}, 0.0, distance}) ? facing : 0.0;
    };
    if (lights.empty()) {
        return sunColour * lit(toSun, std::numeric_limits<double>::infinity());
    }
    // Each light's share of an even sum, so that more lights do not burn out.
    Rgb sum{};
    for (const world::Light &light : lights) {
        const Rgb colour = light.colour * (1.0 / static_cast<double>(lights.size()));
        switch (light.kind) {
        case world::Light::Kind::Ambient:
            sum = sum + colour;
            break;
        case world::Light::Kind::Directional:
            sum = sum + colour * lit(-light.direction, std::numeric_limits<double>::infinity());
            break;
        default: {
            const Vec3 toLight = light.position - start;
            const double distance = length(toLight);
            if (distance > 0.0) {
                sum = sum + colour * lit(toLight * (1.0 / distance), distance);
            }
        }
        }
    }
    return sum * 1.5;
}

ShadedRay Scene::shade(const Ray &ray, const Hit &hit) const {
    const auto unblocked = [this](const world::Segment &shadow) {
        return !tracer_->occluded(shadow.ray, shadow.nearest, shadow.farthest);
    };
    return lit(ray, hit, hit.object == kSky ? Rgb{} : direct(hit, unblocked));
}

inline ShadedRay Scene::lit(const Ray &ray, const Hit &hit, Rgb light) const {
    if (hit.object == kSky) {
        return {backdrop ? backdrop->seen(ray.direction) : sky(ray.direction), hit.distance};
    }
    const Rgb albedo = albedoAt(hit);
    // Sky light from above, a little bounce from the ground below.
    const double skyShare = 0.5 + 0.5 * hit.shadingNormal.y;
    const Rgb around =
        ambient ? *ambient
                : skyZenith * (0.55 * skyShare) + checkerLight * (0.18 * (1.0 - skyShare));
    Rgb colour = albedo * (around + light) + hit.glow;
    if (hit.object >= sphereId(0) && hit.object < boxId(0) && light.x > 0.0) {
        // A highlight on the spheres.
        const Vec3 halfway = normalize(toSun - ray.direction);
        const double highlight = std::pow(std::max(dot(hit.normal, halfway), 0.0), 60.0);
        colour = colour + sunColour * (0.35 * highlight);
    }
    if (hazeDistance > 0.0) {
        const double haze = 1.0 - std::exp(-hit.distance / hazeDistance);
        colour = lerp(colour, skyHorizon, haze);
    }
    return {colour, hit.distance};
}

namespace {

/// One thread's buffers for shadeAll, kept from batch to batch.
struct BatchBuffers {
    std::vector<world::Ray> rays;
    std::vector<world::Hit> found;
    std::vector<Hit> hits;
    std::vector<world::Segment> shadows;
    std::unique_ptr<bool[]> blocked;
    std::size_t blockedSize = 0;

    std::span<bool> blockedFor(std::size_t count) {
        if (count > blockedSize) {
            blockedSize = std::max(count, 2 * blockedSize);
            blocked = std::make_unique<bool[]>(blockedSize);
        }
        return {blocked.get(), count};
    }
};

thread_local BatchBuffers batchBuffers;

/// The rays as the tracer takes them, into the thread's buffers.
std::span<const world::Ray> tracerRays(std::span<const Ray> rays, BatchBuffers &buffers) {
    buffers.rays.resize(rays.size());
    for (std::size_t i = 0; i < rays.size(); ++i) {
        buffers.rays[i] = {rays[i].origin, rays[i].direction, rays[i].time};
    }
    return buffers.rays;
}

} // namespace

std::size_t Scene::shadeAll(std::span<const Ray> rays, std::span<ShadedRay> seen,
                            bool packets) const {
    if (!packets) {
        for (std::size_t i = 0; i < rays.size(); ++i) {
            seen[i] = shade(rays[i]);
        }
        return 0;
    }
    BatchBuffers &buffers = batchBuffers;
    buffers.hits.resize(rays.size());
    traceAll(rays, buffers.hits);
    // The shadow rays of every hit, in the order of their camera rays, then
    // the light each hit sees from what they found.
    buffers.shadows.clear();
    const auto gather = [&buffers](const world::Segment &shadow) {
        buffers.shadows.push_back(shadow);
        return true;
    };
    for (const Hit &hit : buffers.hits) {
        if (hit.object != kSky) {
            direct(hit, gather);
        }
    }
    const std::span<bool> blocked = buffers.blockedFor(buffers.shadows.size());
    tracer_->occludedAll(buffers.shadows, blocked);
    std::size_t next = 0;
    const auto unblocked = [&blocked, &next](const world::Segment &) { return !blocked[next++]; };
    for (std::size_t i = 0; i < rays.size(); ++i) {
        const Hit &hit = buffers.hits[i];
        seen[i] = lit(rays[i], hit, hit.object == kSky ? Rgb{} : direct(hit, unblocked));
    }
    return rays.size();
}

void Scene::traceAll(std::span<const Ray> rays, std::span<Hit> hits, double maxDistance) const {
    BatchBuffers &buffers = batchBuffers;
    buffers.found.resize(rays.size());
    tracer_->closestHits(tracerRays(rays, buffers), buffers.found, 0.0, maxDistance);
    for (std::size_t i = 0; i < rays.size(); ++i) {
        hits[i] = fromTracer(buffers.found[i], rays[i].time);
    }
}

Scene builtinScene(const world::TracerOptions &options) {
    Scene scene;
    scene.toSun = normalize(scene.toSun);
    scene.hazeDistance = 45.0;
    // Nearest first: in front of the plane of focus, on it, behind it.
    scene.spheres = {
        {{-0.40, 0.19, 1.00}, 0.19, {0.80, 0.12, 0.08}},
        {{0.10, 0.28, 2.00}, 0.28, {0.90, 0.66, 0.12}},
        {{1.40, 0.45, 5.00}, 0.45, {0.12, 0.32, 0.85}},
    };
    // Tall boxes behind them, taller than the view of a level camera.
    scene.boxes = {
        {{0.9, 0.0, 6.0}, {1.9, 3.6, 7.0}, {0.70, 0.68, 0.64}},
        {{-2.9, 0.0, 7.2}, {-1.7, 4.8, 8.4}, {0.66, 0.52, 0.42}},
        {{-0.6, 0.0, 9.5}, {0.5, 3.0, 10.6}, {0.50, 0.58, 0.62}},
        {{2.6, 0.0, 8.8}, {3.8, 5.4, 10.0}, {0.60, 0.62, 0.56}},
    };
    scene.meshes = {groundQuad()};
    scene.groundMesh = 0;
    std::string error;
    if (!scene.build(options, error)) {
        throw std::runtime_error(error);
    }
    return scene;
}

} // namespace brelvix::render
