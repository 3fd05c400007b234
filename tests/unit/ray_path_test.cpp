// The ray path as the host's render threads use it: several threads on one
// instance at once, and no allocation per ray.
#include "module/lens_handler.h"
#include "tests/support/counting_new.h"
#include "tests/support/module_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

namespace brelvix::testing {
namespace {

class RayPath : public ModuleFixture {
  protected:
    void SetUp() override {
        ModuleFixture::SetUp();
        instance = create();
        ASSERT_NE(instance, nullptr);
        host.channel(instance->angleChannel)->curve.setKey(0.0, 0.0);
        host.channel(instance->angleChannel)->curve.setKey(1.0, 0.2);
        host.camera().position[2].setKey(0.0, 0.0);
        host.camera().position[2].setKey(1.0, 3.0);
        CameraAccess access{};
        access.cameraItem = host.cameraItem();
        access.filmWidth = 0.072;
        access.filmHeight = 0.024;
        const FrameInfo info{1, 0.0, 1.0, 24.0, 3};
        ASSERT_EQ(prepareFrame(instance, &info, &access), nullptr);
    }
    void TearDown() override { destroyInstance(instance); }

    /// The arguments of ray `i` of a fixed pattern over film, lens and shutter.
    static void arguments(int i, double out[5]) {
        out[0] = 0.072 * ((i % 97) / 97.0 - 0.5);
        out[1] = 0.024 * ((i % 89) / 89.0 - 0.5);
        out[2] = (i % 7) / 7.0 - 0.5;
        out[3] = (i % 11) / 11.0 - 0.5;
        out[4] = (i % 101) / 100.0;
    }

    void trace(int first, int count, std::vector<CameraRay> &rays) const {
        for (int i = first; i < first + count; ++i) {
            double a[5];
            arguments(i, a);
            evaluateLensRay(instance, a[0], a[1], a[2], a[3], a[4],
                            &rays[static_cast<std::size_t>(i)]);
        }
    }

    CameraInstance *instance = nullptr;
};

TEST_F(RayPath, ThreadsEvaluatingOneInstanceAgreeWithOneThread) {
    constexpr int kRays = 20000;
    constexpr int kThreads = 4;
    std::vector<CameraRay> serial(kRays);
    std::vector<CameraRay> parallel(kRays);
    trace(0, kRays, serial);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] { trace(t * kRays / kThreads, kRays / kThreads, parallel); });
    }
    for (std::thread &thread : threads) {
        thread.join();
    }
    for (int i = 0; i < kRays; ++i) {
        ASSERT_EQ(std::memcmp(&serial[static_cast<std::size_t>(i)],
                              &parallel[static_cast<std::size_t>(i)], sizeof(CameraRay)),
                  0)
            << "ray " << i;
    }
}

TEST_F(RayPath, EvaluatingRaysAllocatesNothing) {
    std::vector<CameraRay> rays(5000);
    const std::size_t moduleBefore = moduleAllocationRequests();
    const std::size_t newBefore = operatorNewCalls();
    trace(0, static_cast<int>(rays.size()), rays);
    EXPECT_EQ(operatorNewCalls(), newBefore);
    EXPECT_EQ(moduleAllocationRequests(), moduleBefore);
    // The counters do count: a frame allocates its table.
    CameraAccess access{};
    access.cameraItem = host.cameraItem();
    const FrameInfo info{1, 0.0, 1.0, 24.0, 1};
    ASSERT_EQ(prepareFrame(instance, &info, &access), nullptr);
    EXPECT_EQ(moduleAllocationRequests(), moduleBefore + 1);
}

} // namespace
} // namespace brelvix::testing
