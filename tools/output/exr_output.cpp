#include "tools/output/exr_output.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfOutputFile.h>
#include <half.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>

namespace brelvix::world {
namespace {

/// OpenEXR's output through the stream of a pending file.
class FileStream : public Imf::OStream {
  public:
    FileStream(std::FILE *file, const std::string &path)
        : Imf::OStream(path.c_str()), file_(file) {}

    void write(const char bytes[], int count) override {
        if (std::fwrite(bytes, 1, static_cast<std::size_t>(count), file_) !=
            static_cast<std::size_t>(count)) {
            throw std::runtime_error(std::strerror(errno));
        }
    }
    uint64_t tellp() override {
        const long at = std::ftell(file_);
        if (at < 0) {
            throw std::runtime_error(std::strerror(errno));
        }
        return static_cast<uint64_t>(at);
    }
    void seekp(uint64_t position) override {
        if (std::fseek(file_, static_cast<long>(position), SEEK_SET) != 0) {
            throw std::runtime_error(std::strerror(errno));
        }
    }

  private:
    std::FILE *file_;
};

} // namespace

bool writeExr(render::PendingFile &file, const ExrImage &image, std::string &error) {
    const std::string &path = file.path();
    const auto pixels =
        static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    if (image.width <= 0 || image.height <= 0 || image.rgb.size() != 3 * pixels ||
        image.depth.size() != pixels) {
        error = path + ": image size does not match its pixels";
        return false;
    }
    std::vector<half> rgb(image.rgb.size());
    for (std::size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = half(image.rgb[i]);
    }
    try {
        Imf::Header header(image.width, image.height);
        header.channels().insert("R", Imf::Channel(Imf::HALF));
        header.channels().insert("G", Imf::Channel(Imf::HALF));
        header.channels().insert("B", Imf::Channel(Imf::HALF));
        header.channels().insert("Z", Imf::Channel(Imf::FLOAT));
        const std::size_t rgbStride = 3 * sizeof(half);
        const std::size_t rowStride = static_cast<std::size_t>(image.width);
        Imf::FrameBuffer frame;
        char *base = reinterpret_cast<char *>(rgb.data());
        frame.insert("R", Imf::Slice(Imf::HALF, base, rgbStride, rgbStride * rowStride));
        frame.insert("G",
                     Imf::Slice(Imf::HALF, base + sizeof(half), rgbStride, rgbStride * rowStride));
        frame.insert(
            "B", Imf::Slice(Imf::HALF, base + 2 * sizeof(half), rgbStride, rgbStride * rowStride));
        char *depth = reinterpret_cast<char *>(const_cast<float *>(image.depth.data()));
        frame.insert("Z", Imf::Slice(Imf::FLOAT, depth, sizeof(float), sizeof(float) * rowStride));
        FileStream stream(file.stream(), path);
        Imf::OutputFile exr(stream, header);
        exr.setFrameBuffer(frame);
        exr.writePixels(image.height);
    } catch (const std::exception &e) {
        error = "cannot write " + path + ": " + e.what();
        return false;
    }
    return true;
}

bool writeExr(const std::string &path, const ExrImage &image, std::string &error) {
    const std::unique_ptr<render::PendingFile> file = render::PendingFile::open(path, error);
    return file && writeExr(*file, image, error) && file->commit(error);
}

} // namespace brelvix::world
