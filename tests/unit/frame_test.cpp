// The per-frame call's failure outcomes, with the module's allocator made to
// fail on demand.
#include "lens/motion_sample.h"
#include "module/lens_handler.h"
#include "tests/support/module_fixture.h"

#include <gtest/gtest.h>

namespace brelvix::testing {
namespace {

class Frame : public ModuleFixture {
  protected:
    void SetUp() override {
        ModuleFixture::SetUp();
        instance = create();
        ASSERT_NE(instance, nullptr);
        access.cameraItem = host.cameraItem();
        access.filmWidth = 0.036;
        access.filmHeight = 0.024;
    }
    void TearDown() override {
        destroyInstance(instance);
        EXPECT_EQ(liveModuleBlocks(), 0u);
        ModuleFixture::TearDown();
    }

    const char *frame(double start, double duration, int32_t steps) {
        const FrameInfo info{1, start, duration, 24.0, steps};
        return prepareFrame(instance, &info, &access);
    }

    CameraInstance *instance = nullptr;
    CameraAccess access{};
};

TEST_F(Frame, AllocationFailureDropsTheTableUntilALaterFrameSucceeds) {
    ASSERT_EQ(frame(0.0, 1.0, 1), nullptr);
    ASSERT_NE(instance->samples, nullptr);
    EXPECT_EQ(liveModuleBlocks(), 2u);
    instance->zoomFactor = 8.0;
    instance->filmHeight = 1.0;

    failAllocation(1);
    host.clearRecords();
    EXPECT_STREQ(frame(2.0, 0.5, 2), "Can't allocate Memory");
    EXPECT_EQ(instance->samples, nullptr);
    EXPECT_EQ(liveModuleBlocks(), 1u); // the previous table is gone
    EXPECT_EQ(instance->sampleCount, 8u);
    EXPECT_EQ(instance->frameStart, 2.0);
    EXPECT_EQ(instance->frameDuration, 0.5);
    // No sample was computed: the cache and the film size are as they were.
    EXPECT_EQ(instance->zoomFactor, 8.0);
    EXPECT_EQ(instance->filmHeight, 1.0);
    EXPECT_TRUE(host.calls().empty());
    CameraRay ray{};
    EXPECT_EQ(evaluateLensRay(instance, 0.0, 0.0, 0.0, 0.0, 0.5, &ray), 0);

    ASSERT_EQ(frame(2.0, 0.5, 0), nullptr);
    EXPECT_EQ(evaluateLensRay(instance, 0.0, 0.0, 0.0, 0.0, 0.5, &ray), 1);
}

TEST_F(Frame, RefusedMotionStepsNeverReachTheAllocator) {
    const std::size_t before = moduleAllocationRequests();
    for (const int32_t steps : {-1, static_cast<int32_t>(kMaxMotionSteps + 1), 0x40000000}) {
        EXPECT_STREQ(frame(3.0, 0.25, steps), "Can't allocate Memory") << steps;
        EXPECT_EQ(instance->samples, nullptr);
        // The frame's values are taken all the same.
        EXPECT_EQ(instance->frameStart, 3.0);
        EXPECT_EQ(instance->frameDuration, 0.25);
    }
    EXPECT_EQ(moduleAllocationRequests(), before);
    // The cap itself is accepted: a table of 4 * cap + 1 records.
    ASSERT_EQ(frame(0.0, 0.0, static_cast<int32_t>(kMaxMotionSteps)), nullptr);
    EXPECT_EQ(instance->sampleCount, kMaxSampleCount);
}

TEST_F(Frame, DestroyAfterFramesReleasesTheLastTable) {
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(frame(i, 1.0, i), nullptr);
        EXPECT_EQ(liveModuleBlocks(), 2u);
    }
    // TearDown destroys the instance and checks that nothing is left.
}

} // namespace
} // namespace brelvix::testing
