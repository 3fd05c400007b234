#include "module/lens_handler.h"

#include "instance/camera_instance.h"
#include "lens/motion_sample.h"
#include "lens/projection.h"
#include "lens/ray.h"
#include "shared/allocation.h"
#include "shared/services.h"

namespace brelvix {
namespace {

CameraInstance &asInstance(void *instance) { return *static_cast<CameraInstance *>(instance); }

/// The host's answers for one sample time of the camera. Updates the
/// instance on the way: its cached parameter values become those at `time`,
/// its film size that of `access`.
SampleInputs updateInstanceAndGatherAnswers(CameraInstance &camera, const CameraAccess &access,
                                            double time) {
    const HostServices &host = gHostServices;
    void *const item = access.cameraItem;
    sampleParameters(camera, time);

    SampleInputs inputs{};
    inputs.focusDistance = host.cameras->focalDistance(item, time);
    inputs.fStop = host.cameras->fStop(item, time);
    host.items->param(item, kItemWorldPosition, time, inputs.position);
    host.items->param(item, kItemRightAxis, time, inputs.right);
    host.items->param(item, kItemUpAxis, time, inputs.up);
    host.items->param(item, kItemForwardAxis, time, inputs.forward);

    camera.filmWidth = access.filmWidth;
    camera.filmHeight = access.filmHeight;
    inputs.zoomFactor = camera.zoomFactor;
    inputs.hShift = camera.hShift;
    inputs.vShift = camera.vShift;
    inputs.stereoDistance = camera.stereoDistance;
    inputs.stereoAngle = camera.stereoAngle;
    inputs.filmWidth = access.filmWidth;
    inputs.filmHeight = access.filmHeight;
    return inputs;
}

} // namespace

const char *prepareFrame(void *instance, const FrameInfo *frame,
                         const CameraAccess *access) noexcept {
    CameraInstance &camera = asInstance(instance);
    camera.frameStart = frame->start;
    camera.frameDuration = frame->duration;
    const std::optional<uint32_t> sampleCount = sampleCountForMotionSteps(frame->motionSteps);
    camera.sampleCount = static_cast<uint32_t>(frame->motionSteps) * 4U;

    releaseMemory(camera.samples);
    camera.samples = nullptr;
    if (!sampleCount) {
        return kTableAllocationFailed;
    }
    camera.samples = static_cast<MotionSample *>(
        allocateZeroed(static_cast<std::size_t>(*sampleCount) + 1, sizeof(MotionSample)));
    if (camera.samples == nullptr) {
        return kTableAllocationFailed;
    }

    for (uint32_t i = 0; i <= *sampleCount; ++i) {
        const double time = sampleTime(camera.frameStart, camera.frameDuration, *sampleCount, i);
        camera.samples[i] = makeMotionSample(updateInstanceAndGatherAnswers(camera, *access, time));
    }
    return nullptr;
}

int previewLens(void *instance, double lensX, double lensY, double matrix[16],
                const CameraAccess *access) noexcept {
    CameraInstance &camera = asInstance(instance);
    const double time = currentHostTime();
    sampleParameters(camera, time);

    // The camera service is looked up anew for every preview.
    const auto *cameras =
        static_cast<const CameraInfoService *>(lookupService(kCameraInfoServiceName));
    if (cameras == nullptr) {
        cameras = gHostServices.cameras;
    }
    const double focalDistance = cameras->focalDistance(access->cameraItem, time);
    const double fStop = cameras->fStop(access->cameraItem, time);
    camera.filmWidth = access->filmWidth;
    camera.filmHeight = access->filmHeight;

    const ViewportInputs inputs{camera.zoomFactor,
                                camera.hShift,
                                camera.vShift,
                                camera.filmWidth,
                                camera.filmHeight,
                                lensX,
                                lensY,
                                focalDistance,
                                fStop};
    makeViewportProjection(inputs, matrix);
    return 1;
}

int evaluateLensRay(void *instance, double filmX, double filmY, double lensX, double lensY,
                    double shutterFraction, CameraRay *ray) noexcept {
    const CameraInstance &camera = *static_cast<const CameraInstance *>(instance);
    // No table (no frame yet, or its table could not be made): no ray, and
    // the host's record is left as it was.
    if (camera.samples == nullptr) {
        return 0;
    }
    const MotionSample &sample = camera.samples[sampleIndex(camera.sampleCount, shutterFraction)];
    writeCameraRay(sample, filmX, filmY, lensX, lensY, ray->origin, ray->direction,
                   ray->filmNormal);
    return 1;
}

} // namespace brelvix
