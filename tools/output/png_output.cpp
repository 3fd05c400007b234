#include "tools/output/png_output.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace brelvix::render {

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
