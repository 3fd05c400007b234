#include "tools/lightwave/scene_reader.h"

#include "tools/lightwave/line_cursor.h"
#include "tools/lightwave/motion_reader.h"
#include "tools/lightwave/setting_reader.h"

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace brelvix::lightwave {

namespace {

constexpr long long kLargestSceneFile = 256ll << 20;

std::string fileStem(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\:");
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    return std::string(dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot));
}

// An item id in the host's form: eight hex digits.
std::optional<std::uint32_t> itemId(std::string_view word) {
    const std::optional<long long> id = word.size() == 8 ? integer(word, 16) : std::nullopt;
    return id && *id >= 0 ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(*id))
                          : std::nullopt;
}

class SceneParser {
  public:
    SceneParser(std::string_view text, const std::string &fileName) : lines_(text, fileName) {}

    SceneResult run() {
        if (readHeader() && readBody() && resolveParents()) {
            useGlobalResolution();
            return SceneResult{std::move(scene_), {}};
        }
        return SceneResult{std::nullopt, lines_.error()};
    }

  private:
    bool readHeader() {
        if (words(lines_.take()) != Words{"LWSC"}) {
            return lines_.fail("not a scene file: expected \"LWSC\"");
        }
        const Words version = words(lines_.take());
        const std::optional<long long> number =
            version.size() == 1 ? integer(version[0]) : std::nullopt;
        if (!number || *number < 1 || *number > 1000) {
            return lines_.fail("expected the scene format's version");
        }
        scene_.version = static_cast<int>(*number);
        return true;
    }

    bool readBody() {
        while (!lines_.atEnd()) {
            const std::string_view line = lines_.take();
            const Words lineWords = words(line);
            if (!lineWords.empty() && !readLine(line, lineWords)) {
                return false;
            }
        }
        return true;
    }

    Item *current(ItemKind kind) {
        return !scene_.items.empty() && scene_.items.back().kind == kind ? &scene_.items.back()
                                                                         : nullptr;
    }

    Item &addItem(ItemKind kind, std::optional<std::uint32_t> id) {
        const std::uint32_t base = kind == ItemKind::object  ? kObjectIdBase
                                   : kind == ItemKind::light ? kLightIdBase
                                                             : kCameraIdBase;
        std::uint32_t index = 0;
        for (const Item &item : scene_.items) {
            index += item.kind == kind ? 1 : 0;
        }
        Item item;
        item.kind = kind;
        item.id = id.value_or(base + index);
        item.name = kind == ItemKind::light ? "Light" : kind == ItemKind::camera ? "Camera" : "";
        item.line = lines_.line();
        scene_.items.push_back(std::move(item));
        parentLines_.push_back(0);
        return scene_.items.back();
    }

    // `Keyword [id] rest`: the id when the second word is one, and the rest.
    std::optional<std::uint32_t> idAndRest(std::string_view line, const Words &lineWords,
                                           std::size_t at, std::string &rest) {
        const std::optional<std::uint32_t> id =
            lineWords.size() > at + 1 ? itemId(lineWords[at]) : std::nullopt;
        const std::size_t restAt = id ? at + 1 : at;
        rest = restAt < lineWords.size() ? std::string(restOfLine(line, lineWords[restAt])) : "";
        return id;
    }

