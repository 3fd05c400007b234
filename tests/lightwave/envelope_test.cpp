// Invariants of envelope evaluation over fixed-seed random envelopes of every
// span type and behaviour, and the few shapes that the curve types promise.
#include "tools/lightwave/envelope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace brelvix::lightwave {
namespace {

Envelope randomEnvelope(std::mt19937 &random) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> keyCount(2, 5);
    std::uniform_int_distribution<int> spanType(0, 5);
    Envelope envelope;
    double time = unit(random);
    for (int k = keyCount(random); k > 0; --k) {
        Key key{3.0 * unit(random), time, static_cast<SpanType>(spanType(random)), {}};
        for (double &p : key.params) {
            p = unit(random);
        }
        // 2D Bezier: handle times in and out, long enough that the curve does
        // not turn too sharply for a difference quotient
        key.params[0] = -0.35 + 0.3 * unit(random);
        key.params[2] = 0.35 + 0.3 * unit(random);
        envelope.keys.push_back(key);
        time += 0.1 + (1.0 + unit(random));
    }
    return envelope;
}

TEST(Envelope, RandomCurvesMeetTheirKeysAndBehavioursContinueThem) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 300; ++round) {
        Envelope envelope = randomEnvelope(random);
        const Key &first = envelope.keys.front();
        const Key &last = envelope.keys.back();
        const double range = last.time - first.time;
        const double inside = first.time + 0.37 * range;
        SCOPED_TRACE("round " + std::to_string(round));
        for (const Key &key : envelope.keys) {
            EXPECT_EQ(evaluate(envelope, key.time), key.value); // exactly, in every span type
        }
        const double atInside = evaluate(envelope, inside);

        envelope.pre = Behavior::reset;
        envelope.post = Behavior::constant;
        EXPECT_EQ(evaluate(envelope, first.time - 0.5), 0.0);
        EXPECT_EQ(evaluate(envelope, last.time + 0.5), last.value);

        envelope.pre = Behavior::repeat;
        envelope.post = Behavior::offsetRepeat;
        EXPECT_NEAR(evaluate(envelope, inside - 2.0 * range), atInside, 1e-9);
        EXPECT_NEAR(evaluate(envelope, inside + 3.0 * range),
                    atInside + 3.0 * (last.value - first.value), 1e-9);

        envelope.post = Behavior::oscillate;
        const double mirrored = last.time - (inside - first.time);
        EXPECT_NEAR(evaluate(envelope, last.time + (inside - first.time)),
                    evaluate(envelope, mirrored), 1e-9);
        EXPECT_NEAR(evaluate(envelope, inside + 2.0 * range), atInside, 1e-9);

        // Linear: the line goes on with the slope the curve ends with (to the
        // precision of a one-sided difference on a curve that may bend hard).
        envelope.post = Behavior::linear;
        envelope.pre = Behavior::linear;
        const double h = 1e-6;
        const auto slope = [&](double a, double b) {
            return (evaluate(envelope, b) - evaluate(envelope, a)) / (b - a);
        };
        if (last.span != SpanType::stepped) {
            EXPECT_NEAR(slope(last.time, last.time + 1.0), slope(last.time - h, last.time),
                        1e-2 * (1.0 + std::abs(slope(last.time - h, last.time))));
        }
        if (envelope.keys[1].span != SpanType::stepped) {
            EXPECT_NEAR(slope(first.time - 1.0, first.time), slope(first.time, first.time + h),
                        1e-2 * (1.0 + std::abs(slope(first.time, first.time + h))));
        }
    }
}

