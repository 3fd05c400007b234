// The pieces between a stranger's file and the renderer, in process: the
// loading message refused whole when cut anywhere and carried whole by the
// loading process, files known by what they are rather than their names,
// error lines kept short and printable.
#include "tests/render/render_test_support.h"
#include "tools/output/error_text.h"
#include "tools/shot/loading_process.h"
#include "tools/shot/shot.h"
#include "tools/shot/shot_wire.h"
#include "tools/world/file_kind.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <sys/wait.h>

namespace {

using namespace brelvix::render;
using namespace brelvix::render::test;
namespace world = brelvix::world;

TEST(LoadingMessage, IsRefusedWhenCutAnywhere) {
    for (const char *model : {"/usr/share/assimp/models/LWS/move_xz_bezier.lws",
                              "/usr/share/assimp/models/PLY/cube.ply"}) {
        SCOPED_TRACE(model);
        std::string error;
        const std::unique_ptr<Shot> shot = Shot::load(model, "", error);
        ASSERT_TRUE(shot) << error;
        ByteWriter out;
        shot->write(out);
        const std::string bytes = out.take();
        ASSERT_TRUE(Shot::read(bytes, error)) << error;
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            error.clear();
            EXPECT_FALSE(Shot::read(std::string_view(bytes).substr(0, length), error)) << length;
            EXPECT_EQ(error, "the loading process sent a damaged scene");
        }
        EXPECT_FALSE(Shot::read(bytes + '\0', error)) << "a byte past the end";
    }
}

TEST(LoadingProcess, SendsTheShotWholeAndLeavesNoChildWhenDropped) {
    // Large enough that its arrays are read into pages made beforehand.
    const std::string model =
        "/usr/share/assimp/models/glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb";
    std::string error;
    const std::unique_ptr<Shot> direct = Shot::load(model, "", error);
    ASSERT_TRUE(direct) << error;
    const std::unique_ptr<Shot> sent =
        LoadingProcess::start(model, ShotRequest{}, LoadLimits{}).finish(error);
    ASSERT_TRUE(sent) << error;
    ByteWriter directBytes;
    direct->write(directBytes);
    ByteWriter sentBytes;
    sent->write(sentBytes);
    EXPECT_GT(directBytes.size(), 1u << 20);
    EXPECT_TRUE(directBytes.bytes() == sentBytes.bytes());

    ASSERT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    { const LoadingProcess dropped = LoadingProcess::start(model, ShotRequest{}, LoadLimits{}); }
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD) << "the dropped load's child is still there";
}

TEST(FileKind, KnowsScenesByContentAndRefusesWhatIsNotAFile) {
    TempDirectory files;
    const struct {
        std::string name;
        std::string text;
        world::SceneKind kind;
    } cases[] = {
        {"scene.lwo", "LWSC\n5\n", world::SceneKind::lightWave},
        {"scene.txt", "\n  LWSC\n3\n", world::SceneKind::lightWave},
        {"motion.lwo", "LWMO\n3\n", world::SceneKind::other},
        {"level.obj", "<?xml version=\"1.0\"?>\n<irr_scene>\n", world::SceneKind::other},
        {"cube.lws", "v 0 0 0\n", world::SceneKind::none},
    };
    for (const auto &c : cases) {
        writeFile(files.file(c.name), c.text);
        EXPECT_EQ(world::sceneKind(files.file(c.name)), c.kind) << c.name;
        EXPECT_EQ(world::fileFault(files.file(c.name), 1000), "") << c.name;
    }
    EXPECT_EQ(world::fileFault(files.file("scene.lwo"), 3), "is 7 bytes, more than the 3 read");
    EXPECT_EQ(world::fileFault("/dev/null", 1000), "is a device, not a file");
    EXPECT_EQ(world::fileFault(files.path(), 1000), "is a folder, not a file");
    EXPECT_EQ(world::fileFault(files.file("missing"), 1000), "no such file");
}

TEST(ErrorText, QuotesLittleAndEscapesControlCharacters) {
    EXPECT_EQ(excerpt("red\x1b[31m\n\t\x7f"), "red\\x1b[31m\\n\\t\\x7f");
    EXPECT_EQ(excerpt(std::string(100, 'x')), std::string(80, 'x') + "... (100 bytes)");
    const std::string line = "scene.lws:3: unknown word '" + std::string(1000000, 'y') + "'";
    const std::string shown = errorLine(line);
    EXPECT_EQ(shown.rfind("scene.lws:3: unknown word 'yyy", 0), 0u) << shown;
    EXPECT_LT(shown.size(), 200u) << shown;
    EXPECT_NE(shown.find("(1000002 bytes)"), std::string::npos) << shown;
    EXPECT_EQ(errorLine("a path/with spaces: no such file"), "a path/with spaces: no such file");
}

/// The object fuzz target starts from loading messages (first byte 3) of
/// these files: the committed seeds must be today's messages, or the fuzzer
/// spends its time on messages refused at their first field.
/// BRELVIX_WRITE_FUZZ_SEEDS=1 writes them anew.
TEST(LoadingMessage, TheFuzzTargetsSeedsAreTodaysMessages) {
    const std::string models = "/usr/share/assimp/models/";
    const TempDirectory scratch;
    const std::string corpus = BRELVIX_OBJECT_SEEDS;
    const auto fromSeed = [&](const std::string &seed, const std::string &name) {
        // A file the target's header seeds hold, after their own first byte.
        writeFile(scratch.file(name), readFile(corpus + "/" + seed).substr(1));
        return scratch.file(name);
    };
    const std::pair<const char *, std::string> seeds[] = {
        {"message-lws-bezier", models + "LWS/move_xz_bezier.lws"},
        {"message-lws-move-x", models + "LWS/move_x.lws"},
        {"message-obj", models + "OBJ/box.obj"},
        {"message-off-cube", fromSeed("header-off-cube", "cube.off")},
        {"message-ply-cube", fromSeed("header-ply-cube", "cube.ply")},
    };
    const bool rewrite = std::getenv("BRELVIX_WRITE_FUZZ_SEEDS") != nullptr;
    for (const auto &[name, source] : seeds) {
        std::string error;
        const std::unique_ptr<Shot> shot = Shot::load(source, "", error);
        ASSERT_TRUE(shot) << source << ": " << error;
        ByteWriter out;
        shot->write(out);
        const std::string message = '\3' + out.take();
        if (rewrite) {
            writeFile(corpus + "/" + name, message);
        }
        EXPECT_TRUE(readFile(corpus + "/" + name) == message) << name << " is out of date";
    }
}

} // namespace
