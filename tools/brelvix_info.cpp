// brelvix-info: loads a module file as the host does and prints what the host
// finds there: the descriptor, the servers, and a new camera's parameters.
//
//     brelvix-info [MODULE]     (default: brelvix.so beside this program, or
//                                the installed one)
#include "host/standin_host.h"
#include "tools/module_path.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char *kUsage =
    "Usage: brelvix-info [MODULE]\n"
    "Loads a lens module file as the host does and prints its descriptor, its\n"
    "servers and a new camera's parameters. MODULE defaults to brelvix.so beside\n"
    "this program, or the installed one. Exit status: 0, 1 when the module fails,\n"
    "2 for a wrong command line.\n";

} // namespace

int main(int argc, char **argv) {
    using namespace brelvix;
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // A module path that looks like an option is one: "./-x" names such a file.
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        std::fprintf(stderr, "brelvix-info: %s (see brelvix-info --help)\n",
                     argc > 2 ? "one module path at most" : "unknown option");
        return 2;
    }
    const std::string path = argc > 1 ? argv[1] : tools::defaultModulePath();
    std::string error;
    const auto module = standin::ModuleLibrary::open(path, error);
    if (!module) {
        std::fprintf(stderr, "brelvix-info: %s\n", error.c_str());
        return 1;
    }
    const ModuleDescriptor &descriptor = module->descriptor();
    std::printf("module      %s\n", path.c_str());
    std::printf("descriptor  sync 0x%08X, version %u, machine 0x%X\n",
                static_cast<unsigned>(descriptor.syncWord),
                static_cast<unsigned>(descriptor.systemVersion),
                static_cast<unsigned>(descriptor.machineWord));
    std::printf("server data %p\n", module->serverData());
    for (const ServerRecord *server = descriptor.servers; server->className != nullptr; ++server) {
        std::printf("server      %-16s %s", server->className, server->name);
        for (const ServerTag *tag = server->tags; tag != nullptr && tag->text != nullptr; ++tag) {
            std::printf("  [\"%s\" %u]", tag->text, static_cast<unsigned>(tag->tag));
        }
        std::printf("\n");
    }

    const ServerRecord *const lensServer = module->server("CameraHandler");
    if (lensServer == nullptr) {
        std::fprintf(stderr, "brelvix-info: %s has no CameraHandler server\n", path.c_str());
        return 1;
    }
    standin::StandInHost host;
    standin::LensTables lens;
    const int activation = lens.activate(lensServer->activate, host.lookup(), module->serverData());
    if (activation != 0) {
        std::fprintf(stderr, "brelvix-info: lens activation returned %d\n", activation);
        return 1;
    }
    const char *createError = nullptr;
    void *const instance =
        lens.instance.create(lens.instance.privateData, host.cameraItem(), &createError);
    if (instance == nullptr) {
        std::fprintf(stderr, "brelvix-info: %s\n", createError != nullptr ? createError : "?");
        return 1;
    }
    std::printf("instance    \"%s\", flags %u\n", lens.instance.describe(instance),
                lens.handler.flags(instance));
    for (const standin::HostCall &call : host.calls()) {
        if (call.operation == "setup") {
            const standin::Channel *const channel = host.channel(const_cast<void *>(call.handle));
            if (channel != nullptr) {
                std::printf("parameter   %-15s type 0x%02X  default %g\n", channel->name.c_str(),
                            static_cast<unsigned>(channel->typeCode), channel->curve.at(0.0));
            }
        }
    }
    lens.instance.destroy(instance);
    return 0;
}
