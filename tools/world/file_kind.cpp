#include "tools/world/file_kind.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string_view>
#include <sys/stat.h>

namespace brelvix::world {

std::string fileFault(const std::string &path, std::uintmax_t maxBytes) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return "no such file";
    }
    switch (status.st_mode & S_IFMT) {
    case S_IFREG:
        break;
    case S_IFDIR:
        return "is a folder, not a file";
    case S_IFCHR:
    case S_IFBLK:
        return "is a device, not a file";
    case S_IFIFO:
        return "is a FIFO, not a file";
    case S_IFSOCK:
        return "is a socket, not a file";
    default:
        return "is not a regular file";
    }
    if (static_cast<std::uintmax_t>(status.st_size) > maxBytes) {
        return "is " + std::to_string(status.st_size) + " bytes, more than the " +
               std::to_string(maxBytes) + " read";
    }
    return {};
}

SceneKind sceneKind(const std::string &path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return SceneKind::none;
    }
    std::ifstream file(path, std::ios::binary);
    std::string head(512, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    // Assimp takes a LightWave scene or motion by its first four bytes; the
    // project's reader allows blank space before them.
    const std::size_t start = head.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    const std::string_view text =
        start == std::string::npos ? std::string_view() : std::string_view(head).substr(start);
    if (text.substr(0, 4) == "LWSC") {
        return SceneKind::lightWave;
    }
    if (head.substr(0, 4) == "LWMO" || text.substr(0, 4) == "LWMO" ||
        head.find("<irr_scene") != std::string::npos) {
        return SceneKind::other;
    }
    return SceneKind::none;
}

} // namespace brelvix::world
