#include "tools/world/sphere_geometry.h"

#include <cmath>

namespace brelvix::world {
namespace {

/// The nearer of the ray's crossings with a sphere that lies in
/// [tnear, tfar], or a negative value for none. Embree's own spheres go
/// through its curve code, several times slower than this test for the
/// few spheres a scene has.
float sphereCrossing(const Sphere &sphere, const Vec3 &origin, const Vec3 &direction, float tnear,
                     float tfar) {
    const Vec3 offset = origin - sphere.centre;
    const double a = dot(direction, direction);
    const double b = dot(offset, direction);
    // The offset's part across the ray keeps the discriminant exact for
    // spheres far from the origin.
    const Vec3 across = offset - direction * (b / a);
    const double disc = a * (sphere.radius * sphere.radius - dot(across, across));
    if (disc < 0.0 || a <= 0.0) {
        return -1.0f;
    }
    const double root = std::sqrt(disc);
    for (const double t : {(-b - root) / a, (-b + root) / a}) {
        const auto single = static_cast<float>(t);
        if (single >= tnear && single <= tfar) {
            return single;
        }
    }
    return -1.0f;
}

Vec3 rayOrigin(RTCRayN *ray, unsigned n, unsigned i) {
    return {RTCRayN_org_x(ray, n, i), RTCRayN_org_y(ray, n, i), RTCRayN_org_z(ray, n, i)};
}

Vec3 rayDirection(RTCRayN *ray, unsigned n, unsigned i) {
    return {RTCRayN_dir_x(ray, n, i), RTCRayN_dir_y(ray, n, i), RTCRayN_dir_z(ray, n, i)};
}

} // namespace

void sphereBounds(const RTCBoundsFunctionArguments *args) {
    const auto &spheres = *static_cast<const std::vector<Sphere> *>(args->geometryUserPtr);
    const Sphere &sphere = spheres[args->primID];
    // Widened by a few float steps, so that rounding never cuts a sphere.
    const auto low = [&](double c) {
        return std::nextafter(std::nextafter(static_cast<float>(c - sphere.radius), -INFINITY),
                              -INFINITY);
    };
    const auto high = [&](double c) {
        return std::nextafter(std::nextafter(static_cast<float>(c + sphere.radius), INFINITY),
                              INFINITY);
    };
    *args->bounds_o = {low(sphere.centre.x),  low(sphere.centre.y),  low(sphere.centre.z),  0.0f,
                       high(sphere.centre.x), high(sphere.centre.y), high(sphere.centre.z), 0.0f};
}

void intersectSphere(const RTCIntersectFunctionNArguments *args) {
    const auto &spheres = *static_cast<const std::vector<Sphere> *>(args->geometryUserPtr);
    const Sphere &sphere = spheres[args->primID];
    RTCRayN *ray = RTCRayHitN_RayN(args->rayhit, args->N);
    RTCHitN *hit = RTCRayHitN_HitN(args->rayhit, args->N);
    for (unsigned i = 0; i < args->N; ++i) {
        if (args->valid[i] == 0) {
            continue;
        }
        const Vec3 origin = rayOrigin(ray, args->N, i);
        const Vec3 direction = rayDirection(ray, args->N, i);
        const float t = sphereCrossing(sphere, origin, direction, RTCRayN_tnear(ray, args->N, i),
                                       RTCRayN_tfar(ray, args->N, i));
        if (t < 0.0f) {
            continue;
        }
        const Vec3 normal = origin + direction * t - sphere.centre;
        RTCRayN_tfar(ray, args->N, i) = t;
        RTCHitN_Ng_x(hit, args->N, i) = static_cast<float>(normal.x);
        RTCHitN_Ng_y(hit, args->N, i) = static_cast<float>(normal.y);
        RTCHitN_Ng_z(hit, args->N, i) = static_cast<float>(normal.z);
        RTCHitN_u(hit, args->N, i) = 0.0f;
        RTCHitN_v(hit, args->N, i) = 0.0f;
        RTCHitN_primID(hit, args->N, i) = args->primID;
        RTCHitN_geomID(hit, args->N, i) = args->geomID;
        RTCHitN_instID(hit, args->N, i, 0) = args->context->instID[0];
    }
}

void occludeBySphere(const RTCOccludedFunctionNArguments *args) {
    const auto &spheres = *static_cast<const std::vector<Sphere> *>(args->geometryUserPtr);
    const Sphere &sphere = spheres[args->primID];
    for (unsigned i = 0; i < args->N; ++i) {
        if (args->valid[i] != 0 && sphereCrossing(sphere, rayOrigin(args->ray, args->N, i),
                                                  rayDirection(args->ray, args->N, i),
                                                  RTCRayN_tnear(args->ray, args->N, i),
                                                  RTCRayN_tfar(args->ray, args->N, i)) >= 0.0f) {
            RTCRayN_tfar(args->ray, args->N, i) = -INFINITY;
        }
    }
}

} // namespace brelvix::world
