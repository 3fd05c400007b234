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

} // namespace

PixelParallax measurePixel(const EyeRays &eyes, const render::Scene &scene, double x, double y,
                           FilmPosition &rightGuess, render::Rgb *view) {
    PixelParallax result;
    const FilmPosition left = eyes.film(Eye::left, x, y);
    Ray leftRay;
    if (!eyes.ray(left, leftRay)) {
        return result;
    }
    const render::Hit hit = scene.trace(leftRay);
    if (view != nullptr) {
        *view = scene.shade(leftRay, hit).colour;
    }
    const bool sky = !std::isfinite(hit.distance);
    const Target target{sky ? leftRay.direction : hit.point, sky};
    result.distance = static_cast<float>(hit.distance);

    FilmPosition right;
    if (!eyes.find(Eye::right, target, rightGuess, right) || !eyes.inView(Eye::right, right)) {
        result.seen = Seen::outside;
        return result;
    }
    rightGuess = right;
    Ray rightRay;
    if (!eyes.ray(right, rightRay)) {
        return result;
    }
    const render::Hit rightHit = scene.trace(rightRay);
    if (sky) {
        result.seen = std::isfinite(rightHit.distance) ? Seen::hidden : Seen::both;
    } else {
        const double expected = length(hit.point - rightRay.origin);
        const double slack = kReachTolerance * expected + 100.0 * scene.shadowOffset;
        result.seen = std::abs(rightHit.distance - expected) <= slack ? Seen::both : Seen::hidden;
    }
    result.horizontal = static_cast<float>(eyes.pixelX(Eye::right, right.x) - x);
    result.vertical = static_cast<float>(eyes.pixelY(right.y) - y);
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
        // Each pixel starts from its left neighbour's answer, a pixel on:
        // near it on the same surface, and a plain guess elsewhere.
        FilmPosition guess = eyes.film(Eye::right, 0.5, y);
        for (int column = 0; column < field.width && !stopping(); ++column) {
            const double x = column * field.stride + 0.5;
            const std::size_t index = static_cast<std::size_t>(row) * field.width + column;
            FilmPosition start = guess;
            start.x += field.stride * film.filmWidth / film.width;
            const PixelParallax measured = measurePixel(
                eyes, scene, x, y, start, settings.view ? &field.view[index] : nullptr);
            field.pixels[index] = measured;
            guess = measured.seen == Seen::outside ? eyes.film(Eye::right, x, y) : start;
        }
    };
    render::forEachRow(field.height, settings.threads, work, {}, stop);
    return field;
}

} // namespace brelvix::parallax
