// "LW Item Info 4" and "LW Camera Info 5": the camera item's position, axes,
// channel group, focal distance and f-stop at any time, read from its curves.
// "LW Time Info" is the host's TimeInfo record itself, and "Animation
// Envelopes" any non-null address: the module never calls it.
#include "host/host_state.h"

namespace brelvix::standin {
namespace {

void itemParam(void *item, int code, double time, double out[3]) {
    StandInHost::Impl *const host = activeHost();
    if (host == nullptr) {
        return;
    }
    std::string detail = "code " + std::to_string(code) + " time " + formatDouble(time);
    const bool known = host->isCamera(item);
    if (!known) {
        detail += " unknown item";
    }
    HostCall typed;
    typed.time = time;
    typed.code = code;
    host->record(kItemInfoServiceName, "param", item, std::move(detail), typed);
    if (out == nullptr) {
        return;
    }
    out[0] = out[1] = out[2] = 0.0;
    if (!known) {
        return;
    }
    const CameraItem &camera = host->camera;
    double axes[3][3];
    camera.axes(time, axes[0], axes[1], axes[2]);
    switch (code) {
    case kItemWorldPosition:
        for (int i = 0; i < 3; ++i) {
            out[i] = camera.position[i].at(time);
        }
        break;
    case kItemRightAxis:
    case kItemUpAxis:
    case kItemForwardAxis: {
        const int axis = code - kItemRightAxis;
        for (int i = 0; i < 3; ++i) {
            out[i] = axes[axis][i] * camera.axisScale[axis];
        }
        break;
    }
    default:
        break;
    }
}

void *itemChannelGroup(void *item) {
    StandInHost::Impl *const host = activeHost();
    if (host == nullptr) {
        return nullptr;
    }
    const bool known = host->isCamera(item);
    host->record(kItemInfoServiceName, "channelGroup", item, known ? "" : "unknown item");
    return known ? &host->camera.channelGroup : nullptr;
}

double cameraCurve(const char *operation, void *item, double time, const Curve CameraItem::*curve) {
    StandInHost::Impl *const host = activeHost();
    if (host == nullptr) {
        return 0.0;
    }
    const bool known = host->isCamera(item);
    HostCall typed;
    typed.time = time;
    host->record(kCameraInfoServiceName, operation, item,
                 "time " + formatDouble(time) + (known ? "" : " unknown item"), typed);
    return known ? (host->camera.*curve).at(time) : 0.0;
}

double cameraFocalDistance(void *item, double time) {
    return cameraCurve("focalDistance", item, time, &CameraItem::focalDistance);
}

double cameraFStop(void *item, double time) {
    return cameraCurve("fStop", item, time, &CameraItem::fStop);
}

} // namespace

const ItemInfoService kItemInfoTable = {
    {},
    itemParam,
    {},
    itemChannelGroup,
};

const CameraInfoService kCameraInfoTable = {
    {},
    cameraFocalDistance,
    cameraFStop,
};

const int kEnvelopeService = 0;

} // namespace brelvix::standin
