#include "tools/render/film.h"

#include <algorithm>
#include <array>
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

    /// Uniform in [0, 1). (Converted as a signed number, which it fits: the
    /// unsigned conversion takes a branch.)
    double uniform() { return static_cast<double>(static_cast<int64_t>(next() >> 11)) * 0x1.0p-53; }

    /// Two numbers uniform in [0, 1), each of 32 bits, from one draw: a
    /// jitter within a stratum needs no finer steps.
    void uniformPair(double &a, double &b) {
        const uint64_t bits = next();
        a = static_cast<double>(static_cast<uint32_t>(bits >> 32)) * 0x1.0p-32;
        b = static_cast<double>(static_cast<uint32_t>(bits)) * 0x1.0p-32;
    }

    /// Uniform in [0, bound), for a bound below 2^32: the draw's top 32
    /// bits scaled by the bound.
    std::size_t below(std::size_t bound) {
        return static_cast<std::size_t>(((next() >> 32) * static_cast<uint64_t>(bound)) >> 32);
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

namespace {

/// Sine and cosine of an angle within [-pi/4, pi/4], by their Taylor series
/// to the a^15 and a^16 terms, whose remainders there are below 5e-17: as
/// exact as the library's and without its range reduction. The terms are
/// summed in pairs (Estrin's scheme) rather than one after the other, so
/// that the processor can work on several at once.
void quarterSinCos(double angle, double &sine, double &cosine) {
    constexpr auto term = [](int power) {
        double factorial = 1.0;
        for (int k = 2; k <= power; ++k) {
            factorial *= k;
        }
        return ((power / 2) % 2 == 0 ? 1.0 : -1.0) / factorial;
    };
    const double a2 = angle * angle;
    const double a4 = a2 * a2;
    const double a8 = a4 * a4;
    // sin a / a and cos a as polynomials in a^2.
    const double s01 = term(1) + term(3) * a2;
    const double s23 = term(5) + term(7) * a2;
    const double s45 = term(9) + term(11) * a2;
    const double s67 = term(13) + term(15) * a2;
    const double c01 = term(0) + term(2) * a2;
    const double c23 = term(4) + term(6) * a2;
    const double c45 = term(8) + term(10) * a2;
    const double c67 = term(12) + term(14) * a2;
    sine = angle * ((s01 + s23 * a4) + (s45 + s67 * a4) * a8);
    cosine = (c01 + c23 * a4) + ((c45 + c67 * a4) + term(16) * a8) * a8;
}

/// squareToDisc, inlined into the samples of a pixel.
void discPoint(double u, double v, double &x, double &y) {
    const double a = 2.0 * u - 1.0;
    const double b = 2.0 * v - 1.0;
    if (a == 0.0 && b == 0.0) {
        x = y = 0.0;
        return;
    }
    // Angle pi/4 b/a in the left and right quarters; pi/2 - pi/4 a/b in
    // the top and bottom ones, whose cosine is the sine of pi/4 a/b.
    const bool sideways = std::abs(a) > std::abs(b);
    const double radius = sideways ? a : b;
    double sine = 0.0;
    double cosine = 0.0;
    quarterSinCos(std::numbers::pi / 4.0 * ((sideways ? b : a) / radius), sine, cosine);
    x = radius * (sideways ? cosine : sine);
    y = radius * (sideways ? sine : cosine);
}

} // namespace

void squareToDisc(double u, double v, double &x, double &y) { discPoint(u, v, x, y); }

namespace {

/// The samples of pixel (px, py), and with `twin` those of its twin in the
/// right eye's half, (px + width / 2, py) for px in the left one, which draw
/// the same numbers: the same as two calls of pixelSamples, for the price
/// of one.
void fillSamples(const FilmSettings &settings, int px, int py, std::vector<FilmSample> &samples,
                 std::vector<FilmSample> *twin) {
    const int count = std::max(settings.samplesPerPixel, 1);
    samples.resize(static_cast<std::size_t>(count));
    if (twin != nullptr) {
        twin->resize(samples.size());
    }
    // Both eyes' pixels at one place in their halves draw the same numbers.
    const int halfWidth = settings.width / 2;
    Random random(pixelSeed(settings.seed, halfWidth > 0 ? px % halfWidth : px, py));
    const int columns = gridColumns(count);
    const int rows = count / columns;
    const double width = settings.width;
    const double height = settings.height;
    const int records = 4 * std::max(settings.motionSteps, 0) + 1;

    const double toColumn = 1.0 / columns;
    const double toRow = 1.0 / rows;
    const double toSlice = 1.0 / count;
    const double filmX = settings.filmWidth / width;
    const double filmY = settings.filmHeight / height;
    int column = 0;
    int row = 0;
    for (int i = 0; i < count; ++i) {
        FilmSample &sample = samples[static_cast<std::size_t>(i)];
        // Film position: stratum i of the pixel's grid, jittered.
        double jitterX = 0.0;
        double jitterY = 0.0;
        random.uniformPair(jitterX, jitterY);
        const double sx = (column + jitterX) * toColumn;
        const double sy = (row + jitterY) * toRow;
        sample.filmX = (px + sx - 0.5 * width) * filmX;
        sample.filmY = (0.5 * height - (py + sy)) * filmY;
        if (twin != nullptr) {
            const int twinX = px + halfWidth;
            (*twin)[static_cast<std::size_t>(i)].filmX = (twinX + sx - 0.5 * width) * filmX;
            (*twin)[static_cast<std::size_t>(i)].filmY = sample.filmY;
        }
        // Lens position: stratum i of the lens's grid, mapped onto the disc
        // below.
        if (settings.depthOfField) {
            random.uniformPair(jitterX, jitterY);
            sample.lensX = (column + jitterX) * toColumn;
            sample.lensY = (row + jitterY) * toRow;
        } else {
            sample.lensX = sample.lensY = 0.0;
        }
        // Shutter: slice i of [0, 1), jittered, names one of the records.
        const double slice = (i + random.uniform()) * toSlice;
        const int record = std::min(static_cast<int>(slice * records), records - 1);
        sample.shutterFraction = recordFraction(settings.motionSteps, record);
        if (++column == columns) {
            column = 0;
            ++row;
        }
    }
    // The disc in a loop of its own: its chain of division and series
    // overlaps from sample to sample.
    if (settings.depthOfField) {
        for (FilmSample &sample : samples) {
            discPoint(sample.lensX, sample.lensY, sample.lensX, sample.lensY);
        }
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
    if (twin != nullptr) {
        for (std::size_t i = 0; i < samples.size(); ++i) {
            FilmSample &other = (*twin)[i];
            other.lensX = samples[i].lensX;
            other.lensY = samples[i].lensY;
            other.shutterFraction = samples[i].shutterFraction;
        }
    }
}

} // namespace

void pixelSamples(const FilmSettings &settings, int px, int py, std::vector<FilmSample> &samples) {
    fillSamples(settings, px, py, samples, nullptr);
}

namespace {

/// One worker's tiles: the samples of a tile's pixels, its rays and what
/// they saw, kept from tile to tile so that a tile allocates nothing.
class TileWork {
  public:
    TileWork(const FilmSettings &settings, const LensRays &lens, const BatchShader &shader,
             Image &image)
        : settings_(settings), lens_(lens), shader_(shader), image_(image) {
        const std::size_t perTile = static_cast<std::size_t>(kTileSize * kTileSize) *
                                    static_cast<std::size_t>(std::max(settings.samplesPerPixel, 1));
        rays_.reserve(perTile);
        owners_.reserve(perTile);
        seen_.reserve(perTile);
    }

    /// Renders the tile whose top left pixel is (x0, y0), and with `twins`
    /// the tile x0 + width / 2 of the right eye's half too (x0 in the left
    /// one), whose pixels draw the same numbers.
    void render(int x0, int y0, bool twins) {
        const int columns = std::min(kTileSize, settings_.width - x0);
        const int rows = std::min(kTileSize, settings_.height - y0);
        const int pixels = columns * rows;
        for (int p = 0; p < pixels; ++p) {
            fillSamples(settings_, x0 + p % columns, y0 + p / columns, samples_[p],
                        twins ? &twinSamples_[p] : nullptr);
        }
        shade(x0, y0, columns, rows, samples_);
        if (twins) {
            shade(x0 + settings_.width / 2, y0, columns, rows, twinSamples_);
        }
    }

    uint64_t missed = 0;
    uint64_t packetRays = 0;

  private:
    using TileSamples = std::array<std::vector<FilmSample>, kTileSize * kTileSize>;

    /// The tile's rays through the lens and the shader, and its pixels.
    void shade(int x0, int y0, int columns, int rows, const TileSamples &samples) {
        const int pixels = columns * rows;
        // One sample of every pixel, then the next: neighbours on the film
        // are neighbours in the batch.
        rays_.clear();
        owners_.clear();
        const std::size_t count = samples[0].size();
        for (std::size_t s = 0; s < count; ++s) {
            for (int p = 0; p < pixels; ++p) {
                const FilmSample &sample = samples[p][s];
                CameraRay ray{};
                if (lens_.evaluate(lens_.instance, sample.filmX, sample.filmY, sample.lensX,
                                   sample.lensY, sample.shutterFraction, &ray) == 0) {
                    ++missed;
                    continue;
                }
                rays_.push_back(
                    toRay(ray, shutterTime(settings_.motionSteps, sample.shutterFraction)));
                owners_.push_back(static_cast<uint8_t>(p));
            }
        }
        seen_.resize(rays_.size());
        packetRays += shader_(rays_, seen_);

        std::array<Rgb, kTileSize * kTileSize> sums{};
        std::array<double, kTileSize * kTileSize> nearest{};
        nearest.fill(std::numeric_limits<double>::infinity());
        for (std::size_t i = 0; i < rays_.size(); ++i) {
            sums[owners_[i]] = sums[owners_[i]] + seen_[i].colour;
            nearest[owners_[i]] = std::min(nearest[owners_[i]], seen_[i].distance);
        }
        for (int p = 0; p < pixels; ++p) {
            const std::size_t pixel = static_cast<std::size_t>(y0 + p / columns) *
                                          static_cast<std::size_t>(image_.width) +
                                      static_cast<std::size_t>(x0 + p % columns);
            image_.pixels[pixel] = sums[p] * (1.0 / static_cast<double>(count));
            image_.depth[pixel] = static_cast<float>(nearest[p]);
        }
    }

    const FilmSettings &settings_;
    const LensRays &lens_;
    const BatchShader &shader_;
    Image &image_;
    TileSamples samples_;
    TileSamples twinSamples_;
    std::vector<Ray> rays_;
    /// The tile's pixel of each ray.
    std::vector<uint8_t> owners_;
    std::vector<ShadedRay> seen_;
};

} // namespace

Image renderFilm(const FilmSettings &settings, const LensRays &lens, const BatchShader &shader,
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
    std::atomic<uint64_t> packetRays{0};
    const auto start = std::chrono::steady_clock::now();

    const RowWork work = [&](int tileRow, const StopCheck &stopping) {
        TileWork tiles(settings, lens, shader, image);
        // Each tile of the left eye's half with its twin in the right one,
        // where the halves split into whole tiles.
        const int half = settings.width / 2;
        const bool twins = half > 0 && half % kTileSize == 0 && settings.width % 2 == 0;
        const int end = twins ? half : settings.width;
        for (int x0 = 0; x0 < end && !stopping(); x0 += kTileSize) {
            tiles.render(x0, tileRow * kTileSize, twins);
        }
        missed += tiles.missed;
        packetRays += tiles.packetRays;
    };
    // Progress in rows of pixels, however many rows a tile has.
    const ProgressReport rowProgress =
        progress ? ProgressReport([&](std::int64_t done, std::int64_t) {
            progress(std::min<std::int64_t>(done * kTileSize, settings.height), settings.height);
        })
                 : ProgressReport();
    const int tileRows = (settings.height + kTileSize - 1) / kTileSize;
    const int workers = forEachRow(tileRows, threads, work, rowProgress, stop);

    if (stats != nullptr) {
        stats->threads = workers;
        stats->rays = static_cast<uint64_t>(image.pixels.size()) *
                      static_cast<uint64_t>(std::max(settings.samplesPerPixel, 1));
        stats->missedRays = missed.load();
        stats->packetRays = packetRays.load();
        stats->seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    return image;
}

Image renderFilm(const FilmSettings &settings, const LensRays &lens, const RayShader &shader,
                 int threads, const ProgressReport &progress, RenderStats *stats,
                 const std::atomic<int> *stop) {
    const BatchShader eachRay = [&shader](std::span<const Ray> rays, std::span<ShadedRay> seen) {
        for (std::size_t i = 0; i < rays.size(); ++i) {
            seen[i] = shader(rays[i]);
        }
        return std::size_t{0};
    };
    return renderFilm(settings, lens, eachRay, threads, progress, stats, stop);
}

} // namespace brelvix::render
