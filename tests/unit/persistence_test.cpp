#include "instance/persistence.h"
#include "tests/support/module_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brelvix::testing {
namespace {

using standin::ChannelOperation;

class Persistence : public ModuleFixture {
  protected:
    std::string save(CameraInstance *instance, const char **error = nullptr) {
        standin::SceneWriter writer;
        const char *const result = saveInstance(instance, writer.state());
        if (error != nullptr) {
            *error = result;
        }
        return writer.text();
    }

    const char *load(CameraInstance *instance, const std::string &text) {
        standin::SceneReader reader(text);
        const char *const error = loadInstance(instance, reader.state());
        lastError_ = error != nullptr ? error : "";
        return error != nullptr ? lastError_.c_str() : nullptr;
    }

    static std::size_t countLines(const std::string &text, const std::string &prefix) {
        std::size_t count = 0;
        std::size_t start = 0;
        while (start < text.size()) {
            if (text.compare(start, prefix.size(), prefix) == 0) {
                ++count;
            }
            const std::size_t end = text.find('\n', start);
            start = end == std::string::npos ? text.size() : end + 1;
        }
        return count;
    }

    std::string lastError_;
};

TEST_F(Persistence, SaveThenLoadGivesTheValuesNarrowedToSinglePrecision) {
    CameraInstance *const saved = create();
    CameraInstance *const loaded = create();
    ASSERT_NE(saved, nullptr);
    ASSERT_NE(loaded, nullptr);
    const std::string scene = save(saved);
    for (const ParameterInfo &parameter : kParameters) {
        loaded->*parameter.cached = -7.0;
    }
    EXPECT_EQ(load(loaded, scene), nullptr);
    EXPECT_EQ(cached(*loaded),
              (std::vector<double>{2.6217000484466553, 0.0, 0.0, 0.05000000074505806, 0.0}));
    destroyInstance(saved);
    destroyInstance(loaded);
}

TEST_F(Persistence, ChannelsCarryTheirAnimationThroughTheScene) {
    CameraInstance *const saved = create();
    CameraInstance *const loaded = create();
    ASSERT_NE(saved, nullptr);
    ASSERT_NE(loaded, nullptr);
    standin::Curve &angle = host.channel(saved->angleChannel)->curve;
    angle.setKey(0.0, 0.1);
    angle.setKey(1.0, -0.30000000000000004);
    host.channel(saved->vShiftChannel)->curve.constant = 1.0 / 3.0;
    ASSERT_EQ(load(loaded, save(saved)), nullptr);
    for (const double time : {-1.0, 0.0, 0.25, 1.0, 7.0}) {
        SCOPED_TRACE(time);
        sampleParameters(*saved, time);
        sampleParameters(*loaded, time);
        EXPECT_EQ(cached(*loaded), cached(*saved));
    }
    destroyInstance(saved);
    destroyInstance(loaded);
}

TEST_F(Persistence, SaveWritesFiveChannelsThenOneGroupOfFiveNumbers) {
    CameraInstance *const instance = create();
    ASSERT_NE(instance, nullptr);
    const std::string scene = save(instance);
    EXPECT_EQ(host.countCalls("LWVParmFuncs 2", "save"), 5u);
    EXPECT_EQ(countLines(scene, "channel "), 5u);
    EXPECT_EQ(countLines(scene, "floats "), 1u);
    // The numbers come last, all five in one write.
    const std::size_t floats = scene.rfind("floats 5 ");
    ASSERT_NE(floats, std::string::npos);
    EXPECT_EQ(scene.find('\n', floats), scene.size() - 1);
    destroyInstance(instance);
}

TEST_F(Persistence, ChannelSaveErrorEndsTheSave) {
    CameraInstance *const instance = create();
    ASSERT_NE(instance, nullptr);
    host.failChannelOperation(ChannelOperation::Save, 1);
    const char *error = nullptr;
    const std::string scene = save(instance, &error);
    EXPECT_STREQ(error, standin::StandInHost::kInjectedFailure);
    EXPECT_EQ(host.countCalls("LWVParmFuncs 2", "save"), 1u);
    EXPECT_EQ(countLines(scene, "floats "), 0u);
    destroyInstance(instance);
}

TEST_F(Persistence, ChannelLoadErrorIsReturnedAndLeavesTheCacheAlone) {
    CameraInstance *const source = create();
    CameraInstance *const instance = create();
    ASSERT_NE(source, nullptr);
    ASSERT_NE(instance, nullptr);
    const std::string scene = save(source);
    instance->zoomFactor = 5.0;
    const std::vector<double> before = cached(*instance);
    host.clearRecords();
    host.failChannelOperation(ChannelOperation::Load, 2);
    standin::SceneReader reader(scene);
    EXPECT_STREQ(loadInstance(instance, reader.state()), standin::StandInHost::kInjectedFailure);
    EXPECT_EQ(host.countCalls("LWVParmFuncs 2", "load"), 2u);
    EXPECT_EQ(cached(*instance), before);
    destroyInstance(source);
    destroyInstance(instance);
}

TEST_F(Persistence, DamagedSceneGivesTheHostsErrorText) {
    CameraInstance *const instance = create();
    ASSERT_NE(instance, nullptr);
    const std::vector<double> before = cached(*instance);
    for (const std::string &scene :
         {std::string(""), std::string("garbage\n"), std::string("channel 1 0\nkey x 2\n")}) {
        SCOPED_TRACE(scene);
        const char *const error = load(instance, scene);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(std::string(error).rfind("Scene line", 0), 0u) << error;
        EXPECT_EQ(cached(*instance), before);
    }
    destroyInstance(instance);
}

TEST_F(Persistence, FewerNumbersThanFiveStoreOnlyThoseDelivered) {
    CameraInstance *const instance = create();
    ASSERT_NE(instance, nullptr);
    std::string channels = save(instance);
    channels.erase(channels.rfind("floats "));
    struct Case {
        std::string numbers;
        std::vector<double> expected;
    };
    const Case cases[] = {
        {"floats 2 1.5 0.25\n", {1.5, 0.25, 9.0, 9.0, 9.0}},
        {"floats 0\n", {9.0, 9.0, 9.0, 9.0, 9.0}},
        {"", {9.0, 9.0, 9.0, 9.0, 9.0}},              // nothing left: the read gives -1
        {"not numbers\n", {9.0, 9.0, 9.0, 9.0, 9.0}}, // damaged: the read gives -1
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.numbers);
        for (const ParameterInfo &parameter : kParameters) {
            instance->*parameter.cached = 9.0;
        }
        EXPECT_EQ(load(instance, channels + c.numbers), nullptr);
        EXPECT_EQ(cached(*instance), c.expected);
    }
    destroyInstance(instance);
}

TEST_F(Persistence, MissingChannelsAreNeitherSavedNorLoaded) {
    host.failChannelOperation(ChannelOperation::Create, 3);
    CameraInstance *const instance = create();
    ASSERT_NE(instance, nullptr);
    ASSERT_EQ(instance->vShiftChannel, nullptr);
    host.clearRecords();
    const std::string scene = save(instance);
    EXPECT_EQ(host.countCalls("LWVParmFuncs 2", "save"), 4u);
    EXPECT_EQ(load(instance, scene), nullptr);
    EXPECT_EQ(host.countCalls("LWVParmFuncs 2", "load"), 4u);
    for (const standin::HostCall &call : host.calls()) {
        EXPECT_NE(call.handle, nullptr) << call.operation;
    }
    destroyInstance(instance);
}

} // namespace
} // namespace brelvix::testing
