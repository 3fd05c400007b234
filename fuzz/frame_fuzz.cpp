// Fuzz target: the per-frame call and the ray evaluation under arbitrary
// host answers.
//
// The input chooses an allocation to fail (or none), the five channels (a
// constant or keys), the film size, a script of answers that the camera and
// item queries give in turn (focal distance, f-stop, position and the three
// axes: NaN, infinities, zero and scaled axes included), two frames with
// arbitrary FrameInfo, rays with arbitrary film, lens and shutter arguments
// after each, and a viewport preview in between. What must hold:
// - a frame succeeds exactly when its motion steps are accepted and its
//   table could be allocated; otherwise it gives "Can't allocate Memory",
//   keeps no table, and rays answer 0 and leave the ray alone;
// - a successful frame keeps the film size and the frame values it was given,
//   and rays answer 1;
// - when every number the module received for the frame (film size, channel
//   values, every answer of a camera or item query) and the ray's film and
//   lens arguments are ordinary (fuzz_support.h), the ray is finite with a
//   unit direction and a unit film normal, whatever the shutter fraction;
// - the preview leaves the table alone: a ray after it equals the ray before;
// - destroying the instance leaves no block of the module and no channel.
#include "fuzz/fuzz_support.h"
#include "instance/camera_instance.h"
#include "lens/motion_sample.h"
#include "shared/services.h"
#include "tests/support/failing_allocation.h"

#include <string_view>
#include <vector>

namespace brelvix::fuzz {
namespace {

// --- The host's answers, in front of the stand-in host

struct AnswerScript {
    std::vector<double> answers;
    std::size_t next = 0;
    /// Every number handed to the module since the last reset was ordinary.
    bool ordinary = true;

