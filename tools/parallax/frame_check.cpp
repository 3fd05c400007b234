#include "tools/parallax/frame_check.h"

#include "tools/parallax/huge_pages.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <vector>

namespace brelvix::parallax {
namespace {

/// The advice's measurements take every n-th pixel of each row and column,
/// n up to 4 as long as this many pixels of the eye's image remain.
constexpr int kAdvicePixels = 3600;
/// Grids of fewer pixels are measured on one thread, and fields of fewer
/// pixels have their figures worked out in line: starting a thread costs
/// more than it saves on them.
constexpr long kThreadedPixels = 16384;
constexpr std::size_t kThreadedFigures = 131072;
/// The parallax at infinity is found on a grid of every 8th pixel.
constexpr int kInfinityStep = 8;
/// The eye angle's change for the slope of the parallax, radians.
constexpr double kAngleStep = 1e-3;
/// How far an end of the range is moved in when measured, in turn, as a
/// share of the range: the straight lines are close, not exact.
constexpr double kPullIn[] = {0.002, 0.01, 0.04};

/// The frame's lens, its stereo channels set for a while.
struct Lens {
    const LensFrame &frame;
    const CheckSettings &settings;
    const Budget &budget;
    const std::atomic<int> *stop;
    double eyeDistance;
    double eyeAngle;

