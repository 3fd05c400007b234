#include "shared/services.h"

namespace brelvix {

HostServices gHostServices{};

void *lookupService(const char *name) noexcept {
    return gHostServices.lookup != nullptr ? gHostServices.lookup(name, 0) : nullptr;
}

double currentHostTime() noexcept {
    const auto *const timeInfo = static_cast<const TimeInfo *>(lookupService(kTimeInfoServiceName));
    return timeInfo != nullptr ? timeInfo->currentTime : 0.0;
}

} // namespace brelvix
