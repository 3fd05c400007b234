// The lines of a scene file that belong to the item added last: its motion
// and behaviours, name, parent and target, pivot, a bone's rest pose, and a
// light's or a camera's settings.
#ifndef BRELVIX_TOOLS_LIGHTWAVE_ITEM_LINES_H
#define BRELVIX_TOOLS_LIGHTWAVE_ITEM_LINES_H

#include "tools/lightwave/line_cursor.h"
#include "tools/lightwave/scene.h"
#include "tools/lightwave/scene_links.h"
#include "tools/lightwave/setting_reader.h"

#include <optional>
#include <string_view>

namespace brelvix::lightwave {

/// Reads `line` (its words `w`, already taken) into `item`, the item added
/// last, and notes where its links were given in `itemLines`: nothing when
/// the line is not an item's, else whether it was read (a fault recorded in
/// `lines` when not).
std::optional<bool> readItemLine(LineCursor &lines, std::string_view line, const Words &w,
                                 const SettingContext &context, Item &item, ItemLines &itemLines);

} // namespace brelvix::lightwave

#endif