    bool set(double distance, double angle, std::string &error) const {
        frame.session.channel(kEyeDistanceChannel)->curve = standin::Curve{distance, {}};
        frame.session.channel(kEyeAngleChannel)->curve = standin::Curve{angle, {}};
        return frame.session.prepareFrame(frame.info, frame.film.filmWidth, frame.film.filmHeight,
                                          error);
    }
    EyeRays eyes() const { return EyeRays(frame.session.rays(), frame.film); }
    int adviceStride() const {
        const double pixels = 0.5 * frame.film.width * frame.film.height;
        return std::clamp(static_cast<int>(std::sqrt(pixels / kAdvicePixels)), 1, 4);
    }
    ParallaxField measure(int stride, bool view = false) const {
        MeasureSettings measure;
        const auto cells = [stride](int pixels) { return (pixels + stride - 1) / stride; };
        const long grid = static_cast<long>(cells(frame.film.width / 2)) * cells(frame.film.height);
        measure.threads = grid < kThreadedPixels ? 1 : settings.threads;
        measure.stride = stride;
        measure.view = view;
        return measureParallax(frame.session.rays(), frame.film, frame.scene, measure, stop);
    }
    /// The frame's figures with the channels set to these values.
    bool figuresAt(double distance, double angle, FrameFigures &figures, std::string &error) const {
        if (!set(distance, angle, error)) {
            return false;
        }
        figures = frameFigures(measure(adviceStride()), budget);
        return true;
    }
    bool interrupted() const { return stop != nullptr && *stop != 0; }
};

/// Each seen pixel's parallax as a line in the eye distance, from its
/// measurement at `distance` and its parallax at infinity (the line's value
/// at 0). What the sky shows does not change with the eye distance.
std::vector<ParallaxLine> linesOf(const ParallaxField &field, const InfinityParallax &infinity,
                                  double distance, double shift) {
    std::vector<ParallaxLine> lines;
    reserveInHugePages(lines, field.pixels.size());
    for (int y = 0; y < field.height; ++y) {
        for (int x = 0; x < field.width; ++x) {
            const PixelParallax &p = field.at(x, y);
            if (p.seen != Seen::both) {
                continue;
            }
            const double atZero = std::isfinite(p.distance)
                                      ? infinity.at(x * field.stride + 0.5, y * field.stride + 0.5)
                                      : p.horizontal;
            if (!std::isfinite(atZero)) {
                continue;
            }
            lines.push_back({atZero + shift, (p.horizontal - atZero) / distance});
        }
    }
    return lines;
}

/// The median distance of what the seen pixels see; 0 for the sky alone.
double medianDistance(const ParallaxField &field) {
    std::vector<float> distances;
    distances.reserve(field.pixels.size());
    for (const PixelParallax &p : field.pixels) {
        if (p.seen == Seen::both && std::isfinite(p.distance)) {
            distances.push_back(p.distance);
        }
    }
    if (distances.empty()) {
        return 0.0;
    }
    const auto middle = distances.begin() + static_cast<std::ptrdiff_t>(distances.size() / 2);
    std::nth_element(distances.begin(), middle, distances.end());
    return *middle;
}

/// Measures an end of the range, moved in toward `other` a little more each
/// time its frame is found over.
bool measureEnd(const Lens &lens, double end, double other, Measured &measured,
                std::string &error) {
    const double span = std::isfinite(other) ? other - end : end;
    for (const double share : kPullIn) {
        measured.value = end + share * span;
        if (!lens.figuresAt(measured.value, lens.eyeAngle, measured.figures, error)) {
            return false;
        }
        if (horizontalWithin(measured.figures, lens.budget) || lens.interrupted()) {
            break;
        }
    }
    return true;
}

bool adviseDistance(const Lens &lens, const ParallaxField &field, DistanceAdvice &advice,
                    std::string &error) {
    const InfinityParallax infinity(lens.eyes(), kInfinityStep);
    double distance = lens.eyeDistance;
    ParallaxField probed;
    const ParallaxField *base = &field;
    if (!(distance > 0.0)) {
        // The lines need a second eye distance: a thirtieth of what is seen.
        distance = medianDistance(field) / 30.0;
        if (distance > 0.0) {
            if (!lens.set(distance, lens.eyeAngle, error)) {
                return false;
            }
            probed = lens.measure(lens.adviceStride());
            base = &probed;
        }
    }
    const std::optional<DistanceInterval> range = solveDistanceRange(
        linesOf(*base, infinity, distance > 0.0 ? distance : 1.0, lens.budget.imageShift),
        field.eyeWidth, lens.budget, lens.eyeDistance);
    if (!range) {
        advice.kind = DistanceAdvice::Kind::none;
        return true;
    }
    advice.kind = range->low > 0.0 || std::isfinite(range->high) ? DistanceAdvice::Kind::range
                                                                 : DistanceAdvice::Kind::any;
    if (range->low > 0.0) {
        advice.low.emplace();
        if (!measureEnd(lens, range->low, range->high, *advice.low, error)) {
            return false;
        }
    }
    if (std::isfinite(range->high)) {
        advice.high.emplace();
        if (!measureEnd(lens, range->high, range->low, *advice.high, error)) {
            return false;
        }
    }
    return true;
}

/// Newton's steps on the eye angle toward the budget's centre, the slope
/// taken once from the parallax at infinity (an eye angle moves all of the
/// frame's parallax alike, near enough).
bool adviseAngle(const Lens &lens, const FrameFigures &figures, AngleAdvice &advice,
                 std::string &error) {
    const double before = centreParallaxAtInfinity(lens.eyes());
    if (!lens.set(lens.eyeDistance, lens.eyeAngle + kAngleStep, error)) {
        return false;
    }
    const double eyeWidth = lens.frame.film.width / 2;
    const double slope =
        (centreParallaxAtInfinity(lens.eyes()) - before) / kAngleStep * 100.0 / eyeWidth;
    if (!std::isfinite(slope) || slope == 0.0) {
        return true;
    }
    advice.angle = {lens.eyeAngle, figures};
    for (int step = 0; step < 2; ++step) {
        const double miss = budgetCentre(lens.budget) - depthCentre(advice.angle.figures);
        // The coarse grid's own precision: a few hundredths of a percent.
        if (step > 0 && std::abs(miss) < 0.05) {
            break;
        }
        advice.angle.value += miss / slope;
        if (!lens.figuresAt(lens.eyeDistance, advice.angle.value, advice.angle.figures, error)) {
            return false;
        }
        advice.rig = rigShape(lens.eyes());
    }
    return true;
}

/// The advice; `figures` are the frame's, worked out meanwhile.
bool advise(const Lens &lens, const ParallaxField &field, std::future<FrameFigures> &figures,
            FrameReport &report, std::string &error) {
    const bool distance = adviseDistance(lens, field, report.distance, error);
    report.figures = figures.get();
    if (!distance) {
        return false;
    }
    const double eyeWidth = field.eyeWidth;
    report.imageShift =
        lens.budget.imageShift +
        (budgetCentre(lens.budget) - depthCentre(report.figures)) * eyeWidth / 100.0;
    if (lens.interrupted()) {
        return true;
    }
    report.angle.emplace();
    return adviseAngle(lens, report.figures, *report.angle, error);
}

} // namespace

bool checkFrame(const LensFrame &frame, const Budget &budget, const CheckSettings &settings,
                FrameReport &report, ParallaxField &field, std::string &error,
                const std::atomic<int> *stop) {
    standin::Channel *const distanceChannel = frame.session.channel(kEyeDistanceChannel);
    standin::Channel *const angleChannel = frame.session.channel(kEyeAngleChannel);
    const standin::Curve keptDistance = distanceChannel->curve;
    const standin::Curve keptAngle = angleChannel->curve;
    const Lens lens{frame,
                    settings,
                    budget,
                    stop,
                    keptDistance.at(frame.info.start),
                    keptAngle.at(frame.info.start)};
    field = lens.measure(1, settings.view);
    // The frame's figures take a thread of their own while the advice
    // measures, which needs only the field.
    std::future<FrameFigures> figures = std::async(
        field.pixels.size() < kThreadedFigures ? std::launch::deferred : std::launch::async,
        [&field, &budget] { return frameFigures(field, budget); });
    report.rig = rigShape(lens.eyes());
    report.eyeDistance = lens.eyeDistance;
    report.eyeAngle = lens.eyeAngle;
    const bool seen = std::any_of(field.pixels.begin(), field.pixels.end(),
                                  [](const PixelParallax &p) { return p.seen == Seen::both; });
    bool done = !lens.interrupted() && (!seen || advise(lens, field, figures, report, error));
    if (figures.valid()) {
        report.figures = figures.get();
    }
    distanceChannel->curve = keptDistance;
    angleChannel->curve = keptAngle;
    std::string restoring;
    done = frame.session.prepareFrame(frame.info, frame.film.filmWidth, frame.film.filmHeight,
                                      done ? error : restoring) &&
           done;
    if (lens.interrupted()) {
        error = "interrupted";
        return false;
    }
    return done;
}

} // namespace brelvix::parallax
