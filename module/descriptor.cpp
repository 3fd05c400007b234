#include "module/descriptor.h"

#include "module/version.h"
#include "panel/panel_server.h"

namespace brelvix {
namespace {

// Both texts carry the version, which the build generates into version.h.
constexpr const char *kServerName = "Brelvix" BRELVIX_VERSION_TEXT;

constexpr ServerTag kTags[] = {
    {"Brelvix " BRELVIX_VERSION_TEXT, 0},
    {nullptr, 0},
};

constexpr ServerRecord kServers[] = {
    {kLensClass, kServerName, activateLens, kTags},
    {kPanelClass, kServerName, activatePanel, kTags},
    {nullptr, nullptr, nullptr, nullptr},
};

} // namespace

void *startupModule() noexcept { return reinterpret_cast<void *>(static_cast<uintptr_t>(4)); }

void shutdownModule(void * /*serverData*/) noexcept {}

} // namespace brelvix

extern "C" BRELVIX_EXPORT const ModuleDescriptor _mod_descrip = {
    0x04121994UL, 3UL, 0x300UL, brelvix::startupModule, brelvix::shutdownModule, brelvix::kServers,
};
