// Every allocation of two cameras' lives, made to fail in turn, one at a
// time: each failure has its documented outcome, everything that did not
// fail goes on exactly as in a run without failure, and destroying the
// instances leaves no block of the module and no channel of the host.
#include "tests/support/module_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace brelvix::testing {
namespace {

/// One observable step of the life: what the host did and what it saw.
struct Entry {
    std::string step;
    std::string outcome;
    /// The instance the step works on (0 or 1), or -1 for both.
    int instance;
    /// The number of the module's allocation that the step made, 0 for none.
    std::size_t allocation;

    bool operator==(const Entry &other) const {
        return step == other.step && outcome == other.outcome;
    }
};

std::ostream &operator<<(std::ostream &out, const Entry &entry) {
    return out << entry.step << ": " << entry.outcome;
}

constexpr const char *kNames[2] = {"A", "B"};

/// Reports each step that differs, rather than the two whole lives.
void expectSameLife(const std::vector<Entry> &actual, const std::vector<Entry> &expected) {
    const std::size_t steps = std::max(actual.size(), expected.size());
    for (std::size_t k = 0; k < steps; ++k) {
        if (k >= actual.size()) {
            ADD_FAILURE() << "step " << k << " missing: " << expected[k];
        } else if (k >= expected.size()) {
            ADD_FAILURE() << "step " << k << " not expected: " << actual[k];
        } else if (!(actual[k] == expected[k])) {
            ADD_FAILURE() << "step " << k << ": " << actual[k] << "\n  expected " << expected[k];
        }
    }
}

class AllocationFailure : public ModuleFixture {
  protected:
    /// Two cameras through create, frames and rays, copy, save and load,
    /// preview and destroy; a step on a camera that could not be created is
    /// left out, as the host leaves it out.
    std::vector<Entry> lifecycle() {
        trace.clear();
        firstRequest = moduleAllocationRequests();
        std::array<void *, 2> cameras{};
        for (int i = 0; i < 2; ++i) {
            cameras[i] = createCamera(i);
        }
        frame(cameras, 0, 0.0, 1);
        frame(cameras, 1, 0.0, 0);
        frame(cameras, 0, 1.0, 2);
        if (cameras[0] != nullptr && cameras[1] != nullptr) {
            EXPECT_EQ(lens.instance.copy(cameras[1], cameras[0]), nullptr);
            record("copy B from A", "done", -1, 0);
            standin::SceneWriter writer;
            const char *const saveError = lens.instance.save(cameras[0], writer.state());
            standin::SceneReader reader(writer.text());
            const char *const loadError = lens.instance.load(cameras[1], reader.state());
            record("save A, load B",
                   std::string(saveError == nullptr ? "saved" : saveError) + ", " +
                       (loadError == nullptr ? "loaded" : loadError),
                   -1, 0);
        }
        frame(cameras, 1, 2.0, 1);
        if (cameras[0] != nullptr) {
            double matrix[16];
            EXPECT_EQ(lens.handler.preview(cameras[0], 0.2, -0.1, matrix, &access), 1);
            record("preview A", formatNumbers(matrix, 16), 0, 0);
            rays(cameras, 0);
        }
        for (int i = 0; i < 2; ++i) {
            if (cameras[i] != nullptr) {
                lens.instance.destroy(cameras[i]);
                record(std::string("destroy ") + kNames[i], "done", i, 0);
            }
        }
        return trace;
    }

    void *createCamera(int i) {
        const std::size_t channelsBefore = host.countCalls("LWVParmFuncs 2", "create");
        const std::size_t allocation = nextAllocation();
        const char *error = nullptr;
        void *const camera =
            lens.instance.create(lens.instance.privateData, host.cameraItem(), &error);
        const std::size_t channels = host.countCalls("LWVParmFuncs 2", "create") - channelsBefore;
        record(std::string("create ") + kNames[i],
               std::string(camera != nullptr ? "made" : "none") + ", error " +
                   (error != nullptr ? error : "none") + ", " + std::to_string(channels) +
                   " channels asked for",
               i, allocation);
        if (camera != nullptr) {
            // Both cameras animate alike, so that leaving out the copy and
            // the load of a camera that was never made changes no ray.
            CameraInstance &state = *static_cast<CameraInstance *>(camera);
            host.channel(state.zoomChannel)->curve = standin::Curve{0.0, {{0.0, 2.0}, {3.0, 3.5}}};
            host.channel(state.hShiftChannel)->curve.constant = 0.1;
            host.channel(state.angleChannel)->curve = standin::Curve{0.0, {{0.0, 0.0}, {3.0, 0.3}}};
        }
        return camera;
    }

    void frame(const std::array<void *, 2> &cameras, int i, double start, int32_t steps) {
        void *const camera = cameras[static_cast<std::size_t>(i)];
        if (camera == nullptr) {
            return;
        }
        const std::size_t blocksBefore = liveModuleBlocks();
        const bool hadTable = static_cast<CameraInstance *>(camera)->samples != nullptr;
        const std::size_t allocation = nextAllocation();
        const FrameInfo info{1, start, 1.0, 24.0, steps};
        const char *const error = lens.handler.newFrame(camera, &info, &access);
        record(std::string("frame ") + kNames[i] + " at " + std::to_string(start),
               error != nullptr ? error : "ready", i, allocation);
        const CameraInstance &state = *static_cast<CameraInstance *>(camera);
        if (error != nullptr) {
            // The previous table is gone and no new one was made.
            EXPECT_EQ(state.samples, nullptr);
            EXPECT_EQ(state.sampleCount, static_cast<uint32_t>(steps) * 4U);
            EXPECT_EQ(liveModuleBlocks(), blocksBefore - (hadTable ? 1 : 0));
        } else {
            EXPECT_NE(state.samples, nullptr);
            EXPECT_EQ(liveModuleBlocks(), blocksBefore + (hadTable ? 0 : 1));
        }
        rays(cameras, i);
    }

