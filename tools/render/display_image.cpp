#include "tools/render/display_image.h"

#include <algorithm>
#include <cmath>

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

} // namespace brelvix::render
