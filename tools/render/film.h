// Rendering the film through a lens: one camera ray per film sample, traced on
// several threads.
//
// Pixel (px, py) of a `width` by `height` image covers film positions
//
//     filmX = ((px + sx) / width - 0.5) * filmWidth
//     filmY = (0.5 - (py + sy) / height) * filmHeight
//
// for sx, sy in [0, 1): rows run from the top of the film to its bottom, and
// the left half of the image (filmX < 0) is the left eye's. Each pixel takes
// `samplesPerPixel` samples whose film, lens and shutter positions are each
// stratified: the film and lens positions on jittered grids (the lens one
// mapped onto the unit disc), the shutter records in equal shares, the three
// paired in an order shuffled per pixel.
//
// The shutter is rendered as a host that renders it in passes does: the lens
// holds 4 x motion steps + 1 records of the camera, evenly spaced from the
// frame's start to its end, and uses for a shutter fraction the record at or
// below it. Uniform fractions would give the last record (the frame's end)
// no share at all and put the blur's weight before the middle of the
// shutter, so each sample names one record, every record (the first and the
// last included) an equal share of the samples: the fraction of record r of
// n intervals is (r + 0.5) / n, and 1 for the last. The random numbers of a
// pixel come from a seed made of the pixel's position alone, so the image is
// the same whatever the number of threads; the position is taken within the
// pixel's half of the image, so that the two eyes see through the same
// sample pattern and differ only where the lens makes them differ.
//
// The film is rendered in square tiles of kTileSize pixels a side, the
// tiles of a row of tiles on one thread: the lens is called for every
// sample of a tile (one ray at a time, as the host calls it), then the
// tile's rays go to the shader at once, one sample of each of its pixels
// after the other, so that neighbouring rays of the batch are neighbours on
// the film and can be traced together.
#ifndef BRELVIX_TOOLS_RENDER_FILM_H
#define BRELVIX_TOOLS_RENDER_FILM_H

#include "interface/host_services.h"
#include "tools/render/row_pool.h"
#include "tools/render/vec3.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <vector>

namespace brelvix::render {

struct FilmSettings {
    int width = 960;
    int height = 320;
    /// Film size in the module's film units (metres).
    double filmWidth = 0.072;
    double filmHeight = 0.024;
    int samplesPerPixel = 16;
    /// Off: every ray passes through the lens centre.
    bool depthOfField = true;
    /// The frame's motion steps: the lens's table has 4 x motionSteps + 1
    /// records; 0 is one record, no motion blur.
    int motionSteps = 1;
    uint64_t seed = 0;
};

/// The lens's ray evaluation as the host calls it, bound to one instance.
/// Several threads call it at once.
struct LensRays {
    int (*evaluate)(void *instance, double filmX, double filmY, double lensX, double lensY,
                    double shutterFraction, CameraRay *ray) = nullptr;
    void *instance = nullptr;
};

/// Pixels a side of the tiles the film is rendered in.
inline constexpr int kTileSize = 4;

/// The moment within the shutter (0 to 1) of the lens's record that a
/// shutter fraction names: record r = min(floor(fraction x 4 x motionSteps),
/// 4 x motionSteps) of the frame's table, at r / (4 x motionSteps). 0
/// without motion steps.
inline double shutterTime(int motionSteps, double fraction) {
    const int intervals = 4 * motionSteps;
    if (intervals <= 0) {
        return 0.0;
    }
    const double record =
        std::clamp(std::floor(fraction * intervals), 0.0, static_cast<double>(intervals));
    return record / intervals;
}

/// The lens's ray as the renderer traces it, at `time` within the shutter.
inline Ray toRay(const CameraRay &ray, double time = 0.0) {
    return {{ray.origin[0], ray.origin[1], ray.origin[2]},
            {ray.direction[0], ray.direction[1], ray.direction[2]},
            time};
}

/// What a camera ray sees: its linear colour and the distance along it to
/// the first surface (infinite for the sky).
struct ShadedRay {
    // Not explicit: a shader that knows only colours gives the sky's distance.
    ShadedRay(Rgb colour, double distance = std::numeric_limits<double>::infinity())
        : colour(colour), distance(distance) {}
    ShadedRay() : ShadedRay(Rgb{}) {}
    Rgb colour;
    double distance;
};

/// What a camera ray sees. Called on several threads at once.
using RayShader = std::function<ShadedRay(const Ray &)>;

/// What the camera rays of one tile see: `seen[i]` for `rays[i]` (as many as
/// rays). Returns how many of the rays it traced in packets. Called on
/// several threads at once.
using BatchShader =
    std::function<std::size_t(std::span<const Ray> rays, std::span<ShadedRay> seen)>;

/// Linear RGB pixels, row by row from the top, and per pixel the nearest
/// distance any of its rays met (infinite where all saw the sky).
struct Image {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;
    std::vector<float> depth;

    const Rgb &at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

/// One film sample's positions.
struct FilmSample {
    double filmX;
    double filmY;
    /// On the unit disc; 0, 0 with depth of field off.
    double lensX;
    double lensY;
    double shutterFraction;
};

/// Fills `samples` (resized to settings.samplesPerPixel) with the samples of
/// pixel (px, py).
void pixelSamples(const FilmSettings &settings, int px, int py, std::vector<FilmSample> &samples);

/// The shutter fraction that names record `record` (0 to 4 x motionSteps)
/// of the lens's table, well inside the record's interval.
inline double recordFraction(int motionSteps, int record) {
    const int intervals = 4 * motionSteps;
    if (intervals <= 0) {
        return 0.0;
    }
    // The lens truncates fraction x intervals: half an interval of margin
    // keeps the rounding of the quotient from naming the record below. The
    // last record's quotient is above 1, its fraction 1.
    return std::min((record + 0.5) * (1.0 / intervals), 1.0);
}

/// Concentric map of the unit square onto the unit disc.
void squareToDisc(double u, double v, double &x, double &y);

struct RenderStats {
    uint64_t rays = 0;
    /// Render threads that ran: no more than the image has rows.
    int threads = 0;
    /// Rays for which the lens gave none (no table): shown black.
    uint64_t missedRays = 0;
    /// Camera rays the shader traced in packets.
    uint64_t packetRays = 0;
    double seconds = 0.0;
};

/// Renders the film on `threads` threads (at least one, no more than the
/// rows of tiles), each tile's rays through `shader` at once. `progress`, if set, is called now and
/// then on the calling thread while the workers run, and once at the end. When `stop` turns
/// non-zero the workers leave the pixels they have not begun black and return. An exception of a
/// worker (std::bad_alloc) stops the others and is thrown again here once all are joined.
Image renderFilm(const FilmSettings &settings, const LensRays &lens, const BatchShader &shader,
                 int threads, const ProgressReport &progress = {}, RenderStats *stats = nullptr,
                 const std::atomic<int> *stop = nullptr);

/// The same with each ray through `shader` on its own.
Image renderFilm(const FilmSettings &settings, const LensRays &lens, const RayShader &shader,
                 int threads, const ProgressReport &progress = {}, RenderStats *stats = nullptr,
                 const std::atomic<int> *stop = nullptr);

} // namespace brelvix::render

#endif
