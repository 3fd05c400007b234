// What the renderer (loading_process.h) and its loading process
// (loading_child.h) agree on: the limits the child runs under, and the
// records it sends through the pipe.
#ifndef BRELVIX_TOOLS_SHOT_LOADING_PROTOCOL_H
#define BRELVIX_TOOLS_SHOT_LOADING_PROTOCOL_H

#include <cstddef>
#include <cstdint>

namespace brelvix::render {

/// Processor time a load may take: minutes for the largest models.
inline constexpr int kLoadCpuSeconds = 300;

/// What the loading process may take.
struct LoadLimits {
    /// Address space of the loading process, bytes (0: defaultLoadMemory()).
    std::uint64_t memory = 0;
    int cpuSeconds = kLoadCpuSeconds;
};

namespace child {

// The child's messages: a kind byte, a 64-bit length, the bytes.
enum Record : char {
    kSceneFile = 'S',  // the scene file is being read, or goes to the importer (its path)
    kObjectFile = 'O', // an object file is being read (its path)
    kOutOfMemory = 'M',
    kError = 'E',  // the load failed: its one line
    kResult = 'R', // the shot (shot_wire.h)
};

constexpr std::size_t kHeaderBytes = 1 + sizeof(std::uint64_t);

} // namespace child

} // namespace brelvix::render

#endif
