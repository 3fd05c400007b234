#include "tools/lightwave/scene_reader.h"

#include "tools/lightwave/item_lines.h"
#include "tools/lightwave/line_cursor.h"
#include "tools/lightwave/motion_reader.h"
#include "tools/lightwave/scene_links.h"
#include "tools/lightwave/setting_reader.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

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
        if (readHeader() && readBody() && finish()) {
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

    SettingContext context() const { return {scene_.version, scene_.framesPerSecond}; }

    Item *current(ItemKind kind) {
        return !scene_.items.empty() && scene_.items.back().kind == kind ? &scene_.items.back()
                                                                         : nullptr;
    }

    Item &addItem(ItemKind kind, std::optional<std::uint32_t> id) {
        std::uint32_t index = 0;
        std::uint32_t base = kObjectIdBase;
        switch (kind) {
        case ItemKind::object:
            index = objects_++;
            bones_ = 0;
            lastObject_ = scene_.items.size(); // the index the item is added at
            break;
        case ItemKind::light:
            index = lights_++;
            base = kLightIdBase;
            break;
        case ItemKind::camera:
            index = cameras_++;
            base = kCameraIdBase;
            cameraShown_ = false;
            break;
        case ItemKind::bone:
            base = kBoneIdBase;
            break;
        }
        Item item;
        item.kind = kind;
        item.id = id.value_or(base + index);
        item.name = kind == ItemKind::light ? "Light" : kind == ItemKind::camera ? "Camera" : "";
        item.line = lines_.line();
        scene_.items.push_back(std::move(item));
        itemLines_.emplace_back();
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

    // `Keyword [id]` for lights, cameras and bones.
    bool addByLine(const Words &w, ItemKind kind) {
        const std::optional<std::uint32_t> id = w.size() > 1 ? itemId(w[1]) : std::nullopt;
        if (w.size() > 1 && !id) {
            return lines_.fail("\"", w[1], "\" is not an item id");
        }
        if (kind != ItemKind::bone) {
            addItem(kind, id);
            return true;
        }
        // A bone belongs to the last object; by default it hangs from it.
        if (lastObject_ == kNoItem) {
            return lines_.fail("AddBone before any object");
        }
        const std::uint32_t objectId = scene_.items[lastObject_].id;
        const std::uint32_t boneIndex = bones_++ & 0xFFFu;
        Item &bone = addItem(ItemKind::bone,
                             id.value_or(kBoneIdBase | boneIndex << 16 | (objectId & 0xFFFFu)));
        bone.name = "Bone";
        bone.parent = objectId;
        itemLines_.back().parent = lines_.line();
        return true;
    }

    // Lines that add an item, then the lines of the item added last: nothing
    // when the line is none of them, else whether it was read.
    std::optional<bool> readItemLines(std::string_view line, const Words &w) {
        const std::string_view key = w[0];
        if (key == "LoadObjectLayer" || key == "LoadObject") {
            const bool layered = key == "LoadObjectLayer";
            const std::optional<long long> layer = layered && w.size() > 1 ? integer(w[1]) : 1;
            std::string path;
            const std::optional<std::uint32_t> id = idAndRest(line, w, layered ? 2 : 1, path);
            if (!layer || *layer < 1 || *layer > 0xFFFF || path.empty()) {
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
        if (key == "AddLight" || key == "AddCamera" || key == "AddBone") {
            return addByLine(w, key == "AddLight"    ? ItemKind::light
                                : key == "AddCamera" ? ItemKind::camera
                                                     : ItemKind::bone);
        }
        // Formats 1 and 2 have one camera and no `AddCamera`: its section
        // starts with `ShowCamera`.
        if (key == "ShowCamera" || (key == "CameraMotion" && !current(ItemKind::camera))) {
            if (!current(ItemKind::camera) || cameraShown_) {
                addItem(ItemKind::camera, std::nullopt);
            }
            cameraShown_ = key == "ShowCamera";
            if (key == "ShowCamera") {
                return true;
            }
        }
        if (scene_.items.empty()) {
            return std::nullopt;
        }
        return readItemLine(lines_, line, w, context(), scene_.items.back(), itemLines_.back());
    }

    bool readLine(std::string_view line, const Words &w) {
        const std::string_view key = w[0];
        if (const std::optional<bool> read = readFramesLine(lines_, w, scene_)) {
            return *read;
        }
        if (key == "CurrentCamera") {
            const std::optional<long long> index = w.size() == 2 ? integer(w[1]) : std::nullopt;
            if (!index || *index < 0) {
                return lines_.fail("expected \"CurrentCamera n\" (0 first)");
            }
            currentCamera_ = *index;
            currentCameraLine_ = lines_.line();
            return true;
        }
        if (key == "GlobalFrameSize") {
            return readFrameSize(lines_, w, global_);
        }
        if (key == "GlobalPixelAspect") {
            return readPositive(lines_, w, global_.pixelAspect);
        }
        if (const std::optional<bool> read =
                readEnvironmentLine(lines_, w, context(), scene_.environment)) {
            return *read;
        }
        if (const std::optional<bool> read =
                readBlurLine(lines_, w, context(), global_, "Global")) {
            return *read;
        }
        if (key == "Plugin") {
            skipPlugin();
            return true;
        }
        if (key.front() == '{') {
            return skipBlock(w);
        }
        if (const std::optional<bool> read = readItemLines(line, w)) {
            return *read;
        }
        // A setting this reader has no use for may still be an envelope of
        // the older form: its key lines must not be taken for the scene's.
        if (w.size() == 2 && w[1] == "(envelope)") {
            const Words next = words(lines_.peek());
            if (next.empty() || next[0].front() != '{') {
                Envelope ignored;
                return readOlderEnvelope(lines_, ignored, scene_.framesPerSecond);
            }
        }
        return true; // a line this reader has no use for
    }

    // A plug-in's data, up to its `EndPlugin`: the plug-in's own lines, which
    // may reuse the scene's keywords. Without an `EndPlugin` only the
    // `Plugin` line itself is passed over. The search for the next
    // `EndPlugin` resumes where the last one stopped, so that many plug-ins
    // without one cost one pass over the file.
    void skipPlugin() {
        const std::size_t from = static_cast<std::size_t>(lines_.line());
        if (endPluginAt_ == kNoItem || endPluginAt_ < from) {
            endPluginAt_ = kNoItem;
            for (std::size_t at = std::max(from, endPluginScanned_); at < lines_.size(); ++at) {
                const Words lineWords = words(lines_.peek(at - from));
                if (!lineWords.empty() && lineWords[0] == "EndPlugin") {
                    endPluginAt_ = at;
                    break;
                }
            }
            endPluginScanned_ = endPluginAt_ == kNoItem ? lines_.size() : endPluginAt_ + 1;
        }
        if (endPluginAt_ != kNoItem) {
            while (static_cast<std::size_t>(lines_.line()) <= endPluginAt_) {
                lines_.take();
            }
        }
    }

    // A block in braces that the reader does not know, its opening line
    // taken (its words `w`).
    bool skipBlock(const Words &w) {
        const int opened = lines_.line();
        int depth = 0;
        for (const std::string_view word : w) {
            depth += word.front() == '{' ? 1 : word == "}" ? -1 : 0;
        }
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

    // After the last line: bones without motion stand at rest, cameras take
    // the global resolution, the items are linked and the current camera
    // found.
    bool finish() {
        for (std::size_t i = 0; i < scene_.items.size(); ++i) {
            Item &item = scene_.items[i];
            if (item.kind == ItemKind::bone && !itemLines_[i].motion) {
                const Vec3 p = item.restPosition;
                const Vec3 r = item.restRotation;
                const double rest[] = {p.x, p.y, p.z, r.x, r.y, r.z};
                for (std::size_t c = 0; c < 6; ++c) {
                    item.motion[c] = constantEnvelope(rest[c]);
                }
            }
            if (item.kind == ItemKind::camera && item.camera.usesGlobalResolution) {
                item.camera.frameWidth = global_.frameWidth;
                item.camera.frameHeight = global_.frameHeight;
                item.camera.pixelAspect = global_.pixelAspect;
            }
            if (item.kind == ItemKind::camera && item.camera.usesGlobalBlur) {
                item.camera.motionBlur = global_.motionBlur;
                item.camera.blurLength = global_.blurLength;
            }
        }
        if (!linkItems(scene_, itemLines_, lines_)) {
            return false;
        }
        // A scene without cameras still names camera 0.
        if (currentCamera_ && cameras_ > 0) {
            if (*currentCamera_ >= cameras_) {
                return lines_.failAt(currentCameraLine_, "CurrentCamera ", *currentCamera_,
                                     " but the scene has ", cameras_, " camera(s), 0 first");
            }
            long long seen = 0;
            for (std::size_t i = 0; i < scene_.items.size(); ++i) {
                if (scene_.items[i].kind == ItemKind::camera && seen++ == *currentCamera_) {
                    scene_.currentCamera = i;
                }
            }
        }
        return true;
    }

    LineCursor lines_;
    Scene scene_;
    CameraSettings global_; // the scene's global frame size, pixel aspect and blur
    std::vector<ItemLines> itemLines_;
    std::uint32_t objects_ = 0; // items of each kind so far
    std::uint32_t lights_ = 0;
    std::uint32_t cameras_ = 0;
    std::uint32_t bones_ = 0; // bones of the last object so far
    std::size_t lastObject_ = kNoItem;
    bool cameraShown_ = false; // the last camera's `ShowCamera` was read
    std::optional<long long> currentCamera_;
    int currentCameraLine_ = 0;
    std::size_t endPluginAt_ = kNoItem; // line index of the next `EndPlugin`
    std::size_t endPluginScanned_ = 0;  // lines before this index were searched
};

} // namespace

SceneResult readScene(std::string_view text, const std::string &fileName) {
    return SceneParser(text, fileName).run();
}

SceneResult loadScene(const std::string &path) {
    namespace fs = std::filesystem;
    std::error_code status;
    const fs::file_status kind = fs::status(path, status);
    if (kind.type() == fs::file_type::not_found) {
        return SceneResult{std::nullopt, path + ": no such file"};
    }
    if (kind.type() == fs::file_type::directory) {
        return SceneResult{std::nullopt, path + ": is a folder, not a scene file"};
    }
    if (!status && kind.type() != fs::file_type::regular) {
        return SceneResult{std::nullopt, path + ": not a regular file"};
    }
    errno = 0;
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        return SceneResult{
            std::nullopt,
            path + ": cannot open the file" +
                (errno != 0 ? " (" + std::string(std::strerror(errno)) + ")" : std::string())};
    }
    // Scene files are text of a few megabytes at most; a larger file is not
    // one, and is not read into memory.
    if (static_cast<long long>(file.tellg()) > kLargestSceneFile) {
        return SceneResult{std::nullopt, path + ": too large for a scene file"};
    }
    file.seekg(0);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) {
        return SceneResult{std::nullopt, path + ": cannot read the file"};
    }
    return readScene(text, path);
}

} // namespace brelvix::lightwave
