// From the rendered film to what a PNG file shows: display encoding and the
// red/cyan composite.
#ifndef BRELVIX_TOOLS_RENDER_DISPLAY_IMAGE_H
#define BRELVIX_TOOLS_RENDER_DISPLAY_IMAGE_H

#include "tools/output/png_output.h"
#include "tools/render/film.h"

namespace brelvix::render {

/// The sRGB transfer of a linear value, clipped to 0 to 1 first.
double encodeSrgb(double linear);

/// Encodes linear colours for display (sRGB transfer, clipped).
DisplayImage toDisplay(const Image &image);

/// The two halves of a side-by-side pair composed for red/cyan glasses: red
/// from the left eye, green and blue from the right eye; half the width.
Image anaglyph(const Image &sideBySide);

} // namespace brelvix::render

#endif
