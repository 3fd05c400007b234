// Envelope evaluation. Between two keys the curve is a cubic: the Hermite
// form for TCB, Hermite and 1D Bezier spans (a 1D Bezier whose inner control
// values lie a third of the tangents from the keys is the same cubic), a
// Bezier in (time, value) for 2D Bezier spans, a straight line for linear
// spans and a held value for stepped ones.
#include "tools/lightwave/envelope.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace brelvix::lightwave {

namespace {

constexpr double kTinyTime = 1e-9;

struct Handle {
    double time;
    double value;
};

const std::array<double, 6> &params(const Key &key) { return key.params; }

// Tangents of a key whose own shape derives them from its neighbours, the
// Kochanek-Bartels way; a linear key is one with zero tension, continuity and
// bias. The neighbour term is weighted by the span's share of the two spans
// around the key, so that unevenly spaced keys keep a smooth slope.
double tcbOutgoing(const std::vector<Key> &keys, std::size_t i) {
    const Key &key = keys[i];
    const bool shaped = key.span == SpanType::tcb;
    const double tension = shaped ? params(key)[0] : 0.0;
    const double continuity = shaped ? params(key)[1] : 0.0;
    const double bias = shaped ? params(key)[2] : 0.0;
    const double a = (1.0 - tension) * (1.0 + continuity) * (1.0 + bias);
    const double b = (1.0 - tension) * (1.0 - continuity) * (1.0 - bias);
    const double next = keys[i + 1].value - key.value;
    if (i == 0) {
        return b * next;
    }
    const double share = (keys[i + 1].time - key.time) / (keys[i + 1].time - keys[i - 1].time);
    return share * (a * (key.value - keys[i - 1].value) + b * next);
}

double tcbIncoming(const std::vector<Key> &keys, std::size_t i) {
    const Key &key = keys[i];
    const bool shaped = key.span == SpanType::tcb;
    const double tension = shaped ? params(key)[0] : 0.0;
    const double continuity = shaped ? params(key)[1] : 0.0;
    const double bias = shaped ? params(key)[2] : 0.0;
    const double a = (1.0 - tension) * (1.0 - continuity) * (1.0 + bias);
    const double b = (1.0 - tension) * (1.0 + continuity) * (1.0 - bias);
    const double previous = key.value - keys[i - 1].value;
    if (i + 1 == keys.size()) {
        return a * previous;
    }
    const double share = (key.time - keys[i - 1].time) / (keys[i + 1].time - keys[i - 1].time);
    return share * (a * previous + b * (keys[i + 1].value - key.value));
}

// Slope (value per second) of a 2D Bezier handle, its time kept within the
// span's length as the curve keeps it; a handle without time length gives a
// flat tangent.
double handleSlope(double time, double value, double length) {
    const double kept = std::min(std::abs(time), length);
    return kept > kTinyTime ? value / std::copysign(kept, time) : 0.0;
}

// Tangent with which the curve leaves key i toward key i + 1, per span.
double outgoing(const std::vector<Key> &keys, std::size_t i) {
    const Key &key = keys[i];
    const double length = keys[i + 1].time - key.time;
    switch (key.span) {
    case SpanType::hermite:
    case SpanType::bezier:
        return params(key)[4];
    case SpanType::bezier2d:
        return handleSlope(params(key)[2], params(key)[3], length) * length;
    case SpanType::stepped:
        return 0.0;
    case SpanType::tcb:
    case SpanType::linear:
        break;
    }
    return tcbOutgoing(keys, i);
}

// Tangent with which the curve enters key i from key i - 1, per span.
double incoming(const std::vector<Key> &keys, std::size_t i) {
    const Key &key = keys[i];
    const double length = key.time - keys[i - 1].time;
    switch (key.span) {
    case SpanType::hermite:
    case SpanType::bezier:
        return params(key)[3];
    case SpanType::bezier2d:
        return handleSlope(params(key)[0], params(key)[1], length) * length;
    case SpanType::stepped:
        return 0.0;
    case SpanType::tcb:
    case SpanType::linear:
        break;
    }
    return tcbIncoming(keys, i);
}

double hermite(double s, double from, double to, double out, double in) {
    const double s2 = s * s;
    const double s3 = s2 * s;
    const double h1 = 2.0 * s3 - 3.0 * s2 + 1.0;
    const double h2 = -2.0 * s3 + 3.0 * s2;
    const double h3 = s3 - 2.0 * s2 + s;
    const double h4 = s3 - s2;
    return h1 * from + h2 * to + h3 * out + h4 * in;
}

// The span's curve in (time, value), taken relative to its first key so
// that times just after the key keep their precision: x(s) = 3 r^2 s a +
// 3 r s^2 b + s^3 L with r = 1 - s, the handles' times a and b and the span's
// length L. Handle times are kept inside the span, so x grows with s from 0
// to L; the parameter of the given time is found by bisection, which needs
// no slope and so holds where a handle is vertical (x'(0) = 0 when a = 0).
// The bisection runs until the interval cannot be halved further.
double bezier2dSpan(const std::vector<Key> &keys, std::size_t i, double time) {
    const Key &from = keys[i];
    const Key &to = keys[i + 1];
    const double length = to.time - from.time;
    const double elapsed = time - from.time;
    if (!(elapsed > 0.0)) {
        return from.value;
    }
    if (!(elapsed < length)) {
        return to.value;
    }
    const Handle out = from.span == SpanType::bezier2d
                           ? Handle{params(from)[2], params(from)[3]}
                           : Handle{length / 3.0, outgoing(keys, i) / 3.0};
    const Handle in{params(to)[0], params(to)[1]};
    const double a = std::clamp(out.time, 0.0, length);
    const double b = length + std::clamp(in.time, -length, 0.0);
    const auto along = [length](double s, double p1, double p2) {
        const double r = 1.0 - s;
        return 3.0 * r * r * s * p1 + 3.0 * r * s * s * p2 + s * s * s * length;
    };
    double low = 0.0;
    double high = 1.0;
    for (int step = 0; step < 1100; ++step) {
        const double middle = 0.5 * (low + high);
        if (middle <= low || middle >= high) {
            break;
        }
        (along(middle, a, b) < elapsed ? low : high) = middle;
    }
    const double s = 0.5 * (low + high);
    const double rise = to.value - from.value;
    const double r = 1.0 - s;
    return from.value +
           (3.0 * r * r * s * out.value + 3.0 * r * s * s * (rise + in.value) + s * s * s * rise);
}

// Value inside the keys' time range.
double evaluateInside(const std::vector<Key> &keys, double time) {
    const auto after = std::upper_bound(keys.begin(), keys.end(), time,
                                        [](double t, const Key &key) { return t < key.time; });
    if (after == keys.end()) {
        return keys.back().value;
    }
    const std::size_t i = static_cast<std::size_t>(after - keys.begin()) - 1;
    const Key &from = keys[i];
    const Key &to = keys[i + 1];
    const double length = to.time - from.time;
    if (length <= kTinyTime) {
        return to.value;
    }
    if (time == from.time) {
        return from.value; // a key's own value, whatever the tangents
    }
    const double s = (time - from.time) / length;
    switch (to.span) {
    case SpanType::stepped:
        return from.value;
    case SpanType::linear:
        return from.value + s * (to.value - from.value);
    case SpanType::bezier2d:
        return bezier2dSpan(keys, i, time);
    case SpanType::tcb:
    case SpanType::hermite:
    case SpanType::bezier:
        break;
    }
    return hermite(s, from.value, to.value, outgoing(keys, i), incoming(keys, i + 1));
}

// Slope per second of the curve as it leaves the first key or enters the
// last, for the linear behaviours.
double firstSlope(const std::vector<Key> &keys) {
    const double length = keys[1].time - keys[0].time;
    switch (keys[1].span) {
    case SpanType::stepped:
        return 0.0;
    case SpanType::linear:
        return (keys[1].value - keys[0].value) / length;
    case SpanType::bezier2d:
        if (keys[0].span == SpanType::bezier2d) {
            return handleSlope(params(keys[0])[2], params(keys[0])[3], length);
        }
        break;
    case SpanType::tcb:
    case SpanType::hermite:
    case SpanType::bezier:
        break;
    }
    return outgoing(keys, 0) / length;
}

double lastSlope(const std::vector<Key> &keys) {
    const std::size_t last = keys.size() - 1;
    const double length = keys[last].time - keys[last - 1].time;
    switch (keys[last].span) {
    case SpanType::stepped:
        return 0.0;
    case SpanType::linear:
        return (keys[last].value - keys[last - 1].value) / length;
    case SpanType::tcb:
    case SpanType::hermite:
    case SpanType::bezier:
    case SpanType::bezier2d:
        break;
    }
    return incoming(keys, last) / length;
}

} // namespace

