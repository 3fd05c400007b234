// Linear pixels and distances to an OpenEXR file, as compositors read it:
// half-float R, G, B and a float Z, scanlines from the top. The file is
// written beside its path under a temporary name and renamed when complete,
// so no half-written file is ever left at the path.
#ifndef BRELVIX_TOOLS_WORLD_EXR_OUTPUT_H
#define BRELVIX_TOOLS_WORLD_EXR_OUTPUT_H

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

/// False with a one-line `error` naming the path when the sizes do not
/// match or the file cannot be written; the path is then untouched.
bool writeExr(const std::string &path, const ExrImage &image, std::string &error);

} // namespace brelvix::world

#endif
