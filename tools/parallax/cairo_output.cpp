#include "tools/parallax/cairo_output.h"

namespace brelvix::parallax {

cairo_status_t writeToFile(void *file, const unsigned char *data, unsigned int length) {
    return std::fwrite(data, 1, length, static_cast<std::FILE *>(file)) == length
               ? CAIRO_STATUS_SUCCESS
               : CAIRO_STATUS_WRITE_ERROR;
}

bool writePng(cairo_surface_t *surface, std::FILE *file, std::string &error) {
    const cairo_status_t status = cairo_surface_write_to_png_stream(surface, writeToFile, file);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = cairo_status_to_string(status);
        return false;
    }
    return true;
}

void drawText(cairo_t *cr, const std::string &text, double x, double y, int align) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    const double width = extents.x_advance;
    cairo_move_to(cr, x - (align < 0 ? 0.0 : (align == 0 ? 0.5 * width : width)), y);
    cairo_show_text(cr, text.c_str());
}

} // namespace brelvix::parallax
