// The object loading path's own code, the part that stands between a
// stranger's file and the importers, and between the loading process and the
// renderer. The first byte picks what the rest is:
//  - 0 to 2: a file named .ply, .off or .lwo: the size and kind checks
//    before Assimp, which must not fail on any bytes; a regular file is never
//    refused for its kind without the size cap, always with a cap below its
//    size; a file starting "LWSC" is a LightWave scene, never an object.
//  - 3: the loading process's message: a damaged one is refused, never read
//    past its end, and a shot read from it is used as the renderer uses it
//    (camera, film, frames, placed at a time) and writes back to bytes that
//    read again to the same bytes.
#include "tools/shot/shot.h"
#include "tools/shot/shot_wire.h"
#include "tools/world/declared_size.h"
#include "tools/world/file_kind.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using namespace brelvix;

void require(bool property, const char *what) {
    if (!property) {
        std::fprintf(stderr, "broken property: %s\n", what);
        std::abort();
    }
}

void checkFile(int kind, const std::string &bytes) {
    // In memory where there is such a folder: a busy disc must not make a
    // run look slow.
    static const std::string folder = [] {
        for (const char *pattern :
             {"/dev/shm/brelvix-object-fuzz-XXXXXX", "/tmp/brelvix-object-fuzz-XXXXXX"}) {
            std::string name = pattern;
            if (mkdtemp(name.data()) != nullptr) {
                return name;
            }
        }
        return std::string("/tmp");
    }();
    // Gone with the process.
    static const struct Cleanup {
        ~Cleanup() {
            std::error_code ignored;
            if (folder != "/tmp") {
                std::filesystem::remove_all(folder, ignored);
            }
        }
    } cleanup;
    const char *const extensions[] = {".ply", ".off", ".lwo"};
    const std::string path = folder + "/input" + extensions[kind];
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    require(world::fileFault(path, UINTMAX_MAX).empty(), "a regular file passes without a cap");
    require(bytes.empty() || !world::fileFault(path, bytes.size() - 1).empty(),
            "a file over the cap is refused");
    const world::SceneKind sceneKind = world::sceneKind(path);
    require(bytes.rfind("LWSC", 0) != 0 || sceneKind == world::SceneKind::lightWave,
            "a LightWave scene is known by its content");
    static_cast<void>(world::declaredSizeFault(path));
}

std::string written(const render::Shot &shot) {
    render::ByteWriter out;
    shot.write(out);
    return out.take();
}

void checkMessage(const std::string &bytes) {
    std::string error;
    const std::unique_ptr<render::Shot> shot = render::Shot::read(bytes, error);
    if (!shot) {
        require(!error.empty(), "a damaged message says so");
        return;
    }
    static_cast<void>(shot->camera(0.0));
    static_cast<void>(shot->film());
    static_cast<void>(shot->frames());
    world::PlacedGeometry scene;
    shot->place(scene, 0.5);
    const std::string once = written(*shot);
    const std::unique_ptr<render::Shot> again = render::Shot::read(once, error);
    require(again != nullptr, "a written shot reads back");
    require(written(*again) == once, "a written shot reads back to the same bytes");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string rest(reinterpret_cast<const char *>(data) + 1, size - 1);
    const int selector = data[0] % 4;
    if (selector < 3) {
        checkFile(selector, rest);
    } else {
        checkMessage(rest);
    }
    return 0;
}
