// What a host needs to know of this module to drive it, beside the records
// of host_services.h: the servers' names and classes, the versions their
// activations accept, the panel's ids and the parameter channels' names.
//
// The module's folders take these from here, and so do the stand-in host's
// tools and the tests, so that there is one copy of each.
#ifndef BRELVIX_INTERFACE_MODULE_INTERFACE_H
#define BRELVIX_INTERFACE_MODULE_INTERFACE_H

#include "interface/version.h"

#include <array>
#include <cstdint>

namespace brelvix {

/// The name both servers carry, and the text of their one tag; both carry the
/// version, which the build generates into version.h.
inline constexpr const char *kServerName = "Brelvix" BRELVIX_VERSION_TEXT;
inline constexpr const char *kServerTag = "Brelvix " BRELVIX_VERSION_TEXT;
/// The lens server's class; also the class the panel names when it notifies
/// the host of a changed instance.
inline constexpr const char *kLensClass = "CameraHandler";
/// The panel server's class.
inline constexpr const char *kPanelClass = "CameraInterface";

/// The only version the lens activation accepts.
inline constexpr int kLensVersion = 2;
/// The only version the panel activation accepts.
inline constexpr int kPanelVersion = 4;

// Panel control ids; 0 is the panel as a whole. The getter answers an
// envelope control with its channel handle and the focal-length line with
// the address of its text.
inline constexpr uintptr_t kZoomControl = 0x8001;
inline constexpr uintptr_t kFocalLengthLine = 0x8002;
inline constexpr uintptr_t kHShiftControl = 0x8003;
inline constexpr uintptr_t kVShiftControl = 0x8004;
inline constexpr uintptr_t kDistanceControl = 0x8005;
inline constexpr uintptr_t kAngleControl = 0x8006;

/// The focal-length line the getter answers for kFocalLengthLine is
/// terminated within this many characters.
inline constexpr int kFocalLengthLineSize = 40;

/// The five animatable parameters, in the fixed parameter order: zoom
/// factor, horizontal shift, vertical shift, eye distance, eye angle.
inline constexpr int kParameterCount = 5;

/// The parameters' channel names as the host shows them, in parameter order.
inline constexpr std::array<const char *, kParameterCount> kChannelNames = {
    "ZoomFactor", "HShift", "VShift", "StereoDistance", "StereoAngle"};

/// The envelope control of each parameter, in parameter order.
inline constexpr std::array<uintptr_t, kParameterCount> kParameterControls = {
    kZoomControl, kHShiftControl, kVShiftControl, kDistanceControl, kAngleControl};

} // namespace brelvix

#endif
