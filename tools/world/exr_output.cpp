#include "tools/world/exr_output.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <half.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace brelvix::world {

bool writeExr(const std::string &path, const ExrImage &image, std::string &error) {
    const auto pixels =
        static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    if (image.width <= 0 || image.height <= 0 || image.rgb.size() != 3 * pixels ||
        image.depth.size() != pixels) {
        error = path + ": image size does not match its pixels";
        return false;
    }
    // A temporary name beside the path, so that the rename stays on one
    // file system.
    const std::filesystem::path target(path);
    std::string name = target.filename().string();
    name.insert(0, 1, '.');
    name.append(".XXXXXX");
    std::string temporary = (target.parent_path() / name).string();
    const int descriptor = mkstemp(temporary.data());
    if (descriptor < 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    fchmod(descriptor, 0644);
    close(descriptor);

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
        Imf::OutputFile file(temporary.c_str(), header);
        file.setFrameBuffer(frame);
        file.writePixels(image.height);
    } catch (const std::exception &e) {
        std::remove(temporary.c_str());
        error = "cannot write " + path + ": " + e.what();
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace brelvix::world
