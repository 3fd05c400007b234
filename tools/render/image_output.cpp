#include "tools/render/image_output.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace brelvix::render {
namespace {

uint8_t encode(double linear) {
    return static_cast<uint8_t>(std::lround(encodeSrgb(linear) * 255.0));
}

} // namespace

double encodeSrgb(double linear) {
    const double clipped = std::clamp(linear, 0.0, 1.0);
    return clipped <= 0.0031308 ? 12.92 * clipped : 1.055 * std::pow(clipped, 1.0 / 2.4) - 0.055;
}

DisplayImage toDisplay(const Image &image) {
    DisplayImage display;
    display.width = image.width;
    display.height = image.height;
    display.rgb.reserve(image.pixels.size() * 3);
    for (const Rgb &pixel : image.pixels) {
        display.rgb.push_back(encode(pixel.x));
        display.rgb.push_back(encode(pixel.y));
        display.rgb.push_back(encode(pixel.z));
    }
    return display;
}

Image anaglyph(const Image &sideBySide) {
    Image composite;
    composite.width = sideBySide.width / 2;
    composite.height = sideBySide.height;
    composite.pixels.reserve(static_cast<std::size_t>(composite.width) *
                             static_cast<std::size_t>(composite.height));
    for (int y = 0; y < composite.height; ++y) {
        for (int x = 0; x < composite.width; ++x) {
            const Rgb &left = sideBySide.at(x, y);
            const Rgb &right = sideBySide.at(x + composite.width, y);
            composite.pixels.push_back({left.x, right.y, right.z});
            if (!sideBySide.depth.empty()) {
                // Distances as the left eye sees them, with its red.
                composite.depth.push_back(
                    sideBySide.depth[static_cast<std::size_t>(y) *
                                         static_cast<std::size_t>(sideBySide.width) +
                                     static_cast<std::size_t>(x)]);
            }
        }
    }
    return composite;
}

std::unique_ptr<PngOutput> PngOutput::open(const std::string &path, std::string &error) {
    std::unique_ptr<PendingFile> file = PendingFile::open(path, error);
    if (!file) {
        return nullptr;
    }
    return std::unique_ptr<PngOutput>(new PngOutput(std::move(file)));
}

bool PngOutput::write(const DisplayImage &image, std::string &error) {
    if (!file_ || file_->stream() == nullptr) {
        error = "Cannot write the image: already written";
        return false;
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    const int encoded =
        png_image_write_to_stdio(&png, file_->stream(), 0, image.rgb.data(), 0, nullptr);
    const int writeErrno = errno;
    const std::string pngMessage = png.message;
    png_image_free(&png);
    if (encoded == 0) {
        error = "Cannot write " + file_->path() + ": " +
                (pngMessage.empty() ? std::strerror(writeErrno) : pngMessage);
        file_.reset();
        return false;
    }
    return true;
}

bool PngOutput::commit(std::string &error) {
    if (!file_) {
        error = "Cannot write the image: nothing written";
        return false;
    }
    const bool committed = file_->commit(error);
    file_.reset();
    return committed;
}

} // namespace brelvix::render
