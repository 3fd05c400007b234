// Layout checks: the byte positions of the host's records and tables that the
// module relies on, compiled with the module for every target (x86-64 and the
// 32-bit Windows build), so that a wrong field fails the build.
#include "interface/host_services.h"

#include <cstddef>

namespace brelvix::abi_check {
constexpr std::size_t kWord = sizeof(void *);
constexpr std::size_t position(std::size_t pos) { return (pos - 1) * kWord; }

static_assert(sizeof(unsigned long) == 4 || sizeof(unsigned long) == kWord);
static_assert(offsetof(ModuleDescriptor, startup) == 3 * sizeof(unsigned long));
static_assert(offsetof(ModuleDescriptor, servers) == 3 * sizeof(unsigned long) + 2 * kWord);
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(ModuleDescriptor) == 6 * 4, "six 32-bit words");
static_assert(sizeof(ServerRecord) == 4 * 4);
static_assert(sizeof(PanelControl) == 3 * 4 && sizeof(PanelDataDesc) == 3 * 4);
#endif
static_assert(sizeof(ServerRecord) == 4 * kWord);
static_assert(offsetof(ServerTag, tag) == kWord);

static_assert(offsetof(LoadState, reader) == position(2));
static_assert(offsetof(LoadState, readFloats) == position(10));
static_assert(offsetof(SaveState, writer) == position(2));
static_assert(offsetof(SaveState, writeFloats) == position(10));

static_assert(offsetof(CameraAccess, cameraItem) == 0);
static_assert(offsetof(CameraAccess, filmWidth) == 176);
static_assert(offsetof(CameraAccess, filmHeight) == 184);
static_assert(sizeof(CameraAccess) >= 192);

static_assert(offsetof(FrameInfo, frame) == 0);
static_assert(offsetof(FrameInfo, start) == 8);
static_assert(offsetof(FrameInfo, duration) == 16);
static_assert(offsetof(FrameInfo, framesPerSecond) == 24);
static_assert(offsetof(FrameInfo, motionSteps) == 32);

static_assert(offsetof(CameraRay, origin) == 0);
static_assert(offsetof(CameraRay, direction) == 24);
static_assert(offsetof(CameraRay, filmNormal) == 48);
static_assert(sizeof(CameraRay) == 72);

static_assert(offsetof(TimeInfo, currentTime) == 0);

static_assert(offsetof(ParameterService, create) == position(1));
static_assert(offsetof(ParameterService, destroy) == position(2));
static_assert(offsetof(ParameterService, setup) == position(3));
static_assert(offsetof(ParameterService, copy) == position(4));
static_assert(offsetof(ParameterService, load) == position(5));
static_assert(offsetof(ParameterService, save) == position(6));
static_assert(offsetof(ParameterService, value) == position(7));
static_assert(offsetof(ParameterService, setValue) == position(8));
static_assert(offsetof(ItemInfoService, param) == position(10));
static_assert(offsetof(ItemInfoService, channelGroup) == position(14));
static_assert(offsetof(CameraInfoService, focalDistance) == position(3));
static_assert(offsetof(CameraInfoService, fStop) == position(4));
static_assert(offsetof(PanelService, create) == position(3));
static_assert(offsetof(PanelService, describe) == position(5));
static_assert(offsetof(PanelService, hint) == position(6));
static_assert(offsetof(PanelService, setData) == position(8));
static_assert(offsetof(PanelService, viewInstance) == position(11));
static_assert(sizeof(PanelControl) == 3 * kWord && sizeof(PanelDataDesc) == 3 * kWord);

static_assert(offsetof(InstanceHandlers, privateData) == position(1));
static_assert(offsetof(InstanceHandlers, create) == position(2));
static_assert(offsetof(InstanceHandlers, destroy) == position(3));
static_assert(offsetof(InstanceHandlers, copy) == position(4));
static_assert(offsetof(InstanceHandlers, load) == position(5));
static_assert(offsetof(InstanceHandlers, save) == position(6));
static_assert(offsetof(InstanceHandlers, describe) == position(7));
static_assert(offsetof(CameraHandler, instance) == position(1));
static_assert(offsetof(CameraHandler, item) == position(2));
static_assert(offsetof(CameraHandler, render) == position(3));
static_assert(offsetof(CameraHandler, preview) == position(4));
static_assert(offsetof(CameraHandler, newFrame) == position(5));
static_assert(offsetof(CameraHandler, evaluate) == position(6));
static_assert(offsetof(CameraHandler, flags) == position(7));
static_assert(offsetof(InterfaceRecord, panel) == position(2));
static_assert(offsetof(InterfaceRecord, command) == position(4));
} // namespace brelvix::abi_check
