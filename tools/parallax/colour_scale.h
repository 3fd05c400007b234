// The parallax map's colours: a diverging scale, blue in front of the screen,
// white on it, red behind, each side reaching its full colour at its budget
// limit and going on darker past it, where yellow stripes mark the pixels
// over; the sequential scale of vertical parallax; and the patterns the map
// and its legend both paint pixels with.
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
/// Past the budget: stripes of a yellow that neither side comes near.
inline constexpr Colour kWarningColour{1.0, 0.85, 0.0};
/// Window violations' outline.
inline constexpr Colour kWindowColour{0.1, 0.95, 0.3};
/// Vertical parallax at its limit.
inline constexpr Colour kVerticalColour{0.42, 0.15, 0.55};

/// The colour of a horizontal parallax, percent: past a limit the side's
/// colour darkens on, to its darkest one more limit's width beyond.
Colour scaleColour(const Budget &budget, double percent);

/// The colour of a vertical parallax's size, percent of the height: white
/// to full at the limit, darker past it.
Colour verticalColour(const Budget &budget, double percent);

/// A map pixel at (x, y): `colour` shaded by the view's brightness `light`
/// (0 to 1), in yellow stripes when `over`.
Colour seenPixel(Colour colour, double light, bool over, int x, int y);
/// A pixel the other eye does not see: black and white stripes the other
/// way, which no shaded colour looks like.
Colour unseenPixel(int x, int y);

} // namespace brelvix::parallax

#endif
