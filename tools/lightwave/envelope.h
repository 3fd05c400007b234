// Envelopes of the host's scene files: a list of keys with a curve shape per
// key, and what the curve does before its first and after its last key.
//
// The shape stored with a key describes the span that ends at that key; a
// key's own tangents (the slopes with which the curve leaves and enters it)
// follow from its shape too. Tangents are kept per span: a tangent of m means
// the value changes by m over the whole span at that slope, so the slope per
// second is m divided by the span's length.
#ifndef BRELVIX_TOOLS_LIGHTWAVE_ENVELOPE_H
#define BRELVIX_TOOLS_LIGHTWAVE_ENVELOPE_H

#include <array>
#include <vector>

namespace brelvix::lightwave {

/// Curve shape of the span ending at a key; the numbers are the file's codes.
enum class SpanType { tcb = 0, hermite = 1, bezier = 2, linear = 3, stepped = 4, bezier2d = 5 };

/// What the curve does outside its keys; the numbers are the file's codes.
enum class Behavior {
    reset = 0,
    constant = 1,
    repeat = 2,
    oscillate = 3,
    offsetRepeat = 4,
    linear = 5
};

/// One key as the file writes it: `Key value time spantype p1 p2 p3 p4 p5 p6`.
/// `params` holds p1..p6:
///  - TCB: p1 tension, p2 continuity, p3 bias;
///  - Hermite and 1D Bezier: p4 incoming, p5 outgoing tangent (per span);
///  - 2D Bezier: p1, p2 the incoming handle's time (seconds) and value offsets
///    from the key, p3, p4 the outgoing handle's.
struct Key {
    double value = 0.0;
    double time = 0.0; // seconds
    SpanType span = SpanType::tcb;
    std::array<double, 6> params{};
};

/// Keys in increasing time order. No keys means the value 0 at every time.
struct Envelope {
    std::vector<Key> keys;
    Behavior pre = Behavior::constant;
    Behavior post = Behavior::constant;
};

/// An envelope holding `value` at every time.
Envelope constantEnvelope(double value);

/// The envelope's value at `time` (seconds), as the host evaluates it. A
/// single key gives its value at every time, whatever the behaviours.
double evaluate(const Envelope &envelope, double time) noexcept;

} // namespace brelvix::lightwave

#endif