TEST(Envelope, ShapesOfTheSpanTypes) {
    // Tension 1 stops the curve at its key: no slope on either side.
    Envelope tense{{{0.0, 0.0, SpanType::tcb, {}},
                    {1.0, 1.0, SpanType::tcb, {1.0, 0.0, 0.0}},
                    {-1.0, 2.0, SpanType::tcb, {}}}};
    EXPECT_NEAR(evaluate(tense, 1.0 - 1e-5), 1.0, 1e-8);
    EXPECT_NEAR(evaluate(tense, 1.0 + 1e-5), 1.0, 1e-8);

    // Continuity and bias of the middle of keys (0, 0), (1, 1), (2, 3), as
    // Kochanek and Bartels weigh the chords: the middle key's tangents are
    // half (the span's share) of a (1 - 0) + b (3 - 1), with a = (1 - c)(1 + b),
    // b = (1 + c)(1 - b) entering the key and a = (1 + c)(1 + b),
    // b = (1 - c)(1 - b) leaving it. The first key leaves along 1, the last
    // enters along 2; the middles of the spans are (v0 + v1) / 2 +
    // (out - in) / 8.
    const struct {
        double continuity, bias, firstMiddle, secondMiddle;
    } weights[] = {
        {0.5, 0.0, 0.5 + (1.0 - 1.75) / 8, 2.0 + (1.25 - 2.0) / 8},
        {0.0, 0.5, 0.5 + (1.0 - 1.25) / 8, 2.0 + (1.25 - 2.0) / 8},
    };
    for (const auto &w : weights) {
        const Envelope curve{{{0.0, 0.0, SpanType::tcb, {}},
                              {1.0, 1.0, SpanType::tcb, {0.0, w.continuity, w.bias}},
                              {3.0, 2.0, SpanType::tcb, {}}}};
        EXPECT_NEAR(evaluate(curve, 0.5), w.firstMiddle, 1e-12) << w.continuity << " " << w.bias;
        EXPECT_NEAR(evaluate(curve, 1.5), w.secondMiddle, 1e-12) << w.continuity << " " << w.bias;
    }

    // 2D Bezier handles on the line between the keys at thirds of the time
    // give that line, whatever span leads out of the first key.
    for (const SpanType shape : {SpanType::bezier2d, SpanType::linear}) {
        Envelope straight{{{1.0, 0.0, shape, {0.0, 0.0, 1.0, 1.0}},
                           {4.0, 3.0, SpanType::bezier2d, {-1.0, -1.0, 0.0, 0.0}}}};
        for (const double t : {0.3, 1.2, 2.9}) {
            EXPECT_NEAR(evaluate(straight, t), 1.0 + t, 1e-9) << "at " << t;
        }
    }
    // A Hermite and a 1D Bezier span with the same tangents are one cubic;
    // a stepped span holds the value it starts with.
    Envelope hermite{{{0.0, 0.0, SpanType::hermite, {0, 0, 0, 0, 2.0, 0}},
                      {1.0, 2.0, SpanType::hermite, {0, 0, 0, -1.0, 0, 0}}}};
    Envelope bezier = hermite;
    bezier.keys[1].span = SpanType::bezier;
    Envelope stepped = hermite;
    stepped.keys[1].span = SpanType::stepped;
    // s = 0.25: h2 = 0.15625, h3 = 0.140625, h4 = -0.046875
    EXPECT_NEAR(evaluate(hermite, 0.5), 0.15625 + 2.0 * 0.140625 + 0.046875, 1e-12);
    EXPECT_EQ(evaluate(bezier, 0.5), evaluate(hermite, 0.5));
    EXPECT_EQ(evaluate(stepped, 1.999), 0.0);
}

// The 2D Bezier span in (time, value) solved independently: in long double,
// from the curve's control points, the time's parameter found by bisection
// on the absolute times. The spans start one second in, where a time a
// little after the key has lost most of its bits to the second; each has a
// first key whose outgoing handle has no time length (vertical, or no handle
// at all), the shape where the curve's time does not grow at first.
TEST(Envelope, BezierSpansAgreeWithAnIndependentSolveNearVerticalHandles) {
    const auto reference = [](const Key &from, const Key &to, double time) {
        const long double t0 = from.time, t3 = to.time;
        const long double t1 = t0 + from.params[2], t2 = t3 + to.params[0];
        const long double v0 = from.value, v3 = to.value;
        const long double v1 = v0 + from.params[3], v2 = v3 + to.params[1];
        const auto cubic = [](long double s, long double a, long double b, long double c,
                              long double d) {
            const long double r = 1.0L - s;
            return r * r * r * a + 3 * r * r * s * b + 3 * r * s * s * c + s * s * s * d;
        };
        long double low = 0.0L, high = 1.0L;
        for (int i = 0; i < 200; ++i) {
            const long double middle = (low + high) / 2;
            (cubic(middle, t0, t1, t2, t3) < time ? low : high) = middle;
        }
        return static_cast<double>(cubic((low + high) / 2, v0, v1, v2, v3));
    };
    for (const double outValue : {0.4, 0.0, -2.5}) {
        const Envelope curve{{{1.0, 1.0, SpanType::bezier2d, {0.0, 0.0, 0.0, outValue}},
                              {3.0, 2.0, SpanType::bezier2d, {-0.3, -0.5, 0.0, 0.0}}}};
        const Key &from = curve.keys[0];
        const Key &to = curve.keys[1];
        SCOPED_TRACE("outgoing value " + std::to_string(outValue));
        EXPECT_EQ(evaluate(curve, 1.0), 1.0);
        EXPECT_EQ(evaluate(curve, 2.0), 3.0);
        // Near the key the curve is steep: the long double solve resolves
        // the time to 1e-19 s, which moves the value by at most a few 1e-10.
        for (const double after : {1e-12, 1e-9, 1e-6, 1e-4, 1e-2, 0.3, 0.7, 0.999999}) {
            const double time = 1.0 + after;
            EXPECT_NEAR(evaluate(curve, time), reference(from, to, time), 1e-9) << "at " << time;
        }
        // The value leaves the key continuously: no jump at the first step.
        EXPECT_NEAR(evaluate(curve, std::nextafter(1.0, 2.0)), 1.0, 1e-6);
    }
}

} // namespace
} // namespace brelvix::lightwave
