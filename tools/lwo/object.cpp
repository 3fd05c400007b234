#include "tools/lwo/object.h"

#include "tools/lwo/readers.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <new>
#include <sys/stat.h>

namespace brelvix::lwo {
namespace {

/// The largest FORM an IFF file holds: its size is four bytes.
constexpr std::uintmax_t kMaxObjectBytes = std::uintmax_t{0xFFFFFFFFu} + 8;

std::uint32_t bigEndian(std::string_view four) {
    const auto *p = reinterpret_cast<const unsigned char *>(four.data());
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

/// A chunk's identifier as the error shows it: the file's four bytes, any
/// that is not printable text as '?', so that the error stays one line.
std::string printable(std::string id) {
    for (char &c : id) {
        c = c >= 0x20 && c < 0x7F ? c : '?';
    }
    return id;
}

} // namespace

bool isObject(std::string_view head) {
    if (head.size() < 12 || head.substr(0, 4) != "FORM") {
        return false;
    }
    const std::string_view type = head.substr(8, 4);
    return type == "LWOB" || type == "LWO2" || type == "LWO3";
}

ReadResult readObject(std::string_view bytes, const std::string &name) {
    ReadResult result;
    if (!isObject(bytes)) {
        result.error = name + ": not a LightWave object (expected FORM, a size, then LWOB, LWO2 "
                              "or LWO3)";
        return result;
    }
    const std::uint32_t size = bigEndian(bytes.substr(4, 4));
    if (size < 4 || size > bytes.size() - 8) {
        result.error = name + ": FORM chunk at byte 0: declares " + std::to_string(size) +
                       " bytes where " + std::to_string(bytes.size() - 8) + " follow";
        return result;
    }
    const std::string_view type = bytes.substr(8, 4);
    Object object;
    object.generation = type == "LWOB"   ? Generation::lwob
                        : type == "LWO2" ? Generation::lwo2
                                         : Generation::lwo3;
    Cursor body(bytes.substr(12, size - 4), 12, "FORM");
    try {
        if (object.generation == Generation::lwob) {
            readLwob(body, object);
        } else {
            readLwo2(body, object);
        }
    } catch (const Fault &fault) {
        result.error = name + ": " + printable(fault.chunk) + " chunk at byte " +
                       std::to_string(fault.offset) + ": " + fault.what;
        return result;
    } catch (const std::bad_alloc &) {
        result.error = name + ": more data than memory holds";
        return result;
    }
    result.object = std::move(object);
    return result;
}

ReadResult readObjectFile(const std::string &path) {
    ReadResult result;
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        result.error = path + ": no such file, or not a regular file";
        return result;
    }
    if (static_cast<std::uintmax_t>(status.st_size) > kMaxObjectBytes) {
        result.error = path + ": is " + std::to_string(status.st_size) +
                       " bytes, more than a LightWave object holds";
        return result;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        result.error = path + ": cannot be read: " + std::strerror(errno);
        return result;
    }
    std::string bytes;
    try {
        bytes.resize(static_cast<std::size_t>(status.st_size));
    } catch (const std::bad_alloc &) {
        result.error = path + ": more data than memory holds";
        return result;
    }
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    return readObject(bytes, path);
}

} // namespace brelvix::lwo
