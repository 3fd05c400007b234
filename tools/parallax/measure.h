// Parallax measured through the lens: for each pixel of the left eye's image,
// the point its centre ray sees, and where the right eye sees that point.
//
// Each left pixel's centre ray (lens at its centre, no depth of field, at one
// moment of the shutter: its opening unless asked otherwise) is traced to
// the first surface; the sky counts as a point at infinity in the ray's
// direction. The right eye's film position for that point is found with the
// lens's own rays (eye_rays.h). The point is seen by both eyes when that
// position lies in the right eye's half of the film and the right eye's ray
// from there reaches the point before anything else (within a small share of
// its distance); otherwise it is hidden from the right eye, or outside its
// view, and counts in no figure.
//
// The frame's edges are measured from both eyes: the left eye's last column
// and the right eye's first, each the other way round (the point the right
// eye sees, found in the left eye), so that something in front of the screen
// cut by either edge of the frame is found alike.
//
// Horizontal parallax is the right eye's position minus the left's, each in
// pixels of its own eye's image: positive behind the screen, negative in
// front. Vertical parallax likewise, rows counted downward: positive where
// the right eye sees the point lower.
#ifndef BRELVIX_TOOLS_PARALLAX_MEASURE_H
#define BRELVIX_TOOLS_PARALLAX_MEASURE_H

#include "tools/parallax/eye_rays.h"
#include "tools/render/traced_scene.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace brelvix::parallax {

enum class Seen : std::uint8_t {
    both,
    /// Something nearer is in the right eye's way.
    hidden,
    /// Outside the right eye's half of the film (or not found there).
    outside,
};

struct PixelParallax {
    /// Pixels of one eye's image.
    float horizontal = 0.0F;
    float vertical = 0.0F;
    /// From the left eye to the point; infinite for the sky.
    float distance = 0.0F;
    Seen seen = Seen::outside;
};

struct MeasureSettings {
    int threads = 1;
    /// Measures every stride-th pixel of each row and column only.
    int stride = 1;
    /// Also shades each left pixel's ray, for the map's picture.
    bool view = false;
    double shutterFraction = 0.0;
};

/// One frame's measurement over the left eye's image, or a grid of every
/// stride-th pixel of it.
struct ParallaxField {
    /// Of the grid measured.
    int width = 0;
    int height = 0;
    int stride = 1;
    /// One eye's image: half the film's pixels wide.
    int eyeWidth = 0;
    int eyeHeight = 0;
    std::vector<PixelParallax> pixels;
    /// The brightness of the left eye's view, sRGB-encoded, 0 to 1, when
    /// asked for.
    std::vector<double> light;
    /// Every stride-th row of the frame's left edge (the right eye's first
    /// column, measured from the right eye) and of its right edge (the left
    /// eye's last column).
    std::vector<PixelParallax> leftEdge;
    std::vector<PixelParallax> rightEdge;

    const PixelParallax &at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

/// Seen by both eyes in front of the screen, with `shift` pixels added to
/// the right eye's image: less than 1/50 pixel in front is the
/// measurement's own precision.
inline bool inFrontOfScreen(const PixelParallax &pixel, double shift = 0.0) {
    return pixel.seen == Seen::both && pixel.horizontal + shift < -0.02;
}

/// A linear colour's brightness, sRGB-encoded, 0 to 1.
double brightness(const render::Rgb &colour);

/// Measures the frame the lens has prepared, on `settings.threads` threads.
ParallaxField measureParallax(const render::LensRays &lens, const render::FilmSettings &film,
                              const render::Scene &scene, const MeasureSettings &settings,
                              const std::atomic<int> *stop = nullptr);

/// Where the other eye sees the point that `from` sees at its pixel (x, y),
/// with its parallax; the field's measurement for one pixel. `guess` is
/// where to start looking in the other eye, and becomes where it was found.
PixelParallax measurePixel(const EyeRays &eyes, const render::Scene &scene, Eye from, double x,
                           double y, FilmPosition &guess, render::Rgb *view = nullptr,
                           Jacobian *reuse = nullptr);

} // namespace brelvix::parallax

#endif
