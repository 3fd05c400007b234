// The parallax map: the left eye's view, dimmed to grey, under the colour of
// each pixel's horizontal parallax; pixels the right eye does not see
// hatched, things in front of the screen that the frame's left or right edge
// cuts outlined, a colour bar below with its values in percent and pixels.
#ifndef BRELVIX_TOOLS_PARALLAX_PARALLAX_MAP_H
#define BRELVIX_TOOLS_PARALLAX_PARALLAX_MAP_H

#include "tools/parallax/budget.h"

#include <cstdio>
#include <string>

namespace brelvix::parallax {

/// Where the map's top-left pixel lies in the picture; the left one is also
/// the picture's margin on either side.
inline constexpr int kMapLeft = 16;
inline constexpr int kMapTop = 40;

/// Writes the map of a field measured with its view as a PNG to `file`;
/// `title` heads it. False with `error` set.
bool writeParallaxMap(std::FILE *file, const ParallaxField &field, const FrameFigures &figures,
                      const Budget &budget, const std::string &title, std::string &error);

} // namespace brelvix::parallax

#endif
