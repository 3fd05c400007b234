// Cameras through a whole life in the built module file, as the host lives
// it: create, copy, save, load, many frames with their rays and previews,
// destroy. Nothing may outlive the instances: no channel of the host, and
// under AddressSanitizer no block of the module's, which LeakSanitizer is
// asked about while the module is still loaded (the asan preset's
// detect_leaks=1 asks again when the process ends).
#include "host/standin_host.h"
#include "tests/integration/loaded_module.h"

#include <gtest/gtest.h>

#include <string>

#if defined(__SANITIZE_ADDRESS__)
#define BRELVIX_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BRELVIX_LEAK_CHECK 1
#endif
#endif

#ifdef BRELVIX_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

namespace brelvix::integration {
namespace {

class Lifecycle : public LoadedModule {
  protected:
    /// Frames of the life; each camera gets its table rebuilt this often.
    static constexpr int kFrames = 200;

    /// The life itself, in a function of its own, so that no pointer to
    /// what it made is left on the stack when the leak check looks.
    [[gnu::noinline]] void live() {
        void *const first = createInstance();
        void *const second = createInstance();
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        standin::Curve &zoom = curve(first, kZoom);
        zoom.setKey(0.0, 2.0);
        zoom.setKey(kFrames, 4.0);
        curve(first, kAngle).constant = 0.1;
        host.camera().position[0].setKey(0.0, 0.0);
        host.camera().position[0].setKey(kFrames, 10.0);

        CameraAccess access{};
        access.cameraItem = host.cameraItem();
        access.filmWidth = 0.036;
        access.filmHeight = 0.024;
        for (int frame = 0; frame < kFrames; ++frame) {
            if (frame % 50 == 25) {
                // The host copies and reloads a camera now and then.
                ASSERT_EQ(lens.instance.copy(second, first), nullptr);
                standin::SceneWriter writer;
                ASSERT_EQ(lens.instance.save(first, writer.state()), nullptr);
                standin::SceneReader reader(writer.text());
                ASSERT_EQ(lens.instance.load(second, reader.state()), nullptr);
            }
            for (void *const camera : {first, second}) {
                const FrameInfo info{frame, static_cast<double>(frame), 0.5, 24.0, frame % 5};
                ASSERT_EQ(lens.handler.newFrame(camera, &info, &access), nullptr) << frame;
                for (int k = 0; k < 8; ++k) {
                    CameraRay ray{};
                    ASSERT_EQ(lens.handler.evaluate(camera, 0.004 * (k - 4), 0.001 * k, 0.1 * k,
                                                    -0.2, k / 7.0, &ray),
                              1);
                }
                double matrix[16];
                ASSERT_EQ(lens.handler.preview(camera, 0.0, 0.0, matrix, &access), 1);
            }
        }
        // A failed frame drops the table; destroy must still release the rest.
        const FrameInfo refused{kFrames, 0.0, 0.5, 24.0, -1};
        EXPECT_STREQ(lens.handler.newFrame(second, &refused, &access), "Can't allocate Memory");
        lens.instance.destroy(first);
        lens.instance.destroy(second);
        // The handles kept of the instances must not make a leaked block look
        // reachable.
        made.clear();
    }
};

TEST_F(Lifecycle, CreateCopySaveLoadFramesAndDestroyLeaveNothing) {
    live();
    if (HasFatalFailure()) {
        return;
    }
    EXPECT_EQ(host.liveChannelCount(), 0u);
#ifdef BRELVIX_LEAK_CHECK
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "LeakSanitizer found leaks (see above)";
#endif
}

} // namespace
} // namespace brelvix::integration
