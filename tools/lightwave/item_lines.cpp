#include "tools/lightwave/item_lines.h"

#include "tools/lightwave/motion_reader.h"

#include <numbers>
#include <string>

namespace brelvix::lightwave {

namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

// `ParentItem id`, `ParentObject n`, `TargetItem id` or `TargetObject n`:
// ids in hex, objects by number (1 first).
bool readLink(LineCursor &lines, const Words &w, bool byId, std::optional<std::uint32_t> &link,
              int &linkLine) {
    const std::optional<long long> value =
        w.size() == 2 ? integer(w[1], byId ? 16 : 10) : std::nullopt;
    if (!value || *value < (byId ? 0 : 1) || *value > (byId ? 0xFFFFFFFFll : 0x0FFFFFFFll)) {
        return lines.fail("expected \"", w[0], (byId ? " id\" (hex)" : " n\" (1 first)"));
    }
    link = static_cast<std::uint32_t>(byId ? *value : kObjectIdBase + (*value - 1));
    linkLine = lines.line();
    return true;
}

// `EndBehavior n` of the oldest files: 0 reset, 1 stop, 2 repeat, for every
// channel of the item's motion.
bool readEndBehavior(LineCursor &lines, const Words &w, Item &item) {
    double code = 0.0;
    if (!readValues(lines, w, 1, &code)) {
        return false;
    }
    const Behavior post = endBehavior(code);
    for (Envelope &envelope : item.motion) {
        envelope.post = post;
    }
    return true;
}

bool readBehaviors(LineCursor &lines, const Words &w, Item &item) {
    for (std::size_t i = 1; i + 1 < w.size() && i / 2 < channelCount; i += 2) {
        const std::optional<long long> pre = integer(w[i]);
        const std::optional<long long> post = integer(w[i + 1]);
        if (!pre || !post || *pre < 0 || *pre > 5 || *post < 0 || *post > 5) {
            return lines.fail("unknown behaviour in Pre/PostBehavior");
        }
        item.motion[i / 2].pre = static_cast<Behavior>(*pre);
        item.motion[i / 2].post = static_cast<Behavior>(*post);
    }
    return true;
}

} // namespace

std::optional<bool> readItemLine(LineCursor &lines, std::string_view line, const Words &w,
                                 const SettingContext &context, Item &item, ItemLines &itemLines) {
    const std::string_view key = w[0];
    if (key == "ObjectMotion" || key == "LightMotion" || key == "CameraMotion" ||
        key == "BoneMotion") {
        itemLines.motion = true;
        return readMotion(lines, item.motion, context.framesPerSecond);
    }
    if (key == "EndBehavior") {
        return readEndBehavior(lines, w, item);
    }
    if (key == "Pre/PostBehavior") {
        return readBehaviors(lines, w, item);
    }
    const bool named = (key == "LightName" && item.kind == ItemKind::light) ||
                       (key == "CameraName" && item.kind == ItemKind::camera) ||
                       (key == "BoneName" && item.kind == ItemKind::bone);
    if (named && w.size() > 1) {
        item.name = std::string(restOfLine(line, w[1]));
        return true;
    }
    if (key == "ParentItem" || key == "ParentObject") {
        return readLink(lines, w, key == "ParentItem", item.parent, itemLines.parent);
    }
    if (key == "TargetItem" || key == "TargetObject") {
        return readLink(lines, w, key == "TargetItem", item.target, itemLines.target);
    }
    if (key == "PivotPosition" || key == "PivotPoint") {
        return readVector(lines, w, item.pivot);
    }
    if (key == "PivotRotation") {
        return readVector(lines, w, item.pivotRotation);
    }
    if (item.kind == ItemKind::bone && key == "BoneRestPosition") {
        return readVector(lines, w, item.restPosition);
    }
    if (item.kind == ItemKind::bone && key == "BoneRestDirection") {
        // Heading, pitch and bank in degrees, in every format.
        Vec3 degrees;
        if (!readVector(lines, w, degrees)) {
            return false;
        }
        item.restRotation = {degrees.x * kRadiansPerDegree, degrees.y * kRadiansPerDegree,
                             degrees.z * kRadiansPerDegree};
        return true;
    }
    if (item.kind == ItemKind::light) {
        return readLightLine(lines, w, context, item.light);
    }
    if (item.kind == ItemKind::camera) {
        return readCameraLine(lines, w, context, item.camera);
    }
    return std::nullopt;
}

} // namespace brelvix::lightwave
