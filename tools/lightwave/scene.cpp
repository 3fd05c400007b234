#include "tools/lightwave/scene.h"

#include <algorithm>

namespace brelvix::lightwave {

const Item *Scene::find(std::uint32_t id) const {
    if (byId.size() == items.size() && !byId.empty()) {
        const auto at = std::lower_bound(byId.begin(), byId.end(), id,
                                         [](const std::pair<std::uint32_t, std::size_t> &entry,
                                            std::uint32_t wanted) { return entry.first < wanted; });
        return at != byId.end() && at->first == id ? &items[at->second] : nullptr;
    }
    for (const Item &item : items) {
        if (item.id == id) {
            return &item;
        }
    }
    return nullptr;
}

const Item *Scene::firstCamera() const {
    for (const Item &item : items) {
        if (item.kind == ItemKind::camera) {
            return &item;
        }
    }
    return nullptr;
}

std::array<Envelope, channelCount> restMotion() {
    std::array<Envelope, channelCount> motion;
    for (std::size_t c = scaleX; c <= scaleZ; ++c) {
        motion[c] = constantEnvelope(1.0);
    }
    return motion;
}

} // namespace brelvix::lightwave
