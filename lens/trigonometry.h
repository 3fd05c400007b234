// The sine and cosine of the eye angle, the same bits on every build.
//
// A render farm hands the frames of one render to whatever machines it has,
// and a frame rendered on one node must match its neighbours. The C
// libraries round sine and cosine differently (glibc's and mingw-w64's x87
// instructions differ in the last bit for about one angle in 400 under a
// fifth of a radian), so the lens computes them itself, with nothing but
// IEEE additions, multiplications and divisions, which every build rounds
// alike. The result is the correctly rounded value (the error before the
// final rounding is far below a unit in the last place), except for angles
// beyond about a million radians, whose reduction keeps only its determinism.
#ifndef BRELVIX_LENS_TRIGONOMETRY_H
#define BRELVIX_LENS_TRIGONOMETRY_H

namespace brelvix {

struct SineCosine {
    double sine;
    double cosine;
};

/// sin(angle) and cos(angle), angle in radians. sin(-x) = -sin(x) and
/// cos(-x) = cos(x) exactly; an infinite or NaN angle gives NaN for both.
SineCosine sineCosine(double angle) noexcept;

} // namespace brelvix

#endif
