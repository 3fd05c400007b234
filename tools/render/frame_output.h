// One rendered frame to its file, by the output's format: an 8-bit PNG of
// what is displayed, or an OpenEXR file of the linear film with the
// distance each pixel's rays met (`Z`, infinite for the sky). Either appears
// at its path whole, at commit, or not at all.
#ifndef BRELVIX_TOOLS_RENDER_FRAME_OUTPUT_H
#define BRELVIX_TOOLS_RENDER_FRAME_OUTPUT_H

#include "tools/output/exr_output.h"
#include "tools/render/display_image.h"
#include "tools/render/render_options.h"
#include "tools/render/render_tool.h"

#include <memory>
#include <string>

namespace brelvix::render {

class FrameOutput {
  public:
    /// Null with a one-line `error` when no file can be made beside `path`.
    static std::unique_ptr<FrameOutput> open(const std::string &path, OutputFormat format,
                                             std::string &error);
    /// Takes the frame: the film, or its red/cyan composite with `anaglyph`.
    bool write(const RenderResult &frame, bool anaglyph, std::string &error);
    /// Puts the file at its path; false with `error`, the path untouched.
    bool commit(std::string &error);

  private:
    FrameOutput() = default;
    std::unique_ptr<PngOutput> png_;
    /// The EXR file, written at commit.
    std::unique_ptr<PendingFile> exrFile_;
    world::ExrImage exr_;
};

/// The film's linear colours and distances as an EXR image.
world::ExrImage exrImage(const Image &film);

} // namespace brelvix::render

#endif
