// Cairo's drawings written to an open file.
#ifndef BRELVIX_TOOLS_PARALLAX_CAIRO_OUTPUT_H
#define BRELVIX_TOOLS_PARALLAX_CAIRO_OUTPUT_H

#include <cairo.h>

#include <cstdio>
#include <string>

namespace brelvix::parallax {

/// Cairo's write callback for a FILE *.
cairo_status_t writeToFile(void *file, const unsigned char *data, unsigned int length);

/// Writes an RGB24 image surface as a PNG to `file`; false with `error` set.
bool writePng(cairo_surface_t *surface, std::FILE *file, std::string &error);

/// Text with its left end, centre or right end at x (align -1, 0, 1), its
/// baseline at y.
void drawText(cairo_t *cr, const std::string &text, double x, double y, int align = -1);

} // namespace brelvix::parallax

#endif
