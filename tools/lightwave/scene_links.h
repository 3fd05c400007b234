// The links between a scene's items once its file is read: ids unique, each
// parent and target found and turned into an index, and the order in which
// one pass places every item. Every step takes time linear in the items, or
// n log n for the sort by id, and none recurses, so that a chain of parents
// of any length is as cheap as a flat scene.
#ifndef BRELVIX_TOOLS_LIGHTWAVE_SCENE_LINKS_H
#define BRELVIX_TOOLS_LIGHTWAVE_SCENE_LINKS_H

#include "tools/lightwave/line_cursor.h"
#include "tools/lightwave/scene.h"

#include <cstddef>
#include <vector>

namespace brelvix::lightwave {

/// Where the file gave an item's links, for fault texts (0: not given), and
/// whether it gave the item's motion. The line that added the item is the
/// item's own `line`.
struct ItemLines {
    int parent = 0;
    int target = 0;
    bool motion = false;
};

/// Sets the scene's `byId` from its items, sorted by id. Returns the place in
/// `byId` of the first id given twice (its earlier twin just before it), or
/// `kNoItem` when every id is unique.
std::size_t indexIds(Scene &scene);

/// Sets the scene's `byId` and `order` and each item's `parentIndex` and
/// `targetIndex`. False, with the fault recorded in `lines`, for a repeated
/// id, a parent or target that no item has, or a loop: an item that is its
/// own ancestor, or aims at an item placed by its own descendant.
bool linkItems(Scene &scene, const std::vector<ItemLines> &itemLines, LineCursor &lines);

/// An item on a loop of links, and whether the loop goes on through its
/// parent (else through its target's parent).
struct LoopAt {
    std::size_t item = 0;
    bool viaParent = true;
};

/// The items in an order where each comes after its parent and after its
/// target's parent, or nothing when the links form a loop. Uses the items'
/// indices (`parentIndex`, `targetIndex`); `looped`, when given, is set to
/// the loop's place.
std::vector<std::size_t> placementOrder(const Scene &scene, LoopAt *looped = nullptr);

} // namespace brelvix::lightwave

#endif
