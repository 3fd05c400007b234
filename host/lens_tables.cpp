#include "host/lens_tables.h"

namespace brelvix::standin {

int LensTables::activate(HostActivation activate, HostLookup lookup, void *serverData,
                         int version) {
    handler = CameraHandler{};
    instance = InstanceHandlers{};
    handler.instance = &instance;
    return activate(version, lookup, &handler, serverData);
}

} // namespace brelvix::standin
