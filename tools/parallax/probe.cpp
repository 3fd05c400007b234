#include "tools/parallax/probe.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace brelvix::parallax {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

/// Parallax at infinity within this many pixels of zero counts as none.
constexpr double kParallelPixels = 0.01;

/// The distance along `forward` from `middle` where the centre line's
/// parallax, behind the screen at infinity, crosses zero.
std::optional<double> crossing(const EyeRays &eyes, Vec3 middle, Vec3 forward, double base,
                               FilmPosition leftCentre, FilmPosition rightCentre) {
    const auto at = [&](double distance) {
        return parallaxOf(eyes, {middle + forward * distance, false}, leftCentre, rightCentre);
    };
    // Out from the eye distance in doublings to the first point on or
    // behind the screen, then halving the step between it and the last one
    // in front, on a logarithmic scale.
    double nearDistance = base;
    double value = at(nearDistance);
    if (value >= 0.0) {
        return nearDistance;
    }
    double farDistance = nearDistance;
    for (int i = 0; i < 80 && !(value >= 0.0); ++i) {
        nearDistance = farDistance;
        farDistance *= 2.0;
        value = at(farDistance);
    }
    if (!(value >= 0.0)) {
        return std::nullopt;
    }
    for (int i = 0; i < 60; ++i) {
        const double middleDistance = std::sqrt(nearDistance * farDistance);
        (at(middleDistance) < 0.0 ? nearDistance : farDistance) = middleDistance;
    }
    return std::sqrt(nearDistance * farDistance);
}

/// Each NaN of a row takes its nearest found neighbour's value: where an
/// eye does not see infinity, its parallax goes on as it went.
void fillGaps(std::vector<double>::iterator row, int count) {
    for (int pass = 0; pass < 2; ++pass) {
        double last = std::numeric_limits<double>::quiet_NaN();
        for (int i = 0; i < count; ++i) {
            double &value = row[pass == 0 ? i : count - 1 - i];
            value = std::isnan(value) ? last : value;
            last = value;
        }
    }
}

} // namespace

const char *kindName(RigKind kind) {
    switch (kind) {
    case RigKind::converged:
        return "converged";
    case RigKind::diverged:
        return "diverged";
    case RigKind::parallel:
        break;
    }
    return "parallel";
}

double parallaxOf(const EyeRays &eyes, const Target &target, FilmPosition leftGuess,
                  FilmPosition rightGuess) {
    FilmPosition left;
    FilmPosition right;
    if (!eyes.find(Eye::left, target, leftGuess, left) ||
        !eyes.find(Eye::right, target, rightGuess, right)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return eyes.pixelX(Eye::right, right.x) - eyes.pixelX(Eye::left, left.x);
}

double centreParallaxAtInfinity(const EyeRays &eyes) {
    const render::FilmSettings &film = eyes.settings();
    const FilmPosition leftCentre = eyes.film(Eye::left, 0.25 * film.width, 0.5 * film.height);
    const FilmPosition rightCentre = eyes.film(Eye::right, 0.25 * film.width, 0.5 * film.height);
    Ray left;
    Vec3 forward;
    if (!eyes.ray(leftCentre, left, forward)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return parallaxOf(eyes, {forward, true}, leftCentre, rightCentre);
}

RigShape rigShape(const EyeRays &eyes) {
    const render::FilmSettings &film = eyes.settings();
    const double cx = 0.25 * film.width;
    const double cy = 0.5 * film.height;
    const FilmPosition leftCentre = eyes.film(Eye::left, cx, cy);
    const FilmPosition rightCentre = eyes.film(Eye::right, cx, cy);
    Ray left;
    Ray right;
    Vec3 forward;
    if (!eyes.ray(leftCentre, left, forward) || !eyes.ray(rightCentre, right)) {
        return {};
    }
    const double far = centreParallaxAtInfinity(eyes);
    if (far < -kParallelPixels) {
        return {RigKind::diverged, std::nullopt};
    }
    const double base = length(right.origin - left.origin);
    if (!(far > kParallelPixels) || !(base > 0.0)) {
        return {};
    }
    const Vec3 middle = (left.origin + right.origin) * 0.5;
    return {RigKind::converged, crossing(eyes, middle, forward, base, leftCentre, rightCentre)};
}

InfinityParallax::InfinityParallax(const EyeRays &eyes, int step) : step_(std::max(step, 1)) {
    const render::FilmSettings &film = eyes.settings();
    const int eyeWidth = film.width / 2;
    columns_ = (eyeWidth - 1) / step_ + 2;
    rows_ = (film.height - 1) / step_ + 2;
    values_.assign(static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_),
                   std::numeric_limits<double>::quiet_NaN());
    for (int row = 0; row < rows_; ++row) {
        const double y = std::min(row * step_ + 0.5, film.height - 0.5);
        FilmPosition rightGuess = eyes.film(Eye::right, 0.5, y);
        for (int column = 0; column < columns_; ++column) {
            const double x = std::min(column * step_ + 0.5, eyeWidth - 0.5);
            const FilmPosition left = eyes.film(Eye::left, x, y);
            Ray ray;
            FilmPosition right;
            if (!eyes.ray(left, ray) ||
                !eyes.find(Eye::right, {ray.direction, true}, rightGuess, right)) {
                continue;
            }
            rightGuess = right;
            values_[static_cast<std::size_t>(row * columns_ + column)] =
                eyes.pixelX(Eye::right, right.x) - x;
        }
        fillGaps(values_.begin() + row * columns_, columns_);
    }
}

double InfinityParallax::at(double x, double y) const {
    const double gx = std::clamp((x - 0.5) / step_, 0.0, columns_ - 1.0);
    const double gy = std::clamp((y - 0.5) / step_, 0.0, rows_ - 1.0);
    const int x0 = std::min(static_cast<int>(gx), columns_ - 2);
    const int y0 = std::min(static_cast<int>(gy), rows_ - 2);
    const double fx = gx - x0;
    const double fy = gy - y0;
    const auto value = [&](int cx, int cy) {
        return values_[static_cast<std::size_t>(cy * columns_ + cx)];
    };
    return (value(x0, y0) * (1 - fx) + value(x0 + 1, y0) * fx) * (1 - fy) +
           (value(x0, y0 + 1) * (1 - fx) + value(x0 + 1, y0 + 1) * fx) * fy;
}

} // namespace brelvix::parallax
