#include "lens/trigonometry.h"

#include <cmath>

// Every operation below must be rounded on its own, as written: a fused
// multiply-add would change the exact error terms. The lens is compiled with
// contraction off.

namespace brelvix {
namespace {

/// A number held as the unevaluated sum hi + lo, |lo| at most half a unit in
/// the last place of hi: about 106 bits.
struct DoubleDouble {
    double hi;
    double lo;
};

/// a + b exactly, |a| >= |b| or a = 0.
DoubleDouble quickTwoSum(double a, double b) noexcept {
    const double sum = a + b;
    return {sum, b - (sum - a)};
}

/// a + b exactly.
DoubleDouble twoSum(double a, double b) noexcept {
    const double sum = a + b;
    const double bPart = sum - a;
    return {sum, (a - (sum - bPart)) + (b - bPart)};
}

/// a split into two halves of 26 bits each, so their products are exact.
DoubleDouble split(double a) noexcept {
    constexpr double kSplitter = 134217729.0; // 2^27 + 1
    const double scaled = kSplitter * a;
    const double high = scaled - (scaled - a);
    return {high, a - high};
}

/// a * b exactly (no overflow or underflow in the range used here).
DoubleDouble twoProduct(double a, double b) noexcept {
    const double product = a * b;
    const DoubleDouble as = split(a);
    const DoubleDouble bs = split(b);
    const double error =
        ((as.hi * bs.hi - product) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo;
    return {product, error};
}

DoubleDouble multiply(DoubleDouble x, DoubleDouble y) noexcept {
    DoubleDouble product = twoProduct(x.hi, y.hi);
    product.lo += x.hi * y.lo + x.lo * y.hi;
    return quickTwoSum(product.hi, product.lo);
}

/// x / d for a small integer d.
DoubleDouble divide(DoubleDouble x, double d) noexcept {
    const double quotient = x.hi / d;
    const DoubleDouble back = twoProduct(quotient, d);
    const double remainder = ((x.hi - back.hi) - back.lo) + x.lo;
    return quickTwoSum(quotient, remainder / d);
}

/// 1 - x.
DoubleDouble oneMinus(DoubleDouble x) noexcept {
    DoubleDouble difference = twoSum(1.0, -x.hi);
    difference.lo -= x.lo;
    return quickTwoSum(difference.hi, difference.lo);
}

/// Terms of the Taylor series kept: the first left out is below 2^-110 of
/// the result for |r| <= pi/4 (plus the reduction's slack).
constexpr int kTermPairs = 15;
/// The innermost terms, from this pair on, are summed in plain doubles: their
/// rounding errors reach the result scaled by r^18 / 19! or less, below
/// 2^-115 of it.
constexpr int kFirstPlainPair = 10;

/// sin r for |r| <= about pi/4: r (1 - r^2/(2*3) (1 - r^2/(4*5) (1 - ...))).
DoubleDouble reducedSine(DoubleDouble r, DoubleDouble rSquared) noexcept {
    double plain = 1.0;
    for (int k = kTermPairs; k >= kFirstPlainPair; --k) {
        plain = 1.0 - rSquared.hi * plain / static_cast<double>((2 * k) * (2 * k + 1));
    }
    DoubleDouble series{plain, 0.0};
    for (int k = kFirstPlainPair - 1; k >= 1; --k) {
        const double divisor = static_cast<double>((2 * k) * (2 * k + 1));
        series = oneMinus(divide(multiply(rSquared, series), divisor));
    }
    return multiply(r, series);
}

/// cos r for |r| <= about pi/4: 1 - r^2/(1*2) (1 - r^2/(3*4) (1 - ...)).
DoubleDouble reducedCosine(DoubleDouble rSquared) noexcept {
    double plain = 1.0;
    for (int k = kTermPairs; k >= kFirstPlainPair; --k) {
        plain = 1.0 - rSquared.hi * plain / static_cast<double>((2 * k - 1) * (2 * k));
    }
    DoubleDouble series{plain, 0.0};
    for (int k = kFirstPlainPair - 1; k >= 1; --k) {
        const double divisor = static_cast<double>((2 * k - 1) * (2 * k));
        series = oneMinus(divide(multiply(rSquared, series), divisor));
    }
    return series;
}

// pi/2 in four parts; the first three have their low bits zero, so that
// their products with a quadrant count below 2^20 are exact (Cody and Waite).
constexpr double kHalfPi1 = 0x1.921fb544p+0;
constexpr double kHalfPi2 = 0x1.0b4611a6p-34;
constexpr double kHalfPi3 = 0x1.3198a2ep-69;
constexpr double kHalfPi4 = 0x1.b839a252049c1p-104;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
constexpr double kQuarterPi = 0x1.921fb54442d18p-1;

/// Below this the sine is the angle itself and the cosine 1, correctly
/// rounded.
constexpr double kTinyAngle = 0x1.0p-27;

} // namespace

SineCosine sineCosine(double angle) noexcept {
    if (!std::isfinite(angle)) [[unlikely]] {
        const double nan = angle - angle;
        return {nan, nan};
    }
    const double magnitude = std::fabs(angle);
    if (magnitude < kTinyAngle) {
        return {angle, 1.0};
    }

    // The angle less the nearest multiple of pi/2, and which multiple.
    double quadrants = 0.0;
    DoubleDouble reduced{magnitude, 0.0};
    if (magnitude > kQuarterPi) {
        quadrants = std::floor(magnitude * kTwoOverPi + 0.5);
        reduced = twoSum(magnitude - quadrants * kHalfPi1, -(quadrants * kHalfPi2));
        DoubleDouble next = twoSum(reduced.hi, -(quadrants * kHalfPi3));
        next.lo += reduced.lo - quadrants * kHalfPi4;
        reduced = quickTwoSum(next.hi, next.lo);
    }

    const DoubleDouble reducedSquared = multiply(reduced, reduced);
    const double sine = reducedSine(reduced, reducedSquared).hi;
    const double cosine = reducedCosine(reducedSquared).hi;

    // Back to the angle's quadrant, then its sign.
    SineCosine result{};
    switch (static_cast<int>(std::fmod(quadrants, 4.0))) {
    case 0:
        result = {sine, cosine};
        break;
    case 1:
        result = {cosine, -sine};
        break;
    case 2:
        result = {-sine, -cosine};
        break;
    default:
        result = {-cosine, sine};
        break;
    }
    if (angle < 0.0) {
        result.sine = -result.sine;
    }
    return result;
}

} // namespace brelvix
