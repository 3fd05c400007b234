#include "module/descriptor.h"

#include "panel/panel_server.h"
#include "shared/no_op.h"

namespace brelvix {
namespace {

constexpr ServerTag kTags[] = {
    {kServerTag, 0},
    {nullptr, 0},
};

constexpr ServerRecord kServers[] = {
    {kLensClass, kServerName, activateLens, kTags},
    {kPanelClass, kServerName, activatePanel, kTags},
    {nullptr, nullptr, nullptr, nullptr},
};

} // namespace

void *startupModule() noexcept { return reinterpret_cast<void *>(static_cast<uintptr_t>(4)); }

} // namespace brelvix

extern "C" BRELVIX_EXPORT const ModuleDescriptor _mod_descrip = {
    brelvix::kDescriptorSyncWord,    brelvix::kDescriptorSystemVersion,
    brelvix::kDescriptorMachineWord, brelvix::startupModule,
    brelvix::ignoreArgument,         brelvix::kServers,
};
