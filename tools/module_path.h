// Where the command-line tools find the module when not told: beside the
// program in the build folder, or where `cmake --install` puts it.
#ifndef BRELVIX_TOOLS_MODULE_PATH_H
#define BRELVIX_TOOLS_MODULE_PATH_H

#include <string>

namespace brelvix::tools {

/// brelvix.so beside the running program when it is there; else the
/// installed module, at BRELVIX_INSTALLED_MODULE from the program's folder,
/// when that is there; else the first, so that an error names it.
std::string defaultModulePath();

} // namespace brelvix::tools

#endif
