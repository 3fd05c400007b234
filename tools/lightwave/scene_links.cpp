#include "tools/lightwave/scene_links.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

namespace brelvix::lightwave {

namespace {

std::string hexId(std::uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(id));
    return text;
}

// The items an item's placement needs first: its parent, and its target's
// parent (a target's position is its own channels in its parent's frame).
std::array<std::size_t, 2> needs(const Scene &scene, std::size_t i) {
    const Item &item = scene.items[i];
    const std::size_t parent = item.parentIndex;
    std::size_t targetParent = kNoItem;
    if (item.targetIndex < scene.items.size()) {
        targetParent = scene.items[item.targetIndex].parentIndex;
    }
    return {parent, targetParent == parent ? kNoItem : targetParent};
}

} // namespace

std::vector<std::size_t> placementOrder(const Scene &scene, LoopAt *looped) {
    const std::size_t count = scene.items.size();
    // Kahn's algorithm over the edges need -> item, the edges kept in one
    // array grouped by their need (first[n] .. first[n + 1]).
    std::vector<std::size_t> waiting(count, 0);
    std::vector<std::size_t> first(count + 1, 0);
    for (std::size_t i = 0; i < count; ++i) {
        for (const std::size_t need : needs(scene, i)) {
            if (need < count) {
                ++waiting[i];
                ++first[need + 1];
            }
        }
    }
    for (std::size_t n = 0; n < count; ++n) {
        first[n + 1] += first[n];
    }
    std::vector<std::size_t> dependants(first[count]);
    std::vector<std::size_t> filled(first.begin(), first.end() - 1);
    for (std::size_t i = 0; i < count; ++i) {
        for (const std::size_t need : needs(scene, i)) {
            if (need < count) {
                dependants[filled[need]++] = i;
            }
        }
    }
    std::vector<std::size_t> order;
    order.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (waiting[i] == 0) {
            order.push_back(i);
        }
    }
    for (std::size_t next = 0; next < order.size(); ++next) {
        const std::size_t done = order[next];
        for (std::size_t e = first[done]; e < first[done + 1]; ++e) {
            if (--waiting[dependants[e]] == 0) {
                order.push_back(dependants[e]);
            }
        }
    }
    if (order.size() == count) {
        return order;
    }
    if (looped != nullptr) {
        // Every item left waits for another one left: following such needs
        // `count` times from any of them ends on the loop.
        std::size_t item = 0;
        while (waiting[item] == 0) {
            ++item;
        }
        for (std::size_t step = 0; step < count; ++step) {
            for (const std::size_t need : needs(scene, item)) {
                if (need < count && waiting[need] != 0) {
                    item = need;
                    break;
                }
            }
        }
        const std::size_t parent = needs(scene, item)[0];
        *looped = LoopAt{item, parent < count && waiting[parent] != 0};
    }
    return {};
}

std::size_t indexIds(Scene &scene) {
    std::vector<std::pair<std::uint32_t, std::size_t>> &byId = scene.byId;
    byId.clear();
    byId.reserve(scene.items.size());
    for (std::size_t i = 0; i < scene.items.size(); ++i) {
        byId.emplace_back(scene.items[i].id, i);
    }
    std::sort(byId.begin(), byId.end());
    for (std::size_t k = 1; k < byId.size(); ++k) {
        if (byId[k].first == byId[k - 1].first) {
            return k;
        }
    }
    return kNoItem;
}

bool linkItems(Scene &scene, const std::vector<ItemLines> &itemLines, LineCursor &lines) {
    if (const std::size_t k = indexIds(scene); k != kNoItem) {
        const std::vector<std::pair<std::uint32_t, std::size_t>> &byId = scene.byId;
        return lines.failAt(scene.items[byId[k].second].line, "a second item with the same id, ",
                            hexId(byId[k].first), " (the first is on line ",
                            scene.items[byId[k - 1].second].line, ")");
    }
    const auto indexOf = [&scene](std::uint32_t id) {
        const Item *item = scene.find(id);
        return item == nullptr ? kNoItem : static_cast<std::size_t>(item - scene.items.data());
    };
    for (std::size_t i = 0; i < scene.items.size(); ++i) {
        Item &item = scene.items[i];
        if (item.parent && (item.parentIndex = indexOf(*item.parent)) == kNoItem) {
            return lines.failAt(itemLines[i].parent, "no item has the parent id ",
                                hexId(*item.parent));
        }
        if (item.target && (item.targetIndex = indexOf(*item.target)) == kNoItem) {
            return lines.failAt(itemLines[i].target, "no item has the target id ",
                                hexId(*item.target));
        }
    }
    LoopAt looped;
    scene.order = placementOrder(scene, &looped);
    if (scene.order.empty() && !scene.items.empty()) {
        return looped.viaParent
                   ? lines.failAt(itemLines[looped.item].parent, "the item's parents form a loop")
                   : lines.failAt(itemLines[looped.item].target,
                                  "the item's target is placed by the item itself: a loop");
    }
    return true;
}

} // namespace brelvix::lightwave
