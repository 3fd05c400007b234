#include "tools/parallax/probe.h"

#include <cmath>
#include <limits>

namespace brelvix::parallax {
namespace {

/// Horizontal parallax in pixels of a point (or direction), or NaN when an
/// eye does not find it.
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

constexpr double kInfinity = std::numeric_limits<double>::infinity();

} // namespace

std::optional<double> zeroParallaxDistance(const EyeRays &eyes) {
    const render::FilmSettings &film = eyes.settings();
    const double cx = 0.25 * film.width;
    const double cy = 0.5 * film.height;
    const FilmPosition leftCentre = eyes.film(Eye::left, cx, cy);
    const FilmPosition rightCentre = eyes.film(Eye::right, cx, cy);
    Ray left;
    Ray right;
    Vec3 forward;
    if (!eyes.ray(leftCentre, left, forward) || !eyes.ray(rightCentre, right)) {
        return std::nullopt;
    }
    const Vec3 middle = (left.origin + right.origin) * 0.5;
    const double base = length(right.origin - left.origin);
    const auto at = [&](double distance) {
        const Target target = distance == kInfinity ? Target{forward, true}
                                                    : Target{middle + forward * distance, false};
        return parallaxOf(eyes, target, leftCentre, rightCentre);
    };
    // Zero at infinity (to the iteration's precision): a parallel rig.
    const double far = at(kInfinity);
    if (!(far > 0.01) || !(base > 0.0)) {
        return std::nullopt;
    }
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

Suggestion suggestEyeDistance(double current, const FrameFigures &atCurrent, const Budget &budget,
                              const MeasureAt &measure) {
    Suggestion suggestion;
    if (!(current > 0.0)) {
        return suggestion;
    }
    const FrameFigures atZero = measure(0.0, false);
    ++suggestion.measurements;
    if (!horizontalWithin(atZero, budget)) {
        return suggestion;
    }
    // The largest distance known within and the smallest known outside.
    double within = 0.0;
    double outside = kInfinity;
    (horizontalWithin(atCurrent, budget) ? within : outside) = current;
    // The last two measurements, for the straight line.
    double s0 = 0.0;
    FrameFigures f0 = atZero;
    double s1 = current;
    FrameFigures f1 = atCurrent;
    const double far = budget.farLimitPercent();
    for (int step = 0; step < 8; ++step) {
        double candidate = 100.0 * current;
        const auto bound = [&](double a, double b, double limit, bool upper) {
            const double slope = (b - a) / (s1 - s0);
            const double grows = upper ? slope : -slope;
            if (grows > 0.0) {
                candidate = std::min(candidate, s0 + (limit - a) / slope);
            }
        };
        bound(f0.near1.percent, f1.near1.percent, budget.nearPercent, false);
        bound(f0.far99.percent, f1.far99.percent, far, true);
        // A little inside the line's answer, for its curvature.
        candidate *= 0.995;
        if (!(candidate > within) || !(candidate < outside)) {
            candidate = outside == kInfinity ? 2.0 * within : 0.5 * (within + outside);
        }
        // Close enough between the two, or nothing left to gain.
        if ((outside < kInfinity && outside - within <= 0.02 * outside) ||
            candidate <= within * 1.005) {
            break;
        }
        const FrameFigures figures = measure(candidate, false);
        ++suggestion.measurements;
        (horizontalWithin(figures, budget) ? within : outside) = candidate;
        s0 = s1;
        f0 = f1;
        s1 = candidate;
        f1 = figures;
    }
    // The coarse grid can miss a few pixels: check every pixel, stepping
    // back while that is over.
    for (int attempt = 0; attempt < 4 && within > 0.0; ++attempt) {
        suggestion.figures = measure(within, true);
        ++suggestion.measurements;
        if (horizontalWithin(suggestion.figures, budget)) {
            suggestion.eyeDistance = within;
            return suggestion;
        }
        within *= 0.97;
    }
    suggestion.eyeDistance = 0.0;
    suggestion.figures = atZero;
    return suggestion;
}

} // namespace brelvix::parallax
