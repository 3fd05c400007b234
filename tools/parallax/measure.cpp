#include "tools/parallax/measure.h"

#include "tools/parallax/huge_pages.h"

#include "tools/render/display_image.h"
#include "tools/render/row_pool.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <vector>

namespace brelvix::parallax {
namespace {

/// How far the other eye's ray may end from the point and still reach it,
/// as a share of the distance: the position is found to 1/100 pixel, which
/// at a grazing angle moves the hit along the surface.
constexpr double kReachTolerance = 2e-3;

/// What the other eye is asked to find: the point at `distance` along the
/// ray (where the tracer puts its hit), or the ray's direction when it met
/// the sky.
Target targetOf(const Ray &ray, double distance) {
    const bool sky = !std::isfinite(distance);
    return {sky ? ray.direction : ray.origin + ray.direction * distance, sky};
}

/// Whether the other eye's ray from where it sees the target reaches the
/// target before anything else.
Seen seenBy(const Target &target, const Ray &otherRay, const render::Hit &otherHit,
            const render::Scene &scene) {
    if (target.atInfinity) {
        return std::isfinite(otherHit.distance) ? Seen::hidden : Seen::both;
    }
    const double expected = length(target.point - otherRay.origin);
    const double slack = kReachTolerance * expected + 100.0 * scene.shadowOffset;
    return std::abs(otherHit.distance - expected) <= slack ? Seen::both : Seen::hidden;
}

/// The parallax from `from`'s pixel (x, y) to the other eye's film position
/// `found`.
void setParallax(const EyeRays &eyes, Eye from, double x, double y, FilmPosition found,
                 PixelParallax &result) {
    const Eye other = from == Eye::left ? Eye::right : Eye::left;
    const double sign = from == Eye::left ? 1.0 : -1.0;
    result.horizontal = static_cast<float>(sign * (eyes.pixelX(other, found.x) - x));
    result.vertical = static_cast<float>(sign * (eyes.pixelY(found.y) - y));
}

/// One row's rays, kept from row to row on each thread.
struct RowBuffers {
    /// The left eye's rays the lens gave, and their columns.
    std::vector<Ray> rays;
    std::vector<int> columns;
    /// What each met: from the shading when the view is kept, else from
    /// the hits.
    std::vector<double> distances;
    std::vector<render::Hit> hits;
    std::vector<render::ShadedRay> shaded;
    /// The other eye's rays from the positions found, and their places in
    /// `rays`.
    std::vector<Ray> otherRays;
    std::vector<std::size_t> from;
    std::vector<render::Hit> otherHits;
};

thread_local RowBuffers rowBuffers;

/// A row of the field, in three passes: the left eye's rays traced (and
/// shaded for the view) together, the right eye's position of each pixel
/// found in turn through the lens alone, the right eye's rays from there
/// traced together.
class RowMeasure {
  public:
    RowMeasure(const EyeRays &eyes, const render::Scene &scene, ParallaxField &field, bool view)
        : eyes_(eyes), scene_(scene), field_(field), view_(view), buffers_(rowBuffers) {}

    void measure(int row, const render::StopCheck &stopping) {
        const double y = row * field_.stride + 0.5;
        traceLeft(row, y);
        if (stopping()) {
            return;
        }
        findRight(row, y);
        if (stopping()) {
            return;
        }
        traceRight(row);
    }

  private:
    std::size_t index(int row, int column) const {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(field_.width) +
               static_cast<std::size_t>(column);
    }

    void traceLeft(int row, double y) {
        RowBuffers &b = buffers_;
        b.rays.clear();
        b.columns.clear();
        for (int column = 0; column < field_.width; ++column) {
            Ray ray;
            if (eyes_.ray(eyes_.film(Eye::left, column * field_.stride + 0.5, y), ray)) {
                b.rays.push_back(ray);
                b.columns.push_back(column);
            }
        }
        b.distances.resize(b.rays.size());
        if (!view_) {
            b.hits.resize(b.rays.size());
            trace(b.rays, b.hits);
            for (std::size_t i = 0; i < b.rays.size(); ++i) {
                b.distances[i] = b.hits[i].distance;
            }
            return;
        }
        b.shaded.resize(b.rays.size());
        scene_.shadeAll(b.rays, b.shaded);
        for (std::size_t i = 0; i < b.rays.size(); ++i) {
            field_.light[index(row, b.columns[i])] = brightness(b.shaded[i].colour);
            b.distances[i] = b.shaded[i].distance;
        }
    }

