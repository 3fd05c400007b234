#include "tools/parallax/eye_rays.h"

#include <algorithm>
#include <cmath>

namespace brelvix::parallax {
namespace {

constexpr int kMaxIterations = 12;
/// The iteration stops once a step is shorter than this, in pixels.
constexpr double kTolerancePixels = 0.01;

double sign(Eye eye) { return eye == Eye::right ? 1.0 : -1.0; }

} // namespace

EyeRays::EyeRays(const render::LensRays &lens, const render::FilmSettings &film,
                 double shutterFraction)
    : lens_(lens), film_(film), shutter_(shutterFraction) {}

bool EyeRays::ray(FilmPosition position, Ray &ray) const {
    Vec3 normal;
    return this->ray(position, ray, normal);
}

bool EyeRays::ray(FilmPosition position, Ray &ray, Vec3 &filmNormal) const {
    CameraRay out{};
    if (lens_.evaluate(lens_.instance, position.x, position.y, 0.0, 0.0, shutter_, &out) == 0) {
        return false;
    }
    ray = render::toRay(out);
    filmNormal = {out.filmNormal[0], out.filmNormal[1], out.filmNormal[2]};
    return true;
}

bool EyeRays::residual(FilmPosition position, const Target &target, Vec3 &r, Ray &seen) const {
    if (!ray(position, seen)) {
        return false;
    }
    const Vec3 toward = target.atInfinity ? target.point : target.point - seen.origin;
    const double distance = length(toward);
    if (!(distance > 0.0)) {
        return false;
    }
    r = seen.direction - toward * (1.0 / distance);
    return true;
}

bool EyeRays::find(Eye eye, const Target &target, FilmPosition guess, FilmPosition &found,
                   Jacobian *reuse, Ray *foundRay) const {
    const double e = sign(eye);
    const double pixelWidth = film_.filmWidth / film_.width;
    const double pixelHeight = film_.filmHeight / film_.height;
    // Differences a quarter pixel long, always into the eye's own half: the
    // lens picks the eye by the side of the film, so a position must never
    // cross the centre line.
    const double hx = e * 0.25 * pixelWidth;
    const double hy = 0.25 * pixelHeight;
    const double inner = 1e-12 * film_.filmWidth;
    // Whether the last position was held back at the centre line.
    bool held = false;
    const auto keepInHalf = [&](FilmPosition &p) {
        const double x = e > 0.0 ? std::max(p.x, 0.0) : std::min(p.x, -inner);
        held = x != p.x;
        p.x = x;
    };

    FilmPosition p = guess;
    keepInHalf(p);
    Vec3 r;
    // The ray of the last position: where the search ends, the ray from
    // `found`.
    Ray seen;
    if (!residual(p, target, r, seen)) {
        return false;
    }
    // Gauss-Newton on the 3 components of the residual; the Jacobian is
    // taken anew only while the steps are large, then kept (the lens's map
    // from film to direction is smooth and nearly linear over a pixel).
    Vec3 jx = reuse != nullptr ? reuse->x : Vec3{};
    Vec3 jy = reuse != nullptr ? reuse->y : Vec3{};
    bool haveJacobian = reuse != nullptr && reuse->known;
    for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
        if (!haveJacobian) {
            Vec3 rx;
            Vec3 ry;
            Ray aside;
            if (!residual({p.x + hx, p.y}, target, rx, aside) ||
                !residual({p.x, p.y + hy}, target, ry, aside)) {
                return false;
            }
            jx = (rx - r) * (1.0 / hx);
            jy = (ry - r) * (1.0 / hy);
            haveJacobian = true;
        }
        // Normal equations of the 2 x 2 system.
        const double a = dot(jx, jx);
        const double b = dot(jx, jy);
        const double c = dot(jy, jy);
        const double gx = -dot(jx, r);
        const double gy = -dot(jy, r);
        const double det = a * c - b * b;
        if (!(std::abs(det) > 0.0)) {
            return false;
        }
        const double dx = (c * gx - b * gy) / det;
        const double dy = (a * gy - b * gx) / det;
        const FilmPosition before = p;
        p = {p.x + dx, p.y + dy};
        keepInHalf(p);
        if (!residual(p, target, r, seen)) {
            return false;
        }
        const double stepPixels =
            std::hypot((p.x - before.x) / pixelWidth, (p.y - before.y) / pixelHeight);
        if (stepPixels < kTolerancePixels) {
            // A position held at the centre line settles there because the
            // target lies beyond it, however little: outside the eye's view.
            found = p;
            if (reuse != nullptr) {
                *reuse = {jx, jy, true};
            }
            const bool settled = !held && length(r) < 0.05 * length(jx) * pixelWidth;
            if (settled && foundRay != nullptr) {
                *foundRay = seen;
            }
            return settled;
        }
        if (stepPixels > 1.0) {
            haveJacobian = false;
        }
    }
    return false;
}

bool EyeRays::inView(Eye eye, FilmPosition position) const {
    const double x = sign(eye) * position.x;
    return x >= 0.0 && x <= 0.5 * film_.filmWidth && std::abs(position.y) <= 0.5 * film_.filmHeight;
}

double EyeRays::pixelX(Eye eye, double filmX) const {
    const double whole = (filmX / film_.filmWidth + 0.5) * film_.width;
    return eye == Eye::right ? whole - 0.5 * film_.width : whole;
}

double EyeRays::pixelY(double filmY) const {
    return (0.5 - filmY / film_.filmHeight) * film_.height;
}

FilmPosition EyeRays::film(Eye eye, double pixelX, double pixelY) const {
    const double whole = eye == Eye::right ? pixelX + 0.5 * film_.width : pixelX;
    return {(whole / film_.width - 0.5) * film_.filmWidth,
            (0.5 - pixelY / film_.height) * film_.filmHeight};
}

} // namespace brelvix::parallax
