#include "tools/module_path.h"

#include <filesystem>

#ifndef BRELVIX_INSTALLED_MODULE
#define BRELVIX_INSTALLED_MODULE "../lib/brelvix/brelvix.so"
#endif

namespace brelvix::tools {

std::string defaultModulePath() {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path self = fs::canonical("/proc/self/exe", error);
    if (error) {
        return "brelvix.so";
    }
    const fs::path beside = self.parent_path() / "brelvix.so";
    const fs::path installed = (self.parent_path() / BRELVIX_INSTALLED_MODULE).lexically_normal();
    return !fs::exists(beside, error) && fs::exists(installed, error) ? installed.string()
                                                                      : beside.string();
}

} // namespace brelvix::tools