    /// A few rays across film, lens and shutter; "none" when the camera has
    /// no table, in which case every ray must be left as it was.
    void rays(const std::array<void *, 2> &cameras, int i) {
        void *const camera = cameras[static_cast<std::size_t>(i)];
        std::string outcome;
        int answered = 0;
        for (int k = 0; k < 4; ++k) {
            CameraRay ray;
            std::memset(&ray, 0x5A, sizeof ray);
            const CameraRay untouched = ray;
            const int result = lens.handler.evaluate(camera, 0.012 * (k - 1.5), 0.004 * k, 0.25 * k,
                                                     -0.5, k / 3.0, &ray);
            answered += result;
            if (result == 0) {
                EXPECT_EQ(std::memcmp(&ray, &untouched, sizeof ray), 0);
            } else {
                outcome += formatNumbers(ray.origin, 9) + "; ";
            }
        }
        EXPECT_TRUE(answered == 0 || answered == 4) << answered;
        record(std::string("rays of ") + kNames[i], answered == 0 ? "none" : outcome, i, 0);
    }

    static std::string formatNumbers(const double *values, int count) {
        std::string text;
        for (int k = 0; k < count; ++k) {
            char number[32];
            std::snprintf(number, sizeof number, "%.17g ", values[k]);
            text += number;
        }
        return text;
    }

    /// The number, counted from 1 in this life, of the next allocation.
    std::size_t nextAllocation() const { return moduleAllocationRequests() - firstRequest + 1; }

    void record(std::string step, std::string outcome, int instance, std::size_t allocation) {
        // A step that allocated nothing reports 0, whatever it would be next.
        if (allocation != 0 && nextAllocation() == allocation) {
            allocation = 0;
        }
        trace.push_back(Entry{std::move(step), std::move(outcome), instance, allocation});
    }

    void SetUp() override {
        ModuleFixture::SetUp();
        access.cameraItem = host.cameraItem();
        access.filmWidth = 0.036;
        access.filmHeight = 0.024;
        host.camera().position[2] = standin::Curve{0.0, {{0.0, 0.0}, {3.0, 6.0}}};
        host.camera().heading = standin::Curve{0.0, {{0.0, 0.0}, {3.0, 0.5}}};
    }

    /// What the life must look like when allocation `failing` fails: the
    /// failing step has its documented outcome; a camera that was not made
    /// takes no further step, nor does a copy or load that would involve it;
    /// a camera whose table was not made answers no ray until its next
    /// frame succeeds.
    static std::vector<Entry> expectedWith(const std::vector<Entry> &reference,
                                           std::size_t failing) {
        std::vector<Entry> expected;
        std::array<bool, 2> made{true, true};
        std::array<bool, 2> table{true, true};
        for (const Entry &entry : reference) {
            Entry next = entry;
            const bool fails = entry.allocation == failing;
            if (entry.instance >= 0) {
                const auto i = static_cast<std::size_t>(entry.instance);
                if (!made[i]) {
                    continue;
                }
                if (entry.step.rfind("create", 0) == 0 && fails) {
                    made[i] = false;
                    next.outcome = "none, error Couldn't allocate instance data., 0 channels "
                                   "asked for";
                } else if (entry.step.rfind("frame", 0) == 0) {
                    table[i] = !fails;
                    if (fails) {
                        next.outcome = "Can't allocate Memory";
                    }
                } else if (entry.step.rfind("rays", 0) == 0 && !table[i]) {
                    next.outcome = "none";
                }
            } else if (!made[0] || !made[1]) {
                continue;
            }
            expected.push_back(next);
        }
        return expected;
    }

    CameraAccess access{};
    std::vector<Entry> trace;
    std::size_t firstRequest = 0;
};

TEST_F(AllocationFailure, EachAllocationOfALifeFailsInTurnWithItsDocumentedOutcome) {
    const std::vector<Entry> reference = lifecycle();
    const std::size_t allocations = moduleAllocationRequests() - firstRequest;
    // Two instances and four tables.
    ASSERT_EQ(allocations, 6u);
    ASSERT_EQ(liveModuleBlocks(), 0u);
    ASSERT_EQ(host.liveChannelCount(), 0u);

    for (std::size_t failing = 1; failing <= allocations; ++failing) {
        SCOPED_TRACE("allocation " + std::to_string(failing) + " fails");
        failAllocation(static_cast<int>(failing));
        const std::vector<Entry> trace = lifecycle();
        failAllocation(0);
        expectSameLife(trace, expectedWith(reference, failing));
        EXPECT_EQ(liveModuleBlocks(), 0u);
        EXPECT_EQ(host.liveChannelCount(), 0u);
    }
}

} // namespace
} // namespace brelvix::testing
