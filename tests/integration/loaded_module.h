// A fixture that loads the built module file through the stand-in host and
// activates its lens server, as the host does before it renders.
#ifndef BRELVIX_TESTS_INTEGRATION_LOADED_MODULE_H
#define BRELVIX_TESTS_INTEGRATION_LOADED_MODULE_H

#include "host/standin_host.h"
#include "instance/camera_instance.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace brelvix::integration {

class LoadedModule : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        module = standin::ModuleLibrary::open(BRELVIX_MODULE_PATH, error);
        ASSERT_NE(module, nullptr) << error;
        ASSERT_NE(lensServer(), nullptr);
        ASSERT_EQ(lens.activate(lensServer()->activate, host.lookup(), module->serverData()), 0);
    }

    const ServerRecord *lensServer() const { return module->server("CameraHandler"); }

    void *createInstance() {
        const char *error = nullptr;
        void *const instance =
            lens.instance.create(lens.instance.privateData, host.cameraItem(), &error);
        EXPECT_EQ(error, nullptr);
        return instance;
    }

    /// The instance as the module laid it out; the tests read its fields to
    /// observe what the module did.
    static CameraInstance &record(void *instance) {
        return *static_cast<CameraInstance *>(instance);
    }

    /// The five channels' values at `time`, read on the host's side.
    std::vector<double> channelValues(void *instance, double time) {
        std::vector<double> values;
        for (const ParameterInfo &parameter : kParameters) {
            values.push_back(host.channel(record(instance).*parameter.channel)->curve.at(time));
        }
        return values;
    }

    std::vector<double> cachedValues(void *instance) {
        std::vector<double> values;
        for (const ParameterInfo &parameter : kParameters) {
            values.push_back(record(instance).*parameter.cached);
        }
        return values;
    }

    std::unique_ptr<standin::ModuleLibrary> module;
    standin::StandInHost host;
    standin::LensTables lens;
};

} // namespace brelvix::integration

#endif
