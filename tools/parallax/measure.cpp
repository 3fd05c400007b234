#include "tools/parallax/measure.h"

#include "tools/render/row_pool.h"

#include <cmath>
#include <limits>

namespace brelvix::parallax {
namespace {

/// How far the right eye's ray may end from the point and still reach it,
/// as a share of the distance: the position is found to 1/100 pixel, which
/// at a grazing angle moves the hit along the surface.
constexpr double kReachTolerance = 2e-3;

/// The frame's two edges, every stride-th row: each from the eye whose
/// image that edge bounds on the side the other eye cannot see past.
void measureEdges(const EyeRays &eyes, const render::Scene &scene, ParallaxField &field) {
    field.leftEdge.resize(static_cast<std::size_t>(field.height));
    field.rightEdge.resize(static_cast<std::size_t>(field.height));
    for (int row = 0; row < field.height; ++row) {
        const double y = row * field.stride + 0.5;
        FilmPosition inLeft = eyes.film(Eye::left, 0.5, y);
        field.leftEdge[static_cast<std::size_t>(row)] =
            measurePixel(eyes, scene, Eye::right, 0.5, y, inLeft);
        const double last = field.eyeWidth - 0.5;
        FilmPosition inRight = eyes.film(Eye::right, last, y);
        field.rightEdge[static_cast<std::size_t>(row)] =
            measurePixel(eyes, scene, Eye::left, last, y, inRight);
    }
}

} // namespace

PixelParallax measurePixel(const EyeRays &eyes, const render::Scene &scene, Eye from, double x,
                           double y, FilmPosition &guess, render::Rgb *view, Jacobian *reuse) {
    PixelParallax result;
    const Eye other = from == Eye::left ? Eye::right : Eye::left;
    Ray fromRay;
    if (!eyes.ray(eyes.film(from, x, y), fromRay)) {
        return result;
    }
    const render::Hit hit = scene.trace(fromRay);
    if (view != nullptr) {
        *view = scene.shade(fromRay, hit).colour;
    }
    const bool sky = !std::isfinite(hit.distance);
    const Target target{sky ? fromRay.direction : hit.point, sky};
    result.distance = static_cast<float>(hit.distance);

    FilmPosition found;
    if (!eyes.find(other, target, guess, found, reuse) || !eyes.inView(other, found)) {
        result.seen = Seen::outside;
        return result;
    }
    guess = found;
    Ray otherRay;
    if (!eyes.ray(found, otherRay)) {
        return result;
    }
    const render::Hit otherHit = scene.trace(otherRay);
    if (sky) {
        result.seen = std::isfinite(otherHit.distance) ? Seen::hidden : Seen::both;
    } else {
        const double expected = length(hit.point - otherRay.origin);
        const double slack = kReachTolerance * expected + 100.0 * scene.shadowOffset;
        result.seen = std::abs(otherHit.distance - expected) <= slack ? Seen::both : Seen::hidden;
    }
    const double otherX = eyes.pixelX(other, found.x);
    const double otherY = eyes.pixelY(found.y);
    const double sign = from == Eye::left ? 1.0 : -1.0;
    result.horizontal = static_cast<float>(sign * (otherX - x));
    result.vertical = static_cast<float>(sign * (otherY - y));
    return result;
}

ParallaxField measureParallax(const render::LensRays &lens, const render::FilmSettings &film,
                              const render::Scene &scene, const MeasureSettings &settings,
                              const std::atomic<int> *stop) {
    ParallaxField field;
    field.stride = std::max(settings.stride, 1);
    field.eyeWidth = film.width / 2;
    field.eyeHeight = film.height;
    field.width = (field.eyeWidth + field.stride - 1) / field.stride;
    field.height = (field.eyeHeight + field.stride - 1) / field.stride;
    const std::size_t count =
        static_cast<std::size_t>(field.width) * static_cast<std::size_t>(field.height);
    field.pixels.assign(count, PixelParallax{});
    if (settings.view) {
        field.view.assign(count, render::Rgb{});
    }
    const EyeRays eyes(lens, film, settings.shutterFraction);

    const render::RowWork work = [&](int row, const render::StopCheck &stopping) {
        const double y = row * field.stride + 0.5;
        // Each pixel starts from its left neighbour's answer moved on as the
        // answers last moved (a pixel on, at first): near it on the same
        // surface, and a plain guess elsewhere.
        const double pixelStep = field.stride * film.filmWidth / film.width;
        FilmPosition guess = eyes.film(Eye::right, 0.5, y);
        FilmPosition step{pixelStep, 0.0};
        Jacobian jacobian;
        for (int column = 0; column < field.width && !stopping(); ++column) {
            const double x = column * field.stride + 0.5;
            const std::size_t index = static_cast<std::size_t>(row) * field.width + column;
            FilmPosition start{guess.x + step.x, guess.y + step.y};
            const PixelParallax measured =
                measurePixel(eyes, scene, Eye::left, x, y, start,
                             settings.view ? &field.view[index] : nullptr, &jacobian);
            field.pixels[index] = measured;
            const bool found = measured.seen != Seen::outside;
            step = {start.x - guess.x, start.y - guess.y};
            if (!found || std::abs(step.x - pixelStep) > 0.5 * pixelStep ||
                std::abs(step.y) > 0.5 * pixelStep) {
                step = {pixelStep, 0.0};
            }
            guess = found ? start : eyes.film(Eye::right, x, y);
        }
    };
    render::forEachRow(field.height, settings.threads, work, {}, stop);
    measureEdges(eyes, scene, field);
    return field;
}

} // namespace brelvix::parallax
