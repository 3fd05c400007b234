#include "tools/render/scene.h"

#include <algorithm>
#include <cmath>

namespace brelvix::render {
namespace {

constexpr double kEpsilon = 1e-7;

/// Distance to the nearer intersection in front of the origin, or a negative
/// number when there is none.
double intersectSphere(const Sphere &sphere, const Ray &ray) {
    const Vec3 oc = ray.origin - sphere.centre;
    const double b = dot(oc, ray.direction);
    const double c = dot(oc, oc) - sphere.radius * sphere.radius;
    const double discriminant = b * b - c;
    if (discriminant < 0.0) {
        return -1.0;
    }
    const double root = std::sqrt(discriminant);
    const double near = -b - root;
    return near > kEpsilon ? near : -b + root;
}

/// Slab test; sets `axis` to the axis of the face the ray enters (or leaves,
/// from inside) and `sign` to that face's outward side.
double intersectBox(const Box &box, const Ray &ray, int &axis, double &sign) {
    double enter = -1e300;
    double leave = 1e300;
    int enterAxis = 0;
    int leaveAxis = 0;
    for (int i = 0; i < 3; ++i) {
        const double origin = ray.origin[i];
        const double direction = ray.direction[i];
        const double low = box.low[i];
        const double high = box.high[i];
        if (direction == 0.0) {
            if (origin < low || origin > high) {
                return -1.0;
            }
            continue;
        }
        double t0 = (low - origin) / direction;
        double t1 = (high - origin) / direction;
        if (t0 > t1) {
            std::swap(t0, t1);
        }
        if (t0 > enter) {
            enter = t0;
            enterAxis = i;
        }
        if (t1 < leave) {
            leave = t1;
            leaveAxis = i;
        }
    }
    if (enter > leave || leave <= kEpsilon) {
        return -1.0;
    }
    if (enter > kEpsilon) {
        axis = enterAxis;
        sign = ray.direction[axis] > 0.0 ? -1.0 : 1.0;
        return enter;
    }
    axis = leaveAxis;
    sign = ray.direction[axis] > 0.0 ? 1.0 : -1.0;
    return leave;
}

Vec3 axisVector(int axis, double sign) {
    return {axis == 0 ? sign : 0.0, axis == 1 ? sign : 0.0, axis == 2 ? sign : 0.0};
}

double fraction(double value) { return value - std::floor(value); }

} // namespace

Hit Scene::trace(const Ray &ray, double maxDistance) const {
    Hit hit{kSky, maxDistance, {}, {}};

    // Ground plane y = 0, seen from above.
    if (ray.direction.y < 0.0 && ray.origin.y > 0.0) {
        const double t = -ray.origin.y / ray.direction.y;
        if (t > kEpsilon && t < hit.distance) {
            hit = {kGround, t, {}, {0.0, 1.0, 0.0}};
        }
    }
    for (std::size_t i = 0; i < spheres.size(); ++i) {
        const double t = intersectSphere(spheres[i], ray);
        if (t > kEpsilon && t < hit.distance) {
            hit.object = sphereId(i);
            hit.distance = t;
        }
    }
    int boxAxis = 0;
    double boxSign = 1.0;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        int axis = 0;
        double sign = 1.0;
        const double t = intersectBox(boxes[i], ray, axis, sign);
        if (t > kEpsilon && t < hit.distance) {
            hit.object = boxId(i);
            hit.distance = t;
            boxAxis = axis;
            boxSign = sign;
        }
    }
    if (hit.object == kSky) {
        return hit;
    }

    hit.point = ray.at(hit.distance);
    if (hit.object >= boxId(0)) {
        hit.normal = axisVector(boxAxis, boxSign);
        // Snap onto the face so that the shadow ray starts outside the box.
        const Box &box = boxes[static_cast<std::size_t>(hit.object - boxId(0))];
        const double face = boxSign > 0.0 ? box.high[boxAxis] : box.low[boxAxis];
        if (boxAxis == 0) {
            hit.point.x = face;
        } else if (boxAxis == 1) {
            hit.point.y = face;
        } else {
            hit.point.z = face;
        }
    } else if (hit.object != kGround) {
        const Sphere &sphere = spheres[static_cast<std::size_t>(hit.object - 1)];
        hit.normal = normalize(hit.point - sphere.centre);
    } else {
        hit.point.y = 0.0;
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
    if (hit.object < boxId(0)) {
        return spheres[static_cast<std::size_t>(hit.object - 1)].albedo;
    }
    const Box &box = boxes[static_cast<std::size_t>(hit.object - boxId(0))];
    if (hit.normal.y != 0.0) {
        return box.albedo;
    }
    // Windows: a grid of darker panes on the walls, a floor every 0.3 m and
    // a bay every 0.25 m, with a plain band at street level.
    const double along = hit.normal.x != 0.0 ? hit.point.z : hit.point.x;
    const double bay = fraction(along / 0.25);
    const double floor = fraction(hit.point.y / 0.3);
    const bool window =
        hit.point.y > 0.35 && bay > 0.22 && bay < 0.78 && floor > 0.3 && floor < 0.8;
    return window ? Rgb{0.10, 0.13, 0.18} : box.albedo;
}

Rgb Scene::radiance(const Ray &ray) const {
    const Hit hit = trace(ray);
    if (hit.object == kSky) {
        return sky(ray.direction);
    }
    const Rgb albedo = albedoAt(hit);
    const double facing = dot(hit.normal, toSun);
    double sunlight = 0.0;
    if (facing > 0.0) {
        const Ray shadow{hit.point + hit.normal * 1e-6, toSun};
        sunlight = trace(shadow).object == kSky ? facing : 0.0;
    }
    // Sky light from above, a little bounce from the ground below.
    const double skyShare = 0.5 + 0.5 * hit.normal.y;
    const Rgb ambient = skyZenith * (0.55 * skyShare) + checkerLight * (0.18 * (1.0 - skyShare));
    Rgb colour = albedo * (ambient + sunColour * sunlight);
    if (hit.object != kGround && hit.object < boxId(0) && sunlight > 0.0) {
        // A highlight on the spheres.
        const Vec3 halfway = normalize(toSun - ray.direction);
        const double highlight = std::pow(std::max(dot(hit.normal, halfway), 0.0), 60.0);
        colour = colour + sunColour * (0.35 * highlight);
    }
    const double haze = 1.0 - std::exp(-hit.distance / hazeDistance);
    return lerp(colour, skyHorizon, haze);
}

Scene builtinScene() {
    Scene scene;
    scene.toSun = normalize(scene.toSun);
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
    return scene;
}

} // namespace brelvix::render