    bool readLine(std::string_view line, const Words &w) {
        const std::string_view key = w[0];
        CameraSettings *camera = current(ItemKind::camera) ? &scene_.items.back().camera : nullptr;
        LightSettings *light = current(ItemKind::light) ? &scene_.items.back().light : nullptr;
        if (key == "FirstFrame") {
            return readValues(lines_, w, 1, &scene_.firstFrame);
        }
        if (key == "LastFrame") {
            return readValues(lines_, w, 1, &scene_.lastFrame);
        }
        if (key == "FrameStep") {
            return readPositive(lines_, w, scene_.frameStep);
        }
        if (key == "FramesPerSecond") {
            return readPositive(lines_, w, scene_.framesPerSecond);
        }
        if (key == "LoadObjectLayer" || key == "LoadObject") {
            const bool layered = key == "LoadObjectLayer";
            const std::optional<long long> layer = layered && w.size() > 1 ? integer(w[1]) : 1;
            std::string path;
            const std::optional<std::uint32_t> id = idAndRest(line, w, layered ? 2 : 1, path);
            if (!layer || *layer < 1 || path.empty()) {
                return lines_.fail(layered ? "expected \"LoadObjectLayer layer [id] file\""
                                           : "expected \"LoadObject file\"");
            }
            Item &item = addItem(ItemKind::object, id);
            item.objectPath = path;
            item.layer = static_cast<int>(*layer);
            item.name = fileStem(path);
            return true;
        }
        if (key == "AddNullObject") {
            std::string name;
            Item &item = addItem(ItemKind::object, idAndRest(line, w, 1, name));
            item.isNull = true;
            item.name = name.empty() ? "Null" : name;
            return true;
        }
        if (key == "AddLight" || key == "AddCamera") {
            const std::optional<std::uint32_t> id = w.size() > 1 ? itemId(w[1]) : std::nullopt;
            if (w.size() > 1 && !id) {
                return lines_.fail("\"", w[1], "\" is not an item id");
            }
            addItem(key == "AddLight" ? ItemKind::light : ItemKind::camera, id);
            return true;
        }
        if (key == "ObjectMotion" || key == "LightMotion" || key == "CameraMotion") {
            if (scene_.items.empty()) {
                return lines_.fail(key, " before any item");
            }
            return readMotion(lines_, scene_.items.back().motion, scene_.framesPerSecond);
        }
        if (key == "EndBehavior" && !scene_.items.empty()) {
            double code = 0.0;
            if (!readValues(lines_, w, 1, &code)) {
                return false;
            }
            // Oldest files: 0 reset, 1 stop, 2 repeat, for every channel.
            const Behavior post = code == 0.0   ? Behavior::reset
                                  : code == 2.0 ? Behavior::repeat
                                                : Behavior::constant;
            for (Envelope &envelope : scene_.items.back().motion) {
                envelope.post = post;
            }
            return true;
        }
        if (key == "Pre/PostBehavior" && !scene_.items.empty()) {
            std::array<Envelope, channelCount> &motion = scene_.items.back().motion;
            for (std::size_t i = 1; i + 1 < w.size() && i / 2 < channelCount; i += 2) {
                const std::optional<long long> pre = integer(w[i]);
                const std::optional<long long> post = integer(w[i + 1]);
                if (!pre || !post || *pre < 0 || *pre > 5 || *post < 0 || *post > 5) {
                    return lines_.fail("unknown behaviour in Pre/PostBehavior");
                }
                motion[i / 2].pre = static_cast<Behavior>(*pre);
                motion[i / 2].post = static_cast<Behavior>(*post);
            }
            return true;
        }
        if ((key == "LightName" || key == "CameraName") && w.size() > 1 &&
            current(key == "LightName" ? ItemKind::light : ItemKind::camera)) {
            scene_.items.back().name = std::string(restOfLine(line, w[1]));
            return true;
        }
        if ((key == "ParentItem" || key == "ParentObject") && !scene_.items.empty()) {
            const bool byId = key == "ParentItem";
            const std::optional<long long> value =
                w.size() == 2 ? integer(w[1], byId ? 16 : 10) : std::nullopt;
            if (!value || *value < (byId ? 0 : 1) || *value > 0xFFFFFFFFll) {
                return lines_.fail("expected \"", key, (byId ? " id\" (hex)" : " n\" (1 first)"));
            }
            scene_.items.back().parent =
                static_cast<std::uint32_t>(byId ? *value : kObjectIdBase + (*value - 1));
            parentLines_.back() = lines_.line();
            return true;
        }
        if ((key == "PivotPosition" || key == "PivotPoint") && !scene_.items.empty()) {
            return readVector(lines_, w, scene_.items.back().pivot);
        }
        if (key == "PivotRotation" && !scene_.items.empty()) {
            return readVector(lines_, w, scene_.items.back().pivotRotation);
        }
        if (light) {
            if (const std::optional<bool> read = readLightLine(lines_, w, scene_.version, *light)) {
                return *read;
            }
        }
        if (camera) {
            if (const std::optional<bool> read = readCameraLine(lines_, w, *camera)) {
                return *read;
            }
        }
        if (key == "GlobalFrameSize") {
            return readFrameSize(lines_, w, global_);
        }
        if (key == "GlobalPixelAspect") {
            return readPositive(lines_, w, global_.pixelAspect);
        }
        if (key == "Plugin") {
            skipPlugin();
            return true;
        }
        if (key == "{" || key.front() == '{') {
            return skipBlock();
        }
        return true; // a line this reader has no use for
    }

