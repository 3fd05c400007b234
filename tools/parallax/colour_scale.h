// The parallax map's colours: a diverging scale, blue in front of the screen,
// white on it, red behind, each side reaching its full colour at its budget
// limit; beyond the budget a warning colour.
#ifndef BRELVIX_TOOLS_PARALLAX_COLOUR_SCALE_H
#define BRELVIX_TOOLS_PARALLAX_COLOUR_SCALE_H

#include "tools/parallax/budget.h"

namespace brelvix::parallax {

/// An sRGB colour, components 0 to 1.
struct Colour {
    double r = 0.0;
    double g = 0.0;
    double b = 0.0;
};

/// The scale's full colours: in front of the screen at the near limit,
/// behind it at the far one.
inline constexpr Colour kFrontColour{0.13, 0.40, 0.67};
inline constexpr Colour kBehindColour{0.70, 0.09, 0.17};
/// Outside the budget: a yellow that neither side of the scale comes near.
inline constexpr Colour kWarningColour{1.0, 0.85, 0.0};
/// Window violations' outline.
inline constexpr Colour kWindowColour{0.1, 0.95, 0.3};

/// The colour of a horizontal parallax, percent.
Colour scaleColour(const Budget &budget, double percent);

} // namespace brelvix::parallax

#endif
