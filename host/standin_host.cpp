// The stand-in host itself: the global lookup, which answers the services
// of the active host (a withheld one with null), the records of what the
// module asked, and the injection of channel failures and refused panels.
#include "host/host_state.h"

#include <algorithm>
#include <string>

namespace brelvix::standin {
namespace {

StandInHost::Impl *gActiveHost = nullptr;

void *hostLookup(const char *serviceName, int /*useCode*/) {
    StandInHost::Impl *const host = activeHost();
    if (host == nullptr) {
        return nullptr;
    }
    const std::string name = serviceName != nullptr ? serviceName : "";
    host->lookups.push_back(name);
    if (serviceName == nullptr ||
        std::find(host->withheld.begin(), host->withheld.end(), name) != host->withheld.end()) {
        return nullptr;
    }
    if (name == kParameterServiceName) {
        return const_cast<ParameterService *>(&kParameterTable);
    }
    if (name == kItemInfoServiceName) {
        return const_cast<ItemInfoService *>(&kItemInfoTable);
    }
    if (name == kCameraInfoServiceName) {
        return const_cast<CameraInfoService *>(&kCameraInfoTable);
    }
    if (name == kTimeInfoServiceName) {
        return &host->timeInfo;
    }
    if (name == kEnvelopeServiceName) {
        return const_cast<int *>(&kEnvelopeService);
    }
    if (name == kInstanceUpdateServiceName) {
        return reinterpret_cast<void *>(&instanceUpdate);
    }
    if (name == kPanelServiceName) {
        return const_cast<PanelService *>(&kPanelTable);
    }
    return nullptr;
}

} // namespace

StandInHost::Impl *activeHost() { return gActiveHost; }

StandInHost::StandInHost() : impl_(std::make_unique<Impl>()) {
    // A host made while another is active takes over until it is destroyed.
    impl_->previous = gActiveHost;
    gActiveHost = impl_.get();
}

StandInHost::~StandInHost() {
    if (gActiveHost == impl_.get()) {
        gActiveHost = impl_->previous;
    }
}

HostLookup StandInHost::lookup() const { return hostLookup; }

void StandInHost::withholdService(std::string_view name) { impl_->withheld.emplace_back(name); }

void StandInHost::failChannelOperation(ChannelOperation op, int nth) {
    if (nth >= 1) {
        impl_->failures[static_cast<std::size_t>(op)].push_back(nth);
    }
}

void StandInHost::refusePanels(bool refuse) { impl_->refusePanels = refuse; }

void StandInHost::setCurrentTime(double time) { impl_->timeInfo.currentTime = time; }

CameraItem &StandInHost::camera() { return impl_->camera; }

void *StandInHost::cameraItem() { return &impl_->camera; }

Channel *StandInHost::channel(void *handle) { return impl_->findChannel(handle); }

std::size_t StandInHost::liveChannelCount() const { return impl_->channels.size(); }

const std::vector<std::string> &StandInHost::lookups() const { return impl_->lookups; }

const std::vector<HostCall> &StandInHost::calls() const { return impl_->calls; }

std::size_t StandInHost::countCalls(std::string_view service, std::string_view operation) const {
    return static_cast<std::size_t>(
        std::count_if(impl_->calls.begin(), impl_->calls.end(), [&](const HostCall &call) {
            return call.service == service && call.operation == operation;
        }));
}

void StandInHost::clearRecords() {
    impl_->lookups.clear();
    impl_->calls.clear();
    impl_->instanceUpdates.clear();
}

const std::vector<std::pair<std::string, void *>> &StandInHost::instanceUpdates() const {
    return impl_->instanceUpdates;
}

const std::vector<RecordedPanel> &StandInHost::panels() const { return impl_->panels; }

} // namespace brelvix::standin