    double take() {
        const double value = answers.empty() ? 0.0 : answers[next++ % answers.size()];
        ordinary = ordinary && isOrdinary(value);
        return value;
    }
};

AnswerScript gScript;
HostLookup gStandInLookup = nullptr;
int (*gStandInValue)(void *, double, void *, double *) = nullptr;
ParameterService gParameters{};
ItemInfoService gItems{};
CameraInfoService gCameras{};

int scriptedValue(void *channel, double time, void *reserved, double *out) {
    const int result = gStandInValue(channel, time, reserved, out);
    gScript.ordinary = gScript.ordinary && isOrdinary(out[0]);
    return result;
}

void scriptedParam(void * /*item*/, int /*code*/, double /*time*/, double out[3]) {
    for (int j = 0; j < 3; ++j) {
        out[j] = gScript.take();
    }
}

double scriptedCameraValue(void * /*item*/, double /*time*/) { return gScript.take(); }

/// The stand-in host's services, with the camera and item queries answered
/// from the script and the channel values watched.
void *scriptedLookup(const char *name, int useCode) {
    void *const service = gStandInLookup(name, useCode);
    if (service == nullptr || name == nullptr) {
        return service;
    }
    const std::string_view wanted = name;
    if (wanted == kParameterServiceName) {
        gParameters = *static_cast<const ParameterService *>(service);
        gStandInValue = gParameters.value;
        gParameters.value = scriptedValue;
        return &gParameters;
    }
    if (wanted == kItemInfoServiceName) {
        gItems = *static_cast<const ItemInfoService *>(service);
        gItems.param = scriptedParam;
        return &gItems;
    }
    if (wanted == kCameraInfoServiceName) {
        gCameras.focalDistance = scriptedCameraValue;
        gCameras.fStop = scriptedCameraValue;
        return &gCameras;
    }
    return service;
}

// --- Checks

CameraInstance &record(void *instance) { return *static_cast<CameraInstance *>(instance); }

double length(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

bool isFinite(const double v[3]) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

bool sameRay(const CameraRay &a, const CameraRay &b) {
    const double *const pa = a.origin;
    const double *const pb = b.origin;
    for (int i = 0; i < 9; ++i) {
        if (!sameValue(pa[i], pb[i])) {
            return false;
        }
    }
    return true;
}

struct RayArguments {
    double filmX, filmY, lensX, lensY, shutter;

    bool ordinary() const {
        return isOrdinary(filmX) && isOrdinary(filmY) && isOrdinary(lensX) && isOrdinary(lensY);
    }
};

RayArguments readRay(FuzzInput &input) {
    RayArguments a{};
    a.filmX = input.number();
    a.filmY = input.number();
    a.lensX = input.number();
    a.lensY = input.number();
    a.shutter = input.number();
    return a;
}

/// Evaluates one ray and checks it against what the last frame left.
CameraRay checkRay(const CameraHandler &handler, void *instance, const RayArguments &a,
                   bool frameOrdinary) {
    CameraRay untouched;
    std::memset(&untouched, 0x5A, sizeof untouched);
    CameraRay ray = untouched;
    const int result =
        handler.evaluate(instance, a.filmX, a.filmY, a.lensX, a.lensY, a.shutter, &ray);
    if (record(instance).samples == nullptr) {
        FUZZ_CHECK(result == 0 && std::memcmp(&ray, &untouched, sizeof ray) == 0,
                   "a ray without a table: result %d", result);
        return ray;
    }
    FUZZ_CHECK(result == 1, "a ray with a table: result %d", result);
    if (frameOrdinary && a.ordinary()) {
        const double directionLength = length(ray.direction);
        const double normalLength = length(ray.filmNormal);
        FUZZ_CHECK(isFinite(ray.origin) && isFinite(ray.direction) && isFinite(ray.filmNormal) &&
                       std::fabs(directionLength - 1.0) < 1e-9 &&
                       std::fabs(normalLength - 1.0) < 1e-9,
                   "ray (%.17g, %.17g, %.17g, %.17g, %.17g): origin (%g, %g, %g) direction "
                   "(%g, %g, %g) normal (%g, %g, %g)",
                   a.filmX, a.filmY, a.lensX, a.lensY, a.shutter, ray.origin[0], ray.origin[1],
                   ray.origin[2], ray.direction[0], ray.direction[1], ray.direction[2],
                   ray.filmNormal[0], ray.filmNormal[1], ray.filmNormal[2]);
    }
    return ray;
}

/// Mostly small step counts; sometimes a raw one, kept small when accepted so
/// that a frame stays quick (the largest accepted count is a unit test's).
int32_t readMotionSteps(FuzzInput &input) {
    const uint8_t kind = input.byte();
    if (kind < 224) {
        return kind % 9;
    }
    const int32_t steps = input.raw<int32_t>();
    if (steps >= 0 && steps <= kMaxMotionSteps) {
        return steps % 9;
    }
    return steps;
}

void runFrames(FuzzInput &input) {
    const int failing = input.byte() % 5; // 0: no allocation fails
    testing::failAllocation(failing);

    forgetHostServices();
    standin::StandInHost host;
    gStandInLookup = host.lookup();
    gScript = AnswerScript{};
    standin::LensTables lens;
    FUZZ_CHECK(lens.activate(activateLens, scriptedLookup, startupModule()) == 0,
               "activation failed");
    const CameraHandler &handler = lens.handler;

    const char *error = nullptr;
    void *const instance =
        lens.instance.create(lens.instance.privateData, host.cameraItem(), &error);
    if (failing == 1) {
        FUZZ_CHECK(instance == nullptr && error != nullptr &&
                       std::strcmp(error, "Couldn't allocate instance data.") == 0,
                   "create under allocation failure gave %p, \"%s\"", instance, error);
        FUZZ_CHECK(host.liveChannelCount() == 0, "channels made without an instance");
        return;
    }
    FUZZ_CHECK(instance != nullptr && error == nullptr, "create failed: %s", error);
    std::size_t allocations = 1;

    // The channels: a constant or up to three keys each.
    for (const ParameterInfo &parameter : kParameters) {
        standin::Curve &curve = host.channel(record(instance).*parameter.channel)->curve;
        const uint8_t keys = input.byte() % 4;
        curve.constant = input.number();
        for (uint8_t k = 0; k < keys; ++k) {
            const double time = input.number();
            curve.setKey(time, input.number());
        }
    }

    CameraAccess access{};
    access.cameraItem = host.cameraItem();
    access.filmWidth = input.number();
    access.filmHeight = input.number();
    const int answerCount = input.byte() % 48 + 1;
    for (int i = 0; i < answerCount; ++i) {
        gScript.answers.push_back(input.number());
    }

    for (int frameNumber = 0; frameNumber < 2; ++frameNumber) {
        FrameInfo frame{};
        frame.frame = input.raw<int32_t>();
        frame.start = input.number();
        frame.duration = input.number();
        frame.framesPerSecond = input.number();
        frame.motionSteps = readMotionSteps(input);
        const bool accepted = frame.motionSteps >= 0 && frame.motionSteps <= kMaxMotionSteps;
        const bool allocationFails = accepted && ++allocations == static_cast<std::size_t>(failing);

        CameraInstance &camera = record(instance);
        const double filmBefore[2] = {camera.filmWidth, camera.filmHeight};
        gScript.ordinary = isOrdinary(access.filmWidth) && isOrdinary(access.filmHeight);
        const char *const result = handler.newFrame(instance, &frame, &access);
        const bool frameOrdinary = gScript.ordinary;

        FUZZ_CHECK(camera.sampleCount == static_cast<uint32_t>(frame.motionSteps) * 4U &&
                       sameValue(camera.frameStart, frame.start) &&
                       sameValue(camera.frameDuration, frame.duration),
                   "frame values not kept (steps %d)", frame.motionSteps);
        if (!accepted || allocationFails) {
            FUZZ_CHECK(result != nullptr && std::strcmp(result, "Can't allocate Memory") == 0 &&
                           camera.samples == nullptr,
                       "steps %d, allocation %s: result \"%s\"", frame.motionSteps,
                       allocationFails ? "failed" : "made", result);
            FUZZ_CHECK(sameValue(camera.filmWidth, filmBefore[0]) &&
                           sameValue(camera.filmHeight, filmBefore[1]),
                       "a failed frame changed the film size");
        } else {
            FUZZ_CHECK(result == nullptr && camera.samples != nullptr, "steps %d: result \"%s\"",
                       frame.motionSteps, result);
            FUZZ_CHECK(sameValue(camera.filmWidth, access.filmWidth) &&
                           sameValue(camera.filmHeight, access.filmHeight),
                       "the film size was not kept");
        }

        const int rayCount = input.byte() % 12 + 1;
        RayArguments first{};
        CameraRay firstRay{};
        for (int i = 0; i < rayCount; ++i) {
            const RayArguments arguments = readRay(input);
            const CameraRay ray = checkRay(handler, instance, arguments, frameOrdinary);
            if (i == 0) {
                first = arguments;
                firstRay = ray;
            }
        }

        if (frameNumber == 0) {
            // The preview samples the parameters and the film size anew but
            // leaves the table alone.
            double matrix[16];
            const double lensX = input.number();
            const double lensY = input.number();
            FUZZ_CHECK(handler.preview(instance, lensX, lensY, matrix, &access) == 1,
                       "preview did not answer 1");
            if (camera.samples != nullptr) {
                CameraRay again{};
                handler.evaluate(instance, first.filmX, first.filmY, first.lensX, first.lensY,
                                 first.shutter, &again);
                FUZZ_CHECK(sameRay(again, firstRay), "the preview changed a ray");
            }
        }
    }

    lens.instance.destroy(instance);
    checkNothingLeft(host);
}

} // namespace
} // namespace brelvix::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    brelvix::fuzz::FuzzInput input(data, size);
    brelvix::fuzz::runFrames(input);
    brelvix::testing::failAllocation(0);
    return 0;
}
