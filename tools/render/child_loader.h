// What the renderer and its loading process say to each other, and the
// loading process's own side: its limits, its stack, its reports.
#ifndef BRELVIX_TOOLS_RENDER_CHILD_LOADER_H
#define BRELVIX_TOOLS_RENDER_CHILD_LOADER_H

#include "tools/render/load_child.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace brelvix::render::child {

// The child's messages: a kind byte, a 64-bit length, the bytes.
enum Record : char {
    kSceneFile = 'S',  // the scene file is being read, or goes to the importer (its path)
    kObjectFile = 'O', // an object file is being read (its path)
    kOutOfMemory = 'M',
    kError = 'E',  // the load failed: its one line
    kResult = 'R', // the shot (shot_wire.h)
};

constexpr std::size_t kHeaderBytes = 1 + sizeof(std::uint64_t);

/// In the forked child: sets the limits, reads `path` as `request` asks on
/// a large stack, reports through `pipe` and ends the process.
[[noreturn]] void runChild(int pipe, pid_t parent, const std::string &path,
                           const ShotRequest &request, const LoadLimits &limits);

} // namespace brelvix::render::child

#endif