    // A plug-in's data, up to its `EndPlugin`: the plug-in's own lines, which
    // may reuse the scene's keywords. Without an `EndPlugin` only the
    // `Plugin` line itself is passed over.
    void skipPlugin() {
        for (std::size_t ahead = 0; ahead < lines_.remaining(); ++ahead) {
            const Words lineWords = words(lines_.peek(ahead));
            if (!lineWords.empty() && lineWords[0] == "EndPlugin") {
                for (std::size_t skipped = 0; skipped <= ahead; ++skipped) {
                    lines_.take();
                }
                return;
            }
        }
    }

    // A block in braces that the reader does not know, its opening line taken.
    bool skipBlock() {
        const int opened = lines_.line();
        int depth = 1;
        while (depth > 0) {
            if (lines_.atEnd()) {
                lines_.take(); // the fault is at the end of the file
                return lines_.fail("the block opened on line ", opened, " is not closed");
            }
            const Words lineWords = words(lines_.take());
            for (const std::string_view word : lineWords) {
                depth += word.front() == '{' ? 1 : word == "}" ? -1 : 0;
            }
        }
        return true;
    }

    // Cameras that render at the global resolution take its size and aspect.
    void useGlobalResolution() {
        for (Item &item : scene_.items) {
            if (item.kind == ItemKind::camera && item.camera.usesGlobalResolution) {
                item.camera.frameWidth = global_.frameWidth;
                item.camera.frameHeight = global_.frameHeight;
                item.camera.pixelAspect = global_.pixelAspect;
            }
        }
    }

    // Ids are unique, every parent exists, and no item is its own ancestor.
    bool resolveParents() {
        for (std::size_t i = 0; i < scene_.items.size(); ++i) {
            if (scene_.find(scene_.items[i].id) != &scene_.items[i]) {
                return lines_.failAt(scene_.items[i].line, "a second item with the same id");
            }
        }
        for (std::size_t i = 0; i < scene_.items.size(); ++i) {
            const Item *item = &scene_.items[i];
            for (std::size_t depth = 0; item->parent; ++depth) {
                const Item *parent = scene_.find(*item->parent);
                if (!parent || depth >= scene_.items.size()) {
                    char id[16];
                    std::snprintf(id, sizeof id, "%08X", static_cast<unsigned>(*item->parent));
                    return lines_.failAt(parentLines_[i],
                                         parent ? "the item's parents form a loop"
                                                : "no item has the parent id " + std::string(id));
                }
                item = parent;
            }
        }
        return true;
    }

    LineCursor lines_;
    Scene scene_;
    CameraSettings global_;        // the scene's global frame size and pixel aspect
    std::vector<int> parentLines_; // line of each item's parent, 0 for none
};

} // namespace

SceneResult readScene(std::string_view text, const std::string &fileName) {
    return SceneParser(text, fileName).run();
}

SceneResult loadScene(const std::string &path) {
    std::error_code status;
    if (std::filesystem::is_directory(path, status)) {
        return SceneResult{std::nullopt, path + ":0: is a folder, not a scene file"};
    }
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        return SceneResult{std::nullopt, path + ":0: cannot open the file"};
    }
    // Scene files are text of a few megabytes at most; a larger file is not
    // one, and is not read into memory.
    if (static_cast<long long>(file.tellg()) > kLargestSceneFile) {
        return SceneResult{std::nullopt, path + ":0: too large for a scene file"};
    }
    file.seekg(0);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) {
        return SceneResult{std::nullopt, path + ":0: cannot read the file"};
    }
    return readScene(text, path);
}

} // namespace brelvix::lightwave
