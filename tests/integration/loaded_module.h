// A fixture that loads the built module file through the stand-in host and
// activates its lens server, as the host does before it renders.
//
// The tests see the module only as a host does: through the tables the
// activation filled, the calls the module makes of the host (recorded by the
// stand-in host), the scene text it saves, the panel's getter and setter,
// the matrices and the rays. An instance handle is never looked into.
#ifndef BRELVIX_TESTS_INTEGRATION_LOADED_MODULE_H
#define BRELVIX_TESTS_INTEGRATION_LOADED_MODULE_H

#include "host/standin_host.h"
#include "interface/module_interface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace brelvix::integration {

/// The parameters in parameter order, to index what the module made.
enum Parameter { kZoom, kHShift, kVShift, kDistance, kAngle };

/// What the module asked of the host while it made one instance: the
/// channels it set up, by name, and the values it gave them.
struct MadeChannels {
    std::array<void *, kParameterCount> handles{};
    std::array<double, kParameterCount> initialValues{};
};

/// The channels set up and set by the calls recorded from `first` on.
inline MadeChannels channelsMadeSince(const standin::StandInHost &host, std::size_t first) {
    MadeChannels made;
    const std::vector<standin::HostCall> &calls = host.calls();
    for (std::size_t i = first; i < calls.size(); ++i) {
        const standin::HostCall &call = calls[i];
        if (call.service != kParameterServiceName) {
            continue;
        }
        const standin::Channel *const channel =
            const_cast<standin::StandInHost &>(host).channel(const_cast<void *>(call.handle));
        if (channel == nullptr) {
            continue;
        }
        const auto named = std::find(kChannelNames.begin(), kChannelNames.end(), channel->name);
        if (named == kChannelNames.end()) {
            continue;
        }
        const auto index = static_cast<std::size_t>(named - kChannelNames.begin());
        if (call.operation == "setup") {
            made.handles[index] = const_cast<void *>(call.handle);
        }
        if (call.operation == "setValue") {
            made.initialValues[index] = call.value;
        }
    }
    return made;
}

/// The five numbers an instance's save writes after its channels: its
/// cached values, narrowed to single precision.
inline std::vector<double> savedNumbers(const InstanceHandlers &instances, void *instance) {
    standin::SceneWriter writer;
    EXPECT_EQ(instances.save(instance, writer.state()), nullptr);
    const std::string &text = writer.text();
    const std::size_t line = text.rfind("floats");
    if (line == std::string::npos) {
        ADD_FAILURE() << "no numbers in\n" << text;
        return {};
    }
    float numbers[5] = {};
    EXPECT_EQ(std::sscanf(text.c_str() + line, "floats 5 %g %g %g %g %g", &numbers[0], &numbers[1],
                          &numbers[2], &numbers[3], &numbers[4]),
              5)
        << text.substr(line);
    return std::vector<double>(numbers, numbers + 5);
}

class LoadedModule : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        module = standin::ModuleLibrary::open(BRELVIX_MODULE_PATH, error);
        ASSERT_NE(module, nullptr) << error;
        ASSERT_NE(lensServer(), nullptr);
        ASSERT_EQ(lens.activate(lensServer()->activate, host.lookup(), module->serverData()), 0);
    }

    const ServerRecord *lensServer() const { return module->server(kLensClass); }

    void *createInstance() {
        const std::size_t first = host.calls().size();
        const char *error = nullptr;
        void *const instance =
            lens.instance.create(lens.instance.privateData, host.cameraItem(), &error);
        EXPECT_EQ(error, nullptr);
        made[instance] = channelsMadeSince(host, first);
        return instance;
    }

    /// The host's side of a parameter's channel that the module made.
    standin::Curve &curve(void *instance, Parameter parameter) {
        standin::Channel *const channel =
            host.channel(made.at(instance).handles[static_cast<std::size_t>(parameter)]);
        EXPECT_NE(channel, nullptr) << kChannelNames[static_cast<std::size_t>(parameter)];
        return channel->curve;
    }

    /// The five channels' values at `time`, read on the host's side.
    std::vector<double> channelValues(void *instance, double time) {
        std::vector<double> values;
        for (int i = 0; i < kParameterCount; ++i) {
            values.push_back(curve(instance, static_cast<Parameter>(i)).at(time));
        }
        return values;
    }

    std::vector<double> savedNumbers(void *instance) {
        return integration::savedNumbers(lens.instance, instance);
    }

    /// The next five channel value queries fail without writing: a sampling
    /// of the parameters then keeps the instance's cached values, so that
    /// the following preview or frame computes with them.
    void failTheNextSampling() {
        for (int i = 1; i <= kParameterCount; ++i) {
            host.failChannelOperation(standin::ChannelOperation::Value, i);
        }
    }

    std::unique_ptr<standin::ModuleLibrary> module;
    standin::StandInHost host;
    standin::LensTables lens;
    std::map<void *, MadeChannels> made;
};

} // namespace brelvix::integration

#endif
