#include "tools/parallax/cairo_output.h"

#include <png.h>

#include <cstdint>
#include <memory>

namespace brelvix::parallax {

cairo_status_t writeToFile(void *file, const unsigned char *data, unsigned int length) {
    return std::fwrite(data, 1, length, static_cast<std::FILE *>(file)) == length
               ? CAIRO_STATUS_SUCCESS
               : CAIRO_STATUS_WRITE_ERROR;
}

bool writePng(cairo_surface_t *surface, std::FILE *file, std::string &error) {
    cairo_surface_flush(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char *const data = cairo_image_surface_get_data(surface);
    if (data == nullptr) {
        error = cairo_status_to_string(cairo_surface_status(surface));
        return false;
    }
    // Cairo's pixels are 32-bit words, 0xXXRRGGBB.
    // Every byte is written below: left uninitialised rather than cleared.
    const std::unique_ptr<unsigned char[]> rgb(
        new unsigned char[static_cast<std::size_t>(width) * height * 3]);
    for (int y = 0; y < height; ++y) {
        const auto *const row = reinterpret_cast<const std::uint32_t *>(data + y * stride);
        for (int x = 0; x < width; ++x) {
            unsigned char *const out = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            out[0] = static_cast<unsigned char>(row[x] >> 16U);
            out[1] = static_cast<unsigned char>(row[x] >> 8U);
            out[2] = static_cast<unsigned char>(row[x]);
        }
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(width);
    png.height = static_cast<png_uint_32>(height);
    png.format = PNG_FORMAT_RGB;
    // Zlib's fastest level: the maps of a long sequence cost more to
    // compress well than to measure.
    png.flags = PNG_IMAGE_FLAG_FAST;
    const bool written = png_image_write_to_stdio(&png, file, 0, rgb.get(), 0, nullptr) != 0;
    if (!written) {
        error = png.message;
    }
    png_image_free(&png);
    return written;
}

void drawText(cairo_t *cr, const std::string &text, double x, double y, int align) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    const double width = extents.x_advance;
    cairo_move_to(cr, x - (align < 0 ? 0.0 : (align == 0 ? 0.5 * width : width)), y);
    cairo_show_text(cr, text.c_str());
}

} // namespace brelvix::parallax
