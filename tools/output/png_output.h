// 8-bit pixels to a PNG file that leaves nothing half-written behind.
#ifndef BRELVIX_TOOLS_OUTPUT_PNG_OUTPUT_H
#define BRELVIX_TOOLS_OUTPUT_PNG_OUTPUT_H

#include "tools/output/pending_file.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brelvix::render {

/// 8-bit sRGB pixels, three bytes each, row by row from the top.
struct DisplayImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;

    bool operator==(const DisplayImage &) const = default;
};

/// A PNG being written to `path`: the pixels go to a temporary file beside
/// it, which replaces `path` only when complete. Opening first lets a
/// caller find an unwritable path before it renders anything.
class PngOutput {
  public:
    /// Null with a one-line `error` when no file can be made beside `path`.
    static std::unique_ptr<PngOutput> open(const std::string &path, std::string &error);

    /// Encodes the image into the temporary file; false with `error` set and
    /// the temporary gone.
    bool write(const DisplayImage &image, std::string &error);
    /// Moves the written image to the path; false with `error` set, the path
    /// untouched and the temporary gone.
    bool commit(std::string &error);

  private:
    explicit PngOutput(std::unique_ptr<PendingFile> file) : file_(std::move(file)) {}
    /// Removes the temporary when the output is dropped unwritten.
    std::unique_ptr<PendingFile> file_;
};

} // namespace brelvix::render

#endif
