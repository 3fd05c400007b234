#include "tests/support/module_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brelvix::testing {
namespace {

using standin::ChannelOperation;

const std::vector<double> kDefaults = {2.6217, 0.0, 0.0, 0.05, 0.0};

class Instance : public ModuleFixture {};

TEST_F(Instance, FreshInstanceSamplesToTheDefaultsAtAnyTime) {
    CameraInstance *const instance = create();
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(cached(*instance), kDefaults);
    for (const double time : {-100.0, 0.0, 0.5, 1e6}) {
        SCOPED_TRACE(time);
        sampleParameters(*instance, time);
        EXPECT_EQ(cached(*instance), kDefaults);
    }
    EXPECT_EQ(instance->samples, nullptr);
    EXPECT_EQ(instance->sampleCount, 0u);
    EXPECT_EQ(instance->filmWidth, 0.0);
    EXPECT_EQ(instance->filmHeight, 0.0);
    EXPECT_STREQ(instance->infoText, "");
    destroyInstance(instance);
}

TEST_F(Instance, MakesFiveChannelsInTheCameraGroupStartingAtTheDefaults) {
    CameraInstance *const instance = create();
    ASSERT_NE(instance, nullptr);
    void *const group = &host.camera().channelGroup;
    EXPECT_EQ(instance->channelGroup, group);
    const int typeCodes[] = {0x10, 0x20, 0x20, 0x40, 0x40};
    const char *const names[] = {"ZoomFactor", "HShift", "VShift", "StereoDistance", "StereoAngle"};
    for (int i = 0; i < kParameterCount; ++i) {
        SCOPED_TRACE(names[i]);
        const standin::Channel *const channel = host.channel(instance->*kParameters[i].channel);
        ASSERT_NE(channel, nullptr);
        EXPECT_EQ(channel->typeCode, typeCodes[i]);
        EXPECT_EQ(channel->textureCode, -1);
        EXPECT_EQ(channel->name, names[i]);
        EXPECT_EQ(channel->group, group);
        EXPECT_EQ(channel->curve.at(0.0), kDefaults[static_cast<std::size_t>(i)]);
    }
    // Create, set up and set the value of each channel, in parameter order.
    EXPECT_EQ(host.countCalls("LWVParmFuncs 2", "create"), 5u);
    EXPECT_EQ(host.countCalls("LWVParmFuncs 2", "setup"), 5u);
    EXPECT_EQ(host.countCalls("LWVParmFuncs 2", "setValue"), 5u);
    destroyInstance(instance);
}

TEST_F(Instance, SamplingReadsTheChannelsAtTheGivenTime) {
    CameraInstance *const instance = create();
    ASSERT_NE(instance, nullptr);
    standin::Channel &zoom = *host.channel(instance->zoomChannel);
    zoom.curve.setKey(0.0, 1.0);
    zoom.curve.setKey(2.0, 3.0);
    host.channel(instance->angleChannel)->curve.constant = 0.25;
    sampleParameters(*instance, 1.0);
    EXPECT_EQ(cached(*instance), (std::vector<double>{2.0, 0.0, 0.0, 0.05, 0.25}));
    sampleParameters(*instance, 5.0);
    EXPECT_EQ(instance->zoomFactor, 3.0);
    destroyInstance(instance);
}

TEST_F(Instance, AllocationFailureGivesTheErrorTextAndAsksForNoChannel) {
    failAllocation(1);
    const char *error = nullptr;
    void *const instance =
        lens.instance.create(lens.instance.privateData, host.cameraItem(), &error);
    EXPECT_EQ(instance, nullptr);
    EXPECT_STREQ(error, "Couldn't allocate instance data.");
    EXPECT_EQ(host.countCalls("LWVParmFuncs 2", "create"), 0u);
    EXPECT_EQ(liveModuleBlocks(), 0u);
}

TEST_F(Instance, AChannelTheHostDidNotMakeIsSkippedEverywhere) {
    for (int missing = 0; missing < kParameterCount; ++missing) {
        SCOPED_TRACE(kParameters[missing].channelName);
        host.failChannelOperation(ChannelOperation::Create, missing + 1);
        CameraInstance *const instance = create();
        ASSERT_NE(instance, nullptr);
        for (int i = 0; i < kParameterCount; ++i) {
            EXPECT_EQ(instance->*kParameters[i].channel == nullptr, i == missing);
        }
        // Sampling keeps the cached value of the missing parameter.
        instance->*kParameters[missing].cached = 42.0;
        sampleParameters(*instance, 0.0);
        EXPECT_EQ(instance->*kParameters[missing].cached, 42.0);

        CameraInstance *const other = create();
        ASSERT_NE(other, nullptr);
        host.clearRecords();
        EXPECT_EQ(copyInstance(other, instance), nullptr);
        EXPECT_EQ(copyInstance(instance, other), nullptr);
        EXPECT_EQ(host.countCalls("LWVParmFuncs 2", "copy"), 8u);
        destroyInstance(other);

        host.clearRecords();
        destroyInstance(instance);
        EXPECT_EQ(host.countCalls("LWVParmFuncs 2", "destroy"), 4u);
        for (const standin::HostCall &call : host.calls()) {
            EXPECT_NE(call.handle, nullptr);
        }
        EXPECT_EQ(host.liveChannelCount(), 0u);
    }
}

TEST_F(Instance, CopyCopiesChannelsOnly) {
    CameraInstance *const source = create();
    CameraInstance *const target = create();
    ASSERT_NE(source, nullptr);
    ASSERT_NE(target, nullptr);
    host.channel(source->hShiftChannel)->curve.setKey(0.0, 0.1);
    host.channel(source->hShiftChannel)->curve.setKey(1.0, 0.3);
    host.channel(source->distanceChannel)->curve.constant = 0.07;
    source->zoomFactor = 9.0;
    target->filmHeight = 0.024;
    const std::vector<double> targetBefore = cached(*target);

    // A failing channel copy is passed over.
    host.failChannelOperation(ChannelOperation::Copy, 1);
    EXPECT_EQ(copyInstance(target, source), nullptr);

    EXPECT_EQ(cached(*target), targetBefore);
    EXPECT_EQ(target->filmHeight, 0.024);
    EXPECT_EQ(host.channel(target->hShiftChannel)->curve.at(0.5), 0.2);
    EXPECT_EQ(host.channel(target->distanceChannel)->curve.at(3.0), 0.07);
    // The calls name the target first.
    std::vector<const void *> copied;
    for (const standin::HostCall &call : host.calls()) {
        if (call.operation == "copy") {
            copied.push_back(call.handle);
        }
    }
    ASSERT_EQ(copied.size(), 5u);
    for (int i = 0; i < kParameterCount; ++i) {
        EXPECT_EQ(copied[static_cast<std::size_t>(i)], target->*kParameters[i].channel);
    }
    sampleParameters(*target, 0.5);
    EXPECT_EQ(cached(*target), (std::vector<double>{2.6217, 0.2, 0.0, 0.07, 0.0}));
    destroyInstance(source);
    destroyInstance(target);
}

TEST_F(Instance, DestroyReleasesChannelsAndRecord) {
    CameraInstance *const instance = create();
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(liveModuleBlocks(), 1u);
    EXPECT_EQ(host.liveChannelCount(), 5u);
    destroyInstance(instance);
    EXPECT_EQ(host.countCalls("LWVParmFuncs 2", "destroy"), 5u);
    EXPECT_EQ(host.liveChannelCount(), 0u);
    EXPECT_EQ(liveModuleBlocks(), 0u);
}

} // namespace
} // namespace brelvix::testing
