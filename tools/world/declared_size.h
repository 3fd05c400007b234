// A look at a file's header before Assimp reads it. Some formats declare
// their element counts up front and Assimp reserves memory for them before
// it reads a single element: a count of a thousand million in a file of a
// few hundred bytes makes it allocate many gigabytes, and then fail an
// assertion that ends the process. No element takes less than a byte, so a
// header that declares more elements than the file has bytes is refused.
#ifndef BRELVIX_TOOLS_WORLD_DECLARED_SIZE_H
#define BRELVIX_TOOLS_WORLD_DECLARED_SIZE_H

#include <string>

namespace brelvix::world {

/// Empty when the header's counts fit the file (or the format declares
/// none: only OFF and PLY are checked, known by name or content), else what
/// it declares, e.g. "declares 353535235358 vertices and 6 faces in 309
/// bytes", or that a PLY header does not end within the bytes looked at.
std::string declaredSizeFault(const std::string &path);

} // namespace brelvix::world

#endif
