// Three doubles and the few operations the preview renderer's tracer needs.
#ifndef BRELVIX_TOOLS_RENDER_VEC3_H
#define BRELVIX_TOOLS_RENDER_VEC3_H

#include <cmath>

namespace brelvix::render {

struct Vec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    constexpr double operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

constexpr Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
constexpr Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
constexpr Vec3 operator-(Vec3 a) { return {-a.x, -a.y, -a.z}; }
constexpr Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
constexpr Vec3 operator*(double s, Vec3 a) { return a * s; }
/// Component-wise product, for colours.
constexpr Vec3 operator*(Vec3 a, Vec3 b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
constexpr double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline double length(Vec3 a) { return std::sqrt(dot(a, a)); }
inline Vec3 normalize(Vec3 a) { return a * (1.0 / length(a)); }
constexpr Vec3 lerp(Vec3 a, Vec3 b, double s) { return a * (1.0 - s) + b * s; }

/// A linear RGB colour.
using Rgb = Vec3;

/// A camera ray: origin and unit direction, in world space.
struct Ray {
    Vec3 origin;
    Vec3 direction;

    constexpr Vec3 at(double t) const { return origin + direction * t; }
};

} // namespace brelvix::render

#endif
