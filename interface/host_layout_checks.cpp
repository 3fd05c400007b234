// Layout checks: the byte positions of the host's records and tables that the
// module relies on, compiled with the module for every target (native x86-64,
// 32-bit and 64-bit Windows), so that a wrong field fails the build. The
// positions in words hold on every target; the byte figures of each target
// below say the same in bytes, where padding could hide a mistake.
#include "interface/host_services.h"

#include <cstddef>
#include <type_traits>

namespace brelvix::abi_check {
constexpr std::size_t kWord = sizeof(void *);
constexpr std::size_t position(std::size_t pos) { return (pos - 1) * kWord; }

// The descriptor: three 32-bit unsigned fields on every target, then the
// three pointers at the next word boundary.
static_assert(std::is_same_v<decltype(ModuleDescriptor::syncWord), uint32_t>);
static_assert(std::is_same_v<decltype(ModuleDescriptor::systemVersion), uint32_t>);
static_assert(std::is_same_v<decltype(ModuleDescriptor::machineWord), uint32_t>);
static_assert(offsetof(ModuleDescriptor, syncWord) == 0);
static_assert(offsetof(ModuleDescriptor, systemVersion) == 4);
static_assert(offsetof(ModuleDescriptor, machineWord) == 8);
static_assert(offsetof(ModuleDescriptor, startup) == (12 + kWord - 1) / kWord * kWord);
static_assert(offsetof(ModuleDescriptor, shutdown) == offsetof(ModuleDescriptor, startup) + kWord);
static_assert(offsetof(ModuleDescriptor, servers) ==
              offsetof(ModuleDescriptor, startup) + 2 * kWord);
static_assert(sizeof(ModuleDescriptor) == offsetof(ModuleDescriptor, servers) + kWord);
static_assert(sizeof(ServerRecord) == 4 * kWord);
static_assert(offsetof(ServerRecord, activate) == position(3));
static_assert(offsetof(ServerRecord, tags) == position(4));
static_assert(std::is_same_v<decltype(ServerTag::tag), uint32_t>);
static_assert(offsetof(ServerTag, tag) == kWord);
static_assert(sizeof(ServerTag) == 2 * kWord);

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

// Each target in bytes.
#if defined(_WIN32) && !defined(_WIN64)
// 32-bit Windows: every field one 32-bit word; doubles 8-aligned in records.
static_assert(kWord == 4);
static_assert(sizeof(ModuleDescriptor) == 24, "six 32-bit words");
static_assert(offsetof(ModuleDescriptor, startup) == 12);
static_assert(offsetof(ModuleDescriptor, servers) == 20);
static_assert(sizeof(ServerRecord) == 16 && sizeof(ServerTag) == 8);
static_assert(sizeof(LoadState) == 40 && offsetof(LoadState, readFloats) == 36);
static_assert(sizeof(SaveState) == 40 && offsetof(SaveState, writeFloats) == 36);
static_assert(sizeof(FrameInfo) == 40);
static_assert(sizeof(CameraAccess) == 192);
static_assert(offsetof(ItemInfoService, param) == 36);
static_assert(offsetof(ItemInfoService, channelGroup) == 52);
static_assert(offsetof(PanelService, viewInstance) == 40);
static_assert(sizeof(PanelControl) == 12 && sizeof(PanelDataDesc) == 12);
static_assert(sizeof(InstanceHandlers) == 28 && sizeof(CameraHandler) == 28);
static_assert(sizeof(InterfaceRecord) == 16);
#elif defined(_WIN64) || defined(__LP64__)
// 64-bit Windows and 64-bit Linux: pointers 8 bytes, int 4, double 8 and
// 8-aligned. The descriptor's three 32-bit fields take 12 bytes, and 4 bytes
// of padding bring the start-up function to 16: 40 bytes in all. A tag
// entry is the text pointer, the 32-bit tag and 4 bytes of padding.
static_assert(kWord == 8);
static_assert(sizeof(ModuleDescriptor) == 40);
static_assert(offsetof(ModuleDescriptor, startup) == 16);
static_assert(offsetof(ModuleDescriptor, shutdown) == 24);
static_assert(offsetof(ModuleDescriptor, servers) == 32);
static_assert(sizeof(ServerRecord) == 32 && sizeof(ServerTag) == 16);
static_assert(offsetof(ServerTag, tag) == 8);
static_assert(sizeof(LoadState) == 80 && offsetof(LoadState, reader) == 8);
static_assert(offsetof(LoadState, readFloats) == 72);
static_assert(sizeof(SaveState) == 80 && offsetof(SaveState, writeFloats) == 72);
static_assert(sizeof(FrameInfo) == 40);
static_assert(sizeof(CameraAccess) == 192);
static_assert(offsetof(ItemInfoService, param) == 72);
static_assert(offsetof(ItemInfoService, channelGroup) == 104);
static_assert(offsetof(CameraInfoService, fStop) == 24);
static_assert(offsetof(PanelService, viewInstance) == 80);
static_assert(sizeof(PanelControl) == 24 && sizeof(PanelDataDesc) == 24);
static_assert(sizeof(InstanceHandlers) == 56 && sizeof(CameraHandler) == 56);
static_assert(offsetof(CameraHandler, evaluate) == 40);
static_assert(sizeof(InterfaceRecord) == 32);
#else
#error "no layout checks for this target: add its byte figures here"
#endif
} // namespace brelvix::abi_check
