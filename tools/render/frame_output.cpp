#include "tools/render/frame_output.h"

#include "tools/output/pending_file.h"

namespace brelvix::render {

world::ExrImage exrImage(const Image &film) {
    world::ExrImage image;
    image.width = film.width;
    image.height = film.height;
    image.rgb.reserve(film.pixels.size() * 3);
    for (const Rgb &pixel : film.pixels) {
        image.rgb.push_back(static_cast<float>(pixel.x));
        image.rgb.push_back(static_cast<float>(pixel.y));
        image.rgb.push_back(static_cast<float>(pixel.z));
    }
    image.depth = film.depth;
    return image;
}

std::unique_ptr<FrameOutput> FrameOutput::open(const std::string &path, OutputFormat format,
                                               std::string &error) {
    std::unique_ptr<FrameOutput> output(new FrameOutput());
    if (format == OutputFormat::png) {
        output->png_ = PngOutput::open(path, error);
        return output->png_ ? std::move(output) : nullptr;
    }
    output->exrFile_ = PendingFile::open(path, error);
    return output->exrFile_ ? std::move(output) : nullptr;
}

bool FrameOutput::write(const RenderResult &frame, bool anaglyph, std::string &error) {
    if (png_) {
        return png_->write(frame.display, error);
    }
    exr_ = anaglyph ? exrImage(render::anaglyph(frame.film)) : exrImage(frame.film);
    return true;
}

bool FrameOutput::commit(std::string &error) {
    if (png_) {
        return png_->commit(error);
    }
    const bool committed =
        exrFile_ && world::writeExr(*exrFile_, exr_, error) && exrFile_->commit(error);
    exrFile_.reset();
    return committed;
}

} // namespace brelvix::render
