// The lens's own sine and cosine: the correctly rounded value where the C
// libraries disagree, and the symmetries the two eyes rely on.
#include "lens/trigonometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace brelvix {
namespace {

TEST(LensTrigonometry, CorrectlyRoundedWhereTheCLibrariesDisagree) {
    // The first three sines glibc rounds one unit off, the fourth cosine
    // mingw-w64's x87 instruction does; the last three angles need their
    // multiple of pi/2 taken off first. Expected values from 300-bit
    // arithmetic, rounded to nearest.
    const struct {
        double angle, sine, cosine;
    } cases[] = {
        {-0x1.335184b521f1fp-3, -0x1.322a98f014a2dp-3, 0x1.fa3f11e05bba2p-1},
        {0x1.7ace04ad6e4d0p-3, 0x1.78a606ed01865p-3, 0x1.f7444e51ef147p-1},
        {-0x1.a209b2c38197dp-4, -0x1.a1500202a140fp-4, 0x1.fd55f3f76a99dp-1},
        {0x1.eb57098d56dc4p-4, 0x1.ea2998975741dp-4, 0x1.fc521a5c9a1c5p-1},
        {0x1.0p+1, 0x1.d18f6ead1b446p-1, -0x1.aa22657537205p-2},
        {-0x1.ap+2, -0x1.b890d40c6cb3cp-3, 0x1.f4034b145c3c8p-1},
        {0x1.f4p+9, 0x1.a75cc150a206bp-1, 0x1.1ff026793f1bbp-1},
    };
    for (const auto &c : cases) {
        const SineCosine result = sineCosine(c.angle);
        EXPECT_EQ(result.sine, c.sine) << std::hexfloat << "angle " << c.angle;
        EXPECT_EQ(result.cosine, c.cosine) << std::hexfloat << "angle " << c.angle;
    }
}

TEST(LensTrigonometry, OddSineEvenCosineOnTheUnitCircle) {
    std::mt19937_64 rng(41);
    std::uniform_real_distribution<double> angles(-8.0, 8.0);
    for (int i = 0; i < 20000; ++i) {
        const double angle = i % 2 == 0 ? angles(rng) : std::ldexp(angles(rng), -(i % 60));
        const SineCosine turn = sineCosine(angle);
        const SineCosine mirrored = sineCosine(-angle);
        ASSERT_EQ(mirrored.sine, -turn.sine) << std::hexfloat << angle;
        ASSERT_EQ(mirrored.cosine, turn.cosine) << std::hexfloat << angle;
        ASSERT_NEAR(turn.sine * turn.sine + turn.cosine * turn.cosine, 1.0, 4e-16)
            << std::hexfloat << angle;
        // Within a unit in the last place of the C library's value (and of
        // the x87 instruction's absolute error near multiples of pi).
        ASSERT_LE(std::fabs(turn.sine - std::sin(angle)),
                  std::fabs(std::sin(angle)) * 0x1.0p-52 + 0x1.0p-60)
            << std::hexfloat << angle;
        ASSERT_LE(std::fabs(turn.cosine - std::cos(angle)),
                  std::fabs(std::cos(angle)) * 0x1.0p-52 + 0x1.0p-60)
            << std::hexfloat << angle;
    }
}

TEST(LensTrigonometry, ZeroTinyAndNonFiniteAngles) {
    EXPECT_EQ(sineCosine(0.0).sine, 0.0);
    EXPECT_TRUE(std::signbit(sineCosine(-0.0).sine));
    EXPECT_EQ(sineCosine(0.0).cosine, 1.0);
    EXPECT_EQ(sineCosine(1e-300).sine, 1e-300);
    EXPECT_EQ(sineCosine(-0x1.fffffp-28).cosine, 1.0);
    for (const double angle :
         {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
          std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_TRUE(std::isnan(sineCosine(angle).sine)) << angle;
        EXPECT_TRUE(std::isnan(sineCosine(angle).cosine)) << angle;
    }
}

} // namespace
} // namespace brelvix
