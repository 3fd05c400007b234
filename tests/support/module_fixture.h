// A stand-in host with the module's lens server activated in process.
#ifndef BRELVIX_TESTS_SUPPORT_MODULE_FIXTURE_H
#define BRELVIX_TESTS_SUPPORT_MODULE_FIXTURE_H

#include "host/standin_host.h"
#include "instance/camera_instance.h"
#include "module/descriptor.h"
#include "tests/support/failing_allocation.h"

#include <gtest/gtest.h>

namespace brelvix::testing {

class ModuleFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        failAllocation(0);
        ASSERT_EQ(lens.activate(activateLens, host.lookup(), startupModule()), 0);
        host.clearRecords();
    }

    void TearDown() override { failAllocation(0); }

    /// A new instance for the host's camera; the test owns it.
    CameraInstance *create() {
        const char *error = nullptr;
        void *const instance =
            lens.instance.create(lens.instance.privateData, host.cameraItem(), &error);
        EXPECT_EQ(error, nullptr);
        return static_cast<CameraInstance *>(instance);
    }

    static std::vector<double> cached(const CameraInstance &instance) {
        std::vector<double> values;
        for (const ParameterInfo &parameter : kParameters) {
            values.push_back(instance.*parameter.cached);
        }
        return values;
    }

    standin::StandInHost host;
    standin::LensTables lens;
};

} // namespace brelvix::testing

#endif
