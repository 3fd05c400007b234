#include "instance/camera_instance.h"

#include "shared/allocation.h"
#include "shared/services.h"

namespace brelvix {
namespace {

CameraInstance &asInstance(void *instance) { return *static_cast<CameraInstance *>(instance); }

} // namespace

ParameterChannel makeParameterChannel(int typeCode, const char *name, void *group,
                                      double *initialValue) noexcept {
    const ParameterService &parameters = *gHostServices.parameters;
    ParameterChannel const channel = parameters.create(typeCode, -1);
    if (channel == nullptr) {
        return nullptr;
    }
    parameters.setup(channel, name, group, nullptr, nullptr, nullptr, nullptr);
    parameters.setValue(channel, initialValue);
    return channel;
}

void *createInstance(void * /*privateData*/, void *cameraItem, const char **error) noexcept {
    auto *const instance = static_cast<CameraInstance *>(allocateZeroed(1, sizeof(CameraInstance)));
    if (instance == nullptr) {
        if (error != nullptr) {
            *error = kCreateFailed;
        }
        return nullptr;
    }
    for (const ParameterInfo &parameter : kParameters) {
        instance->*parameter.cached = parameter.defaultValue;
    }
    instance->channelGroup = gHostServices.items->channelGroup(cameraItem);
    for (const ParameterInfo &parameter : kParameters) {
        instance->*parameter.channel =
            makeParameterChannel(parameter.typeCode, parameter.channelName, instance->channelGroup,
                                 &(instance->*parameter.cached));
    }
    instance->samples = nullptr;
    return instance;
}

void destroyInstance(void *instance) noexcept {
    if (instance == nullptr) {
        return;
    }
    CameraInstance &camera = asInstance(instance);
    for (const ParameterInfo &parameter : kParameters) {
        if (camera.*parameter.channel != nullptr) {
            gHostServices.parameters->destroy(camera.*parameter.channel);
        }
    }
    releaseMemory(camera.samples);
    releaseMemory(instance);
}

const char *copyInstance(void *to, void *from) noexcept {
    const CameraInstance &source = asInstance(from);
    CameraInstance &target = asInstance(to);
    for (const ParameterInfo &parameter : kParameters) {
        if (target.*parameter.channel != nullptr && source.*parameter.channel != nullptr) {
            // A failed channel copy is passed over.
            static_cast<void>(gHostServices.parameters->copy(target.*parameter.channel,
                                                             source.*parameter.channel));
        }
    }
    return nullptr;
}

const char *describeInstance(void * /*instance*/) noexcept { return kDescriptionLine; }

unsigned int lensFlags(void * /*instance*/) noexcept { return kLensFlags; }

void sampleParameters(CameraInstance &instance, double time) noexcept {
    const ParameterService &parameters = *gHostServices.parameters;
    for (const ParameterInfo &parameter : kParameters) {
        ParameterChannel const channel = instance.*parameter.channel;
        if (channel == nullptr) {
            continue;
        }
        // A host may write more than the first double.
        double scratch[4] = {instance.*parameter.cached, 0.0, 0.0, 0.0};
        static_cast<void>(parameters.value(channel, time, nullptr, scratch));
        instance.*parameter.cached = scratch[0];
    }
}

} // namespace brelvix
