// Linear pixels and distances to an OpenEXR file, as compositors read it:
// half-float R, G, B and a float Z, scanlines from the top. The file is
// written as every output is (pending_file.h): under a temporary name beside
// its path, renamed when complete, so no half-written file is left at the
// path.
#ifndef BRELVIX_TOOLS_OUTPUT_EXR_OUTPUT_H
#define BRELVIX_TOOLS_OUTPUT_EXR_OUTPUT_H

#include "tools/output/pending_file.h"

#include <string>
#include <vector>

namespace brelvix::world {

struct ExrImage {
    int width = 0;
    int height = 0;
    /// Linear R, G, B per pixel, row by row from the top.
    std::vector<float> rgb;
    /// Distance along the ray to the first hit; infinity for the sky.
    std::vector<float> depth;
};

/// Encodes `image` into `file`, not yet committed. False with a one-line
/// `error` naming the path when the sizes do not match or the file cannot
/// be written.
bool writeExr(render::PendingFile &file, const ExrImage &image, std::string &error);

/// The same to a file of its own at `path`, committed; the path is
/// untouched on failure.
bool writeExr(const std::string &path, const ExrImage &image, std::string &error);

} // namespace brelvix::world

#endif
