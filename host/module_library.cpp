// Loading a module file as the host does: open the library by path, find the
// descriptor `_mod_descrip` among its exports, call its start-up function
// once, and call the shut-down function before the library is closed.
#include "host/module_library.h"

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace brelvix::standin {

namespace {

constexpr const char *kDescriptorSymbol = "_mod_descrip";

#ifdef _WIN32

std::string lastSystemError() {
    const DWORD code = GetLastError();
    char *message = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPSTR>(&message), 0, nullptr);
    std::string text = length != 0 && message != nullptr ? std::string(message, length)
                                                         : "error " + std::to_string(code);
    if (message != nullptr) {
        LocalFree(message);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

void *openLibrary(const std::string &path) { return LoadLibraryA(path.c_str()); }

void *findSymbol(void *library, const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeLibrary(void *library) { FreeLibrary(static_cast<HMODULE>(library)); }

std::string lastLoadError() { return lastSystemError(); }

#else

void *openLibrary(const std::string &path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

void *findSymbol(void *library, const char *name) {
    dlerror(); // clear an earlier error so that the one after dlsym is its own
    return dlsym(library, name);
}

void closeLibrary(void *library) { dlclose(library); }

std::string lastLoadError() {
    const char *const text = dlerror();
    return text != nullptr ? text : "unknown error";
}

#endif

/// The path handed to the system's loader. A name without a directory is a
/// file in the working directory, as the host takes it; given as it is, the
/// loader would search its library path for it instead.
std::string loaderPath(const std::string &path) {
#ifdef _WIN32
    const bool bare = path.find_first_of("/\\:") == std::string::npos;
    return bare && !path.empty() ? ".\\" + path : path;
#else
    const bool bare = path.find('/') == std::string::npos;
    return bare && !path.empty() ? "./" + path : path;
#endif
}

} // namespace

std::unique_ptr<ModuleLibrary> ModuleLibrary::open(const std::string &path, std::string &error) {
    void *const handle = openLibrary(loaderPath(path));
    if (handle == nullptr) {
        error = "Cannot load module " + path + ": " + lastLoadError();
        return nullptr;
    }
    const auto *const descriptor =
        static_cast<const ModuleDescriptor *>(findSymbol(handle, kDescriptorSymbol));
    if (descriptor == nullptr) {
        error = "Module " + path + " has no symbol " + kDescriptorSymbol + ": " + lastLoadError();
        closeLibrary(handle);
        return nullptr;
    }
    if (descriptor->startup == nullptr) {
        error = "Module " + path + ": " + kDescriptorSymbol + " has no start-up function";
        closeLibrary(handle);
        return nullptr;
    }

    std::unique_ptr<ModuleLibrary> library(new ModuleLibrary());
    library->handle_ = handle;
    library->descriptor_ = descriptor;
    library->path_ = path;
    library->serverData_ = descriptor->startup();
    return library;
}

ModuleLibrary::~ModuleLibrary() {
    if (handle_ == nullptr) {
        return;
    }
    // The host shuts the module down before it unloads it.
    if (descriptor_ != nullptr && descriptor_->shutdown != nullptr) {
        descriptor_->shutdown(serverData_);
    }
    closeLibrary(handle_);
}

const ModuleDescriptor &ModuleLibrary::descriptor() const { return *descriptor_; }

const ServerRecord *ModuleLibrary::server(std::string_view className) const {
    for (const ServerRecord *server = descriptor_->servers;
         server != nullptr && server->className != nullptr; ++server) {
        if (className == server->className) {
            return server;
        }
    }
    return nullptr;
}

void *ModuleLibrary::serverData() const { return serverData_; }

const std::string &ModuleLibrary::path() const { return path_; }

} // namespace brelvix::standin
