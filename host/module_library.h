// Loading a module file as the host does.
#ifndef BRELVIX_HOST_MODULE_LIBRARY_H
#define BRELVIX_HOST_MODULE_LIBRARY_H

#include "interface/host_services.h"

#include <memory>
#include <string>
#include <string_view>

namespace brelvix::standin {

/// A module file loaded as the host loads it: by path, through `_mod_descrip`.
/// A path without a directory names a file in the working directory.
class ModuleLibrary {
  public:
    /// Null with `error` naming the path (and the symbol) when the file
    /// cannot be loaded or has no descriptor.
    static std::unique_ptr<ModuleLibrary> open(const std::string &path, std::string &error);
    ~ModuleLibrary(); // closes the library
    ModuleLibrary(const ModuleLibrary &) = delete;
    ModuleLibrary &operator=(const ModuleLibrary &) = delete;

    const ModuleDescriptor &descriptor() const;
    /// The server of that class, or null.
    const ServerRecord *server(std::string_view className) const;
    /// The start-up function's result, called once at open.
    void *serverData() const;
    const std::string &path() const;

  private:
    ModuleLibrary() = default;
    void *handle_ = nullptr;
    const ModuleDescriptor *descriptor_ = nullptr;
    void *serverData_ = nullptr;
    std::string path_;
};

} // namespace brelvix::standin

#endif