    void trace(std::span<const Ray> rays, std::span<render::Hit> hits) {
        scene_.traceAll(rays, hits);
    }
    void findRight(int row, double y);
    void traceRight(int row);

    const EyeRays &eyes_;
    const render::Scene &scene_;
    ParallaxField &field_;
    const bool view_;
    RowBuffers &buffers_;
};

void RowMeasure::findRight(int row, double y) {
    RowBuffers &b = buffers_;
    b.otherRays.clear();
    b.from.clear();
    // Each pixel starts from its left neighbour's answer moved on as the
    // answers last moved (a pixel on, at first): near it on the same
    // surface, and a plain guess elsewhere.
    const render::FilmSettings &film = eyes_.settings();
    const double pixelStep = field_.stride * film.filmWidth / film.width;
    FilmPosition guess = eyes_.film(Eye::right, 0.5, y);
    FilmPosition step{pixelStep, 0.0};
    Jacobian jacobian;
    std::size_t next = 0;
    for (int column = 0; column < field_.width; ++column) {
        const double x = column * field_.stride + 0.5;
        FilmPosition start{guess.x + step.x, guess.y + step.y};
        bool found = false;
        if (next < b.columns.size() && b.columns[next] == column) {
            const Target target = targetOf(b.rays[next], b.distances[next]);
            PixelParallax &pixel = field_.pixels[index(row, column)];
            pixel.distance = static_cast<float>(b.distances[next]);
            FilmPosition position;
            Ray otherRay;
            if (eyes_.find(Eye::right, target, start, position, &jacobian, &otherRay) &&
                eyes_.inView(Eye::right, position)) {
                found = true;
                start = position;
                setParallax(eyes_, Eye::left, x, y, position, pixel);
                b.otherRays.push_back(otherRay);
                b.from.push_back(next);
            }
            ++next;
        }
        step = {start.x - guess.x, start.y - guess.y};
        if (!found || std::abs(step.x - pixelStep) > 0.5 * pixelStep ||
            std::abs(step.y) > 0.5 * pixelStep) {
            step = {pixelStep, 0.0};
        }
        guess = found ? start : eyes_.film(Eye::right, x, y);
    }
}

void RowMeasure::traceRight(int row) {
    RowBuffers &b = buffers_;
    b.otherHits.resize(b.otherRays.size());
    trace(b.otherRays, b.otherHits);
    for (std::size_t i = 0; i < b.otherRays.size(); ++i) {
        const std::size_t left = b.from[i];
        field_.pixels[index(row, b.columns[left])].seen = seenBy(
            targetOf(b.rays[left], b.distances[left]), b.otherRays[i], b.otherHits[i], scene_);
    }
}

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

double brightness(const render::Rgb &colour) {
    return render::encodeSrgb(0.2126 * colour.x + 0.7152 * colour.y + 0.0722 * colour.z);
}

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
    const Target target = targetOf(fromRay, hit.distance);
    result.distance = static_cast<float>(hit.distance);
    FilmPosition found;
    Ray otherRay;
    if (!eyes.find(other, target, guess, found, reuse, &otherRay) || !eyes.inView(other, found)) {
        return result;
    }
    guess = found;
    result.seen = seenBy(target, otherRay, scene.trace(otherRay), scene);
    setParallax(eyes, from, x, y, found, result);
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
    reserveInHugePages(field.pixels, count);
    field.pixels.assign(count, PixelParallax{});
    if (settings.view) {
        reserveInHugePages(field.light, count);
        field.light.assign(count, 0.0);
    }
    const EyeRays eyes(lens, film, settings.shutterFraction);
    const render::RowWork work = [&](int row, const render::StopCheck &stopping) {
        RowMeasure(eyes, scene, field, settings.view).measure(row, stopping);
    };
    render::forEachRow(field.height, settings.threads, work, {}, stop);
    measureEdges(eyes, scene, field);
    return field;
}

} // namespace brelvix::parallax
