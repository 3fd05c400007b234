// The per-camera record of the lens and the operations on it.
//
// The host creates one CameraInstance for each camera that uses the lens and
// holds it from create to destroy. The instance owns its five parameter
// channels (made through the host's parameter service) and its motion sample
// table; the channel group belongs to the host.
#ifndef BRELVIX_INSTANCE_CAMERA_INSTANCE_H
#define BRELVIX_INSTANCE_CAMERA_INSTANCE_H

#include "interface/module_interface.h"

#include <cstdint>

namespace brelvix {

struct MotionSample;

/// Handle of one animatable parameter held by the host's parameter service;
/// null where the host made no channel.
using ParameterChannel = void *;

/// One camera's lens state. The record is one zero-filled allocation, so it
/// stays a plain aggregate: no constructors, no owning C++ members.
struct CameraInstance {
    // Cached parameter values at the time last sampled, in parameter order.
    double zoomFactor;
    double hShift;
    double vShift;
    double stereoDistance;
    double stereoAngle;
    // Film size from the host's camera record at the last preview or frame.
    double filmWidth;
    double filmHeight;
    // The parameters' channels, set once at creation.
    ParameterChannel zoomChannel;
    ParameterChannel hShiftChannel;
    ParameterChannel vShiftChannel;
    ParameterChannel distanceChannel;
    ParameterChannel angleChannel;
    void *channelGroup;
    // The current frame.
    double frameStart;
    double frameDuration;
    /// Intervals of the motion sample table; `samples` holds sampleCount + 1.
    uint32_t sampleCount;
    /// The current frame's table, owned; null before the first frame and after
    /// a frame whose table could not be made.
    MotionSample *samples;
    /// The panel's focal-length line, NUL-terminated.
    char infoText[kFocalLengthLineSize];
};

/// One of the five animatable parameters, in the fixed parameter order.
struct ParameterInfo {
    double CameraInstance::*cached;
    ParameterChannel CameraInstance::*channel;
    const char *channelName;
    int typeCode;
    double defaultValue;
};

/// Zoom factor, horizontal shift, vertical shift, eye distance, eye angle.
/// The eye distance's channel takes type code 0x40, as the eye angle's does:
/// stored scenes carry channels made with that code.
inline constexpr ParameterInfo kParameters[kParameterCount] = {
    {&CameraInstance::zoomFactor, &CameraInstance::zoomChannel, kChannelNames[0], 0x10, 2.6217},
    {&CameraInstance::hShift, &CameraInstance::hShiftChannel, kChannelNames[1], 0x20, 0.0},
    {&CameraInstance::vShift, &CameraInstance::vShiftChannel, kChannelNames[2], 0x20, 0.0},
    {&CameraInstance::stereoDistance, &CameraInstance::distanceChannel, kChannelNames[3], 0x40,
     0.05},
    {&CameraInstance::stereoAngle, &CameraInstance::angleChannel, kChannelNames[4], 0x40, 0.0},
};

/// The description line of every instance.
inline constexpr const char *kDescriptionLine = "Brelvix";
/// The lens flag word of every instance.
inline constexpr unsigned int kLensFlags = 1;
inline constexpr const char *kCreateFailed = "Couldn't allocate instance data.";

// Operations of the host's instance table. Each takes the instance as the
// host hands it (an opaque pointer) and never throws.
void *createInstance(void *privateData, void *cameraItem, const char **error) noexcept;
void destroyInstance(void *instance) noexcept;
const char *copyInstance(void *to, void *from) noexcept;
const char *describeInstance(void *instance) noexcept;
unsigned int lensFlags(void *instance) noexcept;

/// Overwrites the five cached values with the channels' values at `time`.
/// A parameter without a channel keeps its cached value.
void sampleParameters(CameraInstance &instance, double time) noexcept;

/// Makes one channel in `group`, named `name`, starting at `*initialValue`;
/// null when the host makes none.
ParameterChannel makeParameterChannel(int typeCode, const char *name, void *group,
                                      double *initialValue) noexcept;

} // namespace brelvix

#endif