Envelope constantEnvelope(double value) {
    Envelope envelope;
    envelope.keys.push_back(Key{value, 0.0, SpanType::tcb, {}});
    return envelope;
}

double evaluate(const Envelope &envelope, double time) noexcept {
    const std::vector<Key> &keys = envelope.keys;
    if (keys.empty()) {
        return 0.0;
    }
    const Key &first = keys.front();
    const Key &last = keys.back();
    const double range = last.time - first.time;
    if (keys.size() == 1 || range <= kTinyTime || std::isnan(time)) {
        return first.value;
    }
    const bool before = time < first.time;
    const bool beyond = time > last.time;
    if (!before && !beyond) {
        return evaluateInside(keys, time);
    }
    switch (before ? envelope.pre : envelope.post) {
    case Behavior::reset:
        return 0.0;
    case Behavior::constant:
        return before ? first.value : last.value;
    case Behavior::linear:
        return before ? first.value + firstSlope(keys) * (time - first.time)
                      : last.value + lastSlope(keys) * (time - last.time);
    case Behavior::repeat:
    case Behavior::oscillate:
    case Behavior::offsetRepeat:
        break;
    }

    // Fold the time into the keys' range, counting the whole ranges passed.
    const double cycles = std::floor((time - first.time) / range);
    double inside = time - cycles * range;
    if (!(inside >= first.time)) {
        inside = first.time; // an infinite time leaves no finite cycle
    }
    const Behavior behavior = before ? envelope.pre : envelope.post;
    if (behavior == Behavior::oscillate && std::fmod(std::abs(cycles), 2.0) == 1.0) {
        inside = last.time - (inside - first.time);
    }
    const double offset =
        behavior == Behavior::offsetRepeat ? cycles * (last.value - first.value) : 0.0;
    return evaluateInside(keys, std::min(inside, last.time)) + offset;
}

} // namespace brelvix::lightwave
