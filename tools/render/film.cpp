#include "tools/render/film.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>

namespace brelvix::render {
namespace {

/// splitmix64: small, fast and good enough for sample jitter.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}

    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    /// Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

    /// Uniform in [0, bound).
    std::size_t below(std::size_t bound) {
        return static_cast<std::size_t>(uniform() * static_cast<double>(bound));
    }

  private:
    uint64_t state_;
};

uint64_t pixelSeed(uint64_t seed, int px, int py) {
    Random mix(seed ^ (static_cast<uint64_t>(static_cast<uint32_t>(py)) << 32 |
                       static_cast<uint32_t>(px)));
    return mix.next();
}

/// Columns of a grid of `count` strata: the largest divisor not above the
/// square root, so that 16 samples make 4 x 4 and 8 make 2 x 4.
int gridColumns(int count) {
    int columns = static_cast<int>(std::sqrt(static_cast<double>(count)));
    while (columns > 1 && count % columns != 0) {
        --columns;
    }
    return std::max(columns, 1);
}

} // namespace

double recordFraction(int motionSteps, int record) {
    const int intervals = 4 * motionSteps;
    if (intervals <= 0) {
        return 0.0;
    }
    // The lens truncates fraction x intervals: half an interval of margin
    // keeps the rounding of the quotient from naming the record below.
    return record >= intervals ? 1.0 : (record + 0.5) / intervals;
}

double shutterTime(int motionSteps, double shutterFraction) {
    const int intervals = 4 * motionSteps;
    if (intervals <= 0) {
        return 0.0;
    }
    const double record =
        std::clamp(std::floor(shutterFraction * intervals), 0.0, static_cast<double>(intervals));
    return record / intervals;
}

void squareToDisc(double u, double v, double &x, double &y) {
    const double a = 2.0 * u - 1.0;
    const double b = 2.0 * v - 1.0;
    if (a == 0.0 && b == 0.0) {
        x = y = 0.0;
        return;
    }
    constexpr double quarterPi = std::numbers::pi / 4.0;
    double radius = 0.0;
    double angle = 0.0;
    if (std::abs(a) > std::abs(b)) {
        radius = a;
        angle = quarterPi * (b / a);
    } else {
        radius = b;
        angle = 2.0 * quarterPi - quarterPi * (a / b);
    }
    x = radius * std::cos(angle);
    y = radius * std::sin(angle);
}

void pixelSamples(const FilmSettings &settings, int px, int py, std::vector<FilmSample> &samples) {
    const int count = std::max(settings.samplesPerPixel, 1);
    samples.resize(static_cast<std::size_t>(count));
    // Both eyes' pixels at one place in their halves draw the same numbers.
    const int halfWidth = settings.width / 2;
    Random random(pixelSeed(settings.seed, halfWidth > 0 ? px % halfWidth : px, py));
    const int columns = gridColumns(count);
    const int rows = count / columns;
    const double width = settings.width;
    const double height = settings.height;
    const int records = 4 * std::max(settings.motionSteps, 0) + 1;

    for (int i = 0; i < count; ++i) {
        FilmSample &sample = samples[static_cast<std::size_t>(i)];
        // Film position: stratum i of the pixel's grid, jittered.
        const double sx = ((i % columns) + random.uniform()) / columns;
        const double sy = ((i / columns) + random.uniform()) / rows;
        sample.filmX = ((px + sx) / width - 0.5) * settings.filmWidth;
        sample.filmY = (0.5 - (py + sy) / height) * settings.filmHeight;
        // Lens position: stratum i of the lens's grid, onto the disc.
        if (settings.depthOfField) {
            const double lu = ((i % columns) + random.uniform()) / columns;
            const double lv = ((i / columns) + random.uniform()) / rows;
            squareToDisc(lu, lv, sample.lensX, sample.lensY);
        } else {
            sample.lensX = sample.lensY = 0.0;
        }
        // Shutter: slice i of [0, 1), jittered, names one of the records.
        const double slice = (i + random.uniform()) / count;
        const int record = std::min(static_cast<int>(slice * records), records - 1);
        sample.shutterFraction = recordFraction(settings.motionSteps, record);
    }
    // Pair the strata at random, so that film, lens and shutter do not move
    // in step.
    for (int i = count - 1; i > 0; --i) {
        const std::size_t j = random.below(static_cast<std::size_t>(i) + 1);
        FilmSample &a = samples[static_cast<std::size_t>(i)];
        FilmSample &b = samples[j];
        std::swap(a.lensX, b.lensX);
        std::swap(a.lensY, b.lensY);
    }
    for (int i = count - 1; i > 0; --i) {
        const std::size_t j = random.below(static_cast<std::size_t>(i) + 1);
        std::swap(samples[static_cast<std::size_t>(i)].shutterFraction, samples[j].shutterFraction);
    }
}

Image renderFilm(const FilmSettings &settings, const LensRays &lens, const RayShader &shader,
                 int threads, const ProgressReport &progress, RenderStats *stats,
                 const std::atomic<int> *stop) {
    Image image;
    image.width = settings.width;
    image.height = settings.height;
    image.pixels.assign(static_cast<std::size_t>(settings.width) *
                            static_cast<std::size_t>(settings.height),
                        Rgb{});
    image.depth.assign(image.pixels.size(), std::numeric_limits<float>::infinity());

    std::atomic<uint64_t> missed{0};
    const auto start = std::chrono::steady_clock::now();

    const RowWork work = [&](int py, const StopCheck &stopping) {
        std::vector<FilmSample> samples;
        uint64_t localMissed = 0;
        for (int px = 0; px < settings.width && !stopping(); ++px) {
            pixelSamples(settings, px, py, samples);
            Rgb sum{};
            double nearest = std::numeric_limits<double>::infinity();
            for (const FilmSample &sample : samples) {
                CameraRay ray{};
                if (lens.evaluate(lens.instance, sample.filmX, sample.filmY, sample.lensX,
                                  sample.lensY, sample.shutterFraction, &ray) == 0) {
                    ++localMissed;
                    continue;
                }
                Ray traced = toRay(ray);
                traced.time = shutterTime(settings.motionSteps, sample.shutterFraction);
                const ShadedRay seen = shader(traced);
                sum = sum + seen.colour;
                nearest = std::min(nearest, seen.distance);
            }
            const std::size_t pixel =
                static_cast<std::size_t>(py) * static_cast<std::size_t>(image.width) +
                static_cast<std::size_t>(px);
            image.pixels[pixel] = sum * (1.0 / static_cast<double>(samples.size()));
            image.depth[pixel] = static_cast<float>(nearest);
        }
        missed += localMissed;
    };
    const int workers = forEachRow(settings.height, threads, work, progress, stop);

    if (stats != nullptr) {
        stats->threads = workers;
        stats->rays = static_cast<uint64_t>(image.pixels.size()) *
                      static_cast<uint64_t>(std::max(settings.samplesPerPixel, 1));
        stats->missedRays = missed.load();
        stats->seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    return image;
}

} // namespace brelvix::render
