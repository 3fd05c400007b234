#include "tools/parallax/advice.h"

#include "tools/parallax/huge_pages.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <utility>

namespace brelvix::parallax {
namespace {

/// Where a count of pixels over one limit changes: at distance `at` it
/// goes up or down by one.
struct Event {
    double at = 0.0;
    bool nearLimit = false;
    int change = 0;
};

/// Adds one line's crossing of a limit: `over` says the side past it
/// (below the near limit, above the far one).
void addCrossing(const ParallaxLine &line, double limit, bool below, bool nearLimit, int &atZero,
                 std::vector<Event> &events) {
    const auto overAt = [&](double s) {
        const double value = line.atZero + line.slope * s;
        return below ? value < limit : value > limit;
    };
    if (line.slope == 0.0) {
        atZero += overAt(0.0) ? 1 : 0;
        return;
    }
    const double crossing = (limit - line.atZero) / line.slope;
    const bool overFirst = overAt(0.0);
    atZero += overFirst ? 1 : 0;
    if (crossing > 0.0) {
        events.push_back({crossing, nearLimit, overFirst ? -1 : 1});
    }
}

/// Sorts the events by distance: a radix sort of their distances' bits,
/// which order positive numbers as the numbers are ordered. (The order of
/// events at one distance does not change the intervals found.)
void sortByDistance(std::vector<Event> &events) {
    constexpr int kDigitBits = 11;
    constexpr std::uint64_t kDigits = std::uint64_t{1} << kDigitBits;
    if (events.size() < kDigits) {
        std::sort(events.begin(), events.end(),
                  [](const Event &a, const Event &b) { return a.at < b.at; });
        return;
    }
    std::vector<Event> sorted;
    reserveInHugePages(sorted, events.size());
    sorted.resize(events.size());
    std::vector<std::size_t> starts(kDigits);
    for (int shift = 0; shift < 64; shift += kDigitBits) {
        const auto digit = [shift](const Event &event) {
            return (std::bit_cast<std::uint64_t>(event.at) >> shift) & (kDigits - 1);
        };
        std::fill(starts.begin(), starts.end(), 0);
        for (const Event &event : events) {
            ++starts[digit(event)];
        }
        if (starts[digit(events.front())] == events.size()) {
            continue;
        }
        std::size_t start = 0;
        for (std::size_t &count : starts) {
            start += std::exchange(count, start);
        }
        for (const Event &event : events) {
            sorted[starts[digit(event)]++] = event;
        }
        events.swap(sorted);
    }
}

} // namespace

std::optional<DistanceInterval> solveDistanceRange(const std::vector<ParallaxLine> &lines,
                                                   int eyeWidth, const Budget &budget,
                                                   double current) {
    if (lines.empty()) {
        return DistanceInterval{};
    }
    // The near percentile is within when at most `nearAllowed` values lie
    // below the near limit; likewise above the far one.
    const std::size_t count = lines.size();
    const double share = budget.percentile / 100.0;
    const long nearAllowed = static_cast<long>(rankOf(count, share));
    const long farAllowed = static_cast<long>(count - 1 - rankOf(count, 1.0 - share));
    const double nearPixels = budget.nearPercent * eyeWidth / 100.0;
    const double farPixels = budget.farLimitPercent() * eyeWidth / 100.0;
    std::vector<Event> events;
    reserveInHugePages(events, 2 * count);
    int nearOver = 0;
    int farOver = 0;
    for (const ParallaxLine &line : lines) {
        addCrossing(line, nearPixels, true, true, nearOver, events);
        addCrossing(line, farPixels, false, false, farOver, events);
    }
    sortByDistance(events);

    // The stretches between events where both counts are allowed, joined.
    std::vector<DistanceInterval> within;
    double from = 0.0;
    const auto close = [&](double to) {
        if (nearOver > nearAllowed || farOver > farAllowed || !(to > from)) {
            return;
        }
        if (!within.empty() && within.back().high == from) {
            within.back().high = to;
        } else {
            within.push_back({from, to});
        }
    };
    for (const Event &event : events) {
        close(event.at);
        (event.nearLimit ? nearOver : farOver) += event.change;
        from = event.at;
    }
    close(std::numeric_limits<double>::infinity());
    if (within.empty()) {
        return std::nullopt;
    }
    const auto gap = [current](const DistanceInterval &i) {
        return current < i.low ? i.low - current : current > i.high ? current - i.high : 0.0;
    };
    return *std::min_element(
        within.begin(), within.end(),
        [&](const DistanceInterval &a, const DistanceInterval &b) { return gap(a) < gap(b); });
}

double depthCentre(const FrameFigures &figures) {
    return 0.5 * (figures.nearPercentile.percent + figures.farPercentile.percent);
}

double budgetCentre(const Budget &budget) {
    return 0.5 * (budget.nearPercent + budget.farLimitPercent());
}

const char *kindName(DistanceAdvice::Kind kind) {
    switch (kind) {
    case DistanceAdvice::Kind::range:
        return "range";
    case DistanceAdvice::Kind::none:
        return "none";
    case DistanceAdvice::Kind::any:
        break;
    }
    return "any";
}

} // namespace brelvix::parallax
