#include "instance/camera_instance.h"
#include "instance/persistence.h"
#include "module/descriptor.h"
#include "module/lens_handler.h"
#include "shared/services.h"

namespace brelvix {

int activateLens(int version, HostLookup lookup, void *local, void * /*serverData*/) noexcept {
    if (version != kLensVersion) {
        return kActivationBadVersion;
    }
    HostServices &services = gHostServices;
    services.lookup = lookup;

    // All five are looked up before any is examined.
    services.parameters = static_cast<const ParameterService *>(lookup(kParameterServiceName, 0));
    services.items = static_cast<const ItemInfoService *>(lookup(kItemInfoServiceName, 0));
    services.envelopes = lookup(kEnvelopeServiceName, 0);
    services.timeInfo = static_cast<const TimeInfo *>(lookup(kTimeInfoServiceName, 0));
    services.cameras = static_cast<const CameraInfoService *>(lookup(kCameraInfoServiceName, 0));
    if (services.parameters == nullptr || services.items == nullptr ||
        services.envelopes == nullptr || services.timeInfo == nullptr ||
        services.cameras == nullptr) {
        return kActivationMissingService;
    }

    auto *const handler = static_cast<CameraHandler *>(local);
    InstanceHandlers *const instance = handler->instance;
    instance->privateData = reinterpret_cast<void *>(lookup);
    instance->create = createInstance;
    instance->destroy = destroyInstance;
    instance->copy = copyInstance;
    instance->load = loadInstance;
    instance->save = saveInstance;
    instance->describe = describeInstance;

    handler->preview = previewLens;
    handler->newFrame = prepareFrame;
    handler->evaluate = evaluateLensRay;
    handler->flags = lensFlags;
    return kActivationSucceeded;
}

} // namespace brelvix
