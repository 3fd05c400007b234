// What a file is before anything reads it: a regular file of bounded size
// (not a device, a FIFO or a folder, which a reader would read forever or
// not at all), and whether its content is a scene rather than an object.
#ifndef BRELVIX_TOOLS_WORLD_FILE_KIND_H
#define BRELVIX_TOOLS_WORLD_FILE_KIND_H

#include <cstdint>
#include <string>

namespace brelvix::world {

/// The largest scene or set-up file read: 256 MiB.
inline constexpr std::uintmax_t kMaxSceneFileBytes = std::uintmax_t{256} << 20;

/// Empty when `path` (symbolic links followed) is a regular file of at most
/// `maxBytes`, else the fault without the path: "no such file", "is a
/// folder, not a file", "is a device, not a file", "is a FIFO, not a file",
/// "is 300000000 bytes, more than the 268435456 read", ...
std::string fileFault(const std::string &path, std::uintmax_t maxBytes);

enum class SceneKind {
    none,      // not a scene: an object or anything else
    lightWave, // the host's scene file, "LWSC" first
    other,     // another scene format that names object files (LightWave
               // motion, Irrlicht scene), which Assimp would read in turn
};

/// What the file's first bytes say, whatever its name: a scene that names
/// other files, or not. A file that cannot be read is `none`.
SceneKind sceneKind(const std::string &path);

/// A scene of any kind: never to be read as an object.
inline bool isSceneFile(const std::string &path) { return sceneKind(path) != SceneKind::none; }

} // namespace brelvix::world

#endif
