// Three doubles in the host's world axes (+x right, +y up, +z forward, left
// handed; metres) and the few operations the scene loader, the tracer and the
// preview renderer need.
#ifndef BRELVIX_TOOLS_WORLD_VEC_H
#define BRELVIX_TOOLS_WORLD_VEC_H

#include <cmath>

namespace brelvix::world {

struct Vec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    constexpr double operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
    bool operator==(const Vec3 &) const = default;
};

constexpr Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
constexpr Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
constexpr Vec3 operator-(Vec3 a) { return {-a.x, -a.y, -a.z}; }
constexpr Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
constexpr Vec3 operator*(double s, Vec3 a) { return a * s; }
/// Component-wise product, for colours.
constexpr Vec3 operator*(Vec3 a, Vec3 b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
constexpr double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
/// In left-handed axes too, right = cross(up, forward).
constexpr Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(Vec3 a) { return std::sqrt(dot(a, a)); }
inline Vec3 normalize(Vec3 a) { return a * (1.0 / length(a)); }
constexpr Vec3 lerp(Vec3 a, Vec3 b, double s) { return a * (1.0 - s) + b * s; }

/// A linear RGB colour.
using Rgb = Vec3;

} // namespace brelvix::world

#endif
