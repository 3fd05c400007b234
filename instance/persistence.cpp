#include "instance/persistence.h"

#include "instance/camera_instance.h"
#include "shared/services.h"

namespace brelvix {

const char *loadInstance(void *instance, const LoadState *state) noexcept {
    CameraInstance &camera = *static_cast<CameraInstance *>(instance);
    const ParameterService &parameters = *gHostServices.parameters;
    for (const ParameterInfo &parameter : kParameters) {
        if (camera.*parameter.channel == nullptr) {
            continue;
        }
        if (const char *const error = parameters.load(camera.*parameter.channel, state)) {
            return error;
        }
    }

    float values[kParameterCount] = {};
    const int delivered = state->readFloats(state->reader, values, kParameterCount);
    for (int i = 0; i < kParameterCount && i < delivered; ++i) {
        camera.*kParameters[i].cached = static_cast<double>(values[i]);
    }
    return nullptr;
}

const char *saveInstance(void *instance, const SaveState *state) noexcept {
    const CameraInstance &camera = *static_cast<const CameraInstance *>(instance);
    const ParameterService &parameters = *gHostServices.parameters;
    for (const ParameterInfo &parameter : kParameters) {
        if (camera.*parameter.channel == nullptr) {
            continue;
        }
        if (const char *const error = parameters.save(camera.*parameter.channel, state)) {
            return error;
        }
    }

    float values[kParameterCount];
    for (int i = 0; i < kParameterCount; ++i) {
        values[i] = static_cast<float>(camera.*kParameters[i].cached);
    }
    state->writeFloats(state->writer, values, kParameterCount);
    return nullptr;
}

} // namespace brelvix
