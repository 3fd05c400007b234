#include "tools/render/image_output.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace brelvix::render {
namespace {

uint8_t encode(double linear) {
    const double clipped = std::clamp(linear, 0.0, 1.0);
    const double encoded =
        clipped <= 0.0031308 ? 12.92 * clipped : 1.055 * std::pow(clipped, 1.0 / 2.4) - 0.055;
    return static_cast<uint8_t>(std::lround(encoded * 255.0));
}

std::string systemError(const std::string &what, const std::string &path, int code) {
    return what + " " + path + ": " + std::strerror(code);
}

} // namespace

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
        }
    }
    return composite;
}

std::unique_ptr<PngOutput> PngOutput::open(const std::string &path, std::string &error) {
    namespace fs = std::filesystem;
    std::error_code status;
    if (fs::is_directory(path, status)) {
        error = systemError("Cannot write", path, EISDIR);
        return nullptr;
    }
    const fs::path target(path);
    const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
    // A hidden name beside the target: ".NAME.XXXXXX".
    std::string hidden(1, '.');
    hidden.append(target.filename().string()).append(".XXXXXX");
    std::string pattern = (directory / hidden).string();
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) {
        error = systemError("Cannot write", path, errno);
        return nullptr;
    }
    // mkstemp makes the file private; give it the mode a new file would get.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);

    std::unique_ptr<PngOutput> output(new PngOutput());
    output->path_ = path;
    output->temporaryPath_ = pattern;
    output->descriptor_ = descriptor;
    return output;
}

PngOutput::~PngOutput() {
    if (descriptor_ >= 0) {
        close(descriptor_);
    }
    if (!temporaryPath_.empty()) {
        std::remove(temporaryPath_.c_str());
    }
}

bool PngOutput::commit(const DisplayImage &image, std::string &error) {
    if (descriptor_ < 0) {
        error = "Cannot write " + path_ + ": already written";
        return false;
    }
    std::FILE *const file = fdopen(descriptor_, "wb");
    if (file == nullptr) {
        error = systemError("Cannot write", path_, errno);
        return false;
    }
    descriptor_ = -1; // the stream owns it now

    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    const int encoded = png_image_write_to_stdio(&png, file, 0, image.rgb.data(), 0, nullptr);
    const std::string pngMessage = png.message;
    png_image_free(&png);
    const int writeErrno = errno;
    const bool flushed = std::fflush(file) == 0 && fsync(fileno(file)) == 0;
    const int flushErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (encoded == 0) {
        error = "Cannot write " + path_ + ": " +
                (pngMessage.empty() ? std::strerror(writeErrno) : pngMessage);
        return false;
    }
    if (!flushed || !closed) {
        error = systemError("Cannot write", path_, flushed ? errno : flushErrno);
        return false;
    }
    if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
        error = systemError("Cannot write", path_, errno);
        return false;
    }
    temporaryPath_.clear();
    return true;
}

} // namespace brelvix::render
