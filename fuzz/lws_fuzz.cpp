// Fuzz target: arbitrary bytes as a scene file of the host (`.lws`), read by
// the renderer's scene reader, then every envelope and every item's place
// evaluated at many times.
//
// Properties: the text is either read or refused with one line that names
// the file, and a line of it that exists or none; a scene read holds no
// more items and keys than its lines can give (memory bounded by the
// input's size), links every parent and target to an item, and places each
// item after its parent and its target's parent; each key whose time no
// other key shares gives back its value exactly at that time. No crash, no
// sanitizer report and no hang (libFuzzer's timeout) anywhere.
#include "fuzz/fuzz_check.h"
#include "tools/lightwave/envelope.h"
#include "tools/lightwave/item_motion.h"
#include "tools/lightwave/scene_reader.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace lw = brelvix::lightwave;

constexpr const char *kName = "fuzz.lws";
/// Envelope evaluations per input at most, so that a large input stays fast.
constexpr std::size_t kEvaluations = 20000;

/// Lines ended by LF, CR LF or a lone CR, and a last one without an end.
std::size_t lineCount(std::string_view text) {
    std::size_t lines = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool crlf = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        lines += (text[i] == '\n' || (text[i] == '\r' && !crlf)) ? 1 : 0;
    }
    return lines + (!text.empty() && text.back() != '\n' && text.back() != '\r' ? 1 : 0);
}

void checkRefusal(const std::string &error, std::size_t lines) {
    const std::string prefix = std::string(kName) + ":";
    FUZZ_CHECK(error.rfind(prefix, 0) == 0, "error \"%s\" does not name the file", error.c_str());
    FUZZ_CHECK(error.find('\n') == std::string::npos, "error of several lines: \"%s\"",
               error.c_str());
    if (error.size() > prefix.size() && error[prefix.size()] != ' ') {
        const long line = std::strtol(error.c_str() + prefix.size(), nullptr, 10);
        FUZZ_CHECK(line >= 1 && static_cast<std::size_t>(line) <= lines,
                   "error names line %ld of %zu: \"%s\"", line, lines, error.c_str());
    }
}

void checkKeysComeBack(const lw::Envelope &envelope) {
    const std::vector<lw::Key> &keys = envelope.keys;
    if (keys.size() < 2 || !(keys.back().time - keys.front().time > 1e-9)) {
        return;
    }
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const bool apartBefore = k == 0 || keys[k - 1].time < keys[k].time;
        const bool apartAfter = k + 1 == keys.size() || keys[k + 1].time - keys[k].time > 1e-9;
        if (apartBefore && apartAfter) {
            const double value = lw::evaluate(envelope, keys[k].time);
            FUZZ_CHECK(value == keys[k].value, "key %zu at %.17g: %.17g, not %.17g", k,
                       keys[k].time, value, keys[k].value);
        }
    }
}

void checkScene(const lw::Scene &scene, std::size_t lines) {
    const std::size_t count = scene.items.size();
    FUZZ_CHECK(count <= lines, "%zu items from %zu lines", count, lines);
    FUZZ_CHECK(scene.order.size() == count, "order of %zu for %zu items", scene.order.size(),
               count);
    std::vector<std::size_t> placed(count, lw::kNoItem);
    for (std::size_t position = 0; position < count; ++position) {
        FUZZ_CHECK(scene.order[position] < count && placed[scene.order[position]] == lw::kNoItem,
                   "order is not a permutation");
        placed[scene.order[position]] = position;
    }
    std::size_t keys = 0;
    std::vector<const lw::Envelope *> envelopes;
    for (std::size_t i = 0; i < count; ++i) {
        const lw::Item &item = scene.items[i];
        FUZZ_CHECK(item.parent.has_value() == (item.parentIndex < count), "item %zu's parent", i);
        FUZZ_CHECK(item.target.has_value() == (item.targetIndex < count), "item %zu's target", i);
        if (item.parentIndex < count) {
            FUZZ_CHECK(scene.items[item.parentIndex].id == *item.parent, "parent id");
            FUZZ_CHECK(placed[item.parentIndex] < placed[i], "item %zu placed before its parent",
                       i);
        }
        if (item.targetIndex < count && scene.items[item.targetIndex].parentIndex < count) {
            FUZZ_CHECK(placed[scene.items[item.targetIndex].parentIndex] < placed[i],
                       "item %zu placed before its target's parent", i);
        }
        for (const lw::Envelope &envelope : item.motion) {
            envelopes.push_back(&envelope);
        }
        envelopes.push_back(&item.light.intensity);
        envelopes.push_back(&item.camera.zoomFactor);
        envelopes.push_back(&item.camera.focalDistance);
        envelopes.push_back(&item.camera.lensFStop);
    }
    for (const lw::Envelope *envelope : envelopes) {
        keys += envelope->keys.size();
    }
    // The oldest motion form gives up to nine channels' keys from two lines;
    // every item has at most seven constant envelopes of one key.
    FUZZ_CHECK(keys <= 9 * lines + 7 * count, "%zu keys from %zu lines", keys, lines);

    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    const double times[] = {-kInfinity, -1e300, -1e6, -1.0, 0.0,       1e-300,      0.25,
                            0.5,        1.0,    2.0,  1e6,  kInfinity, std::nan("")};
    std::size_t evaluations = 0;
    for (const lw::Envelope *envelope : envelopes) {
        if (evaluations >= kEvaluations) {
            break;
        }
        checkKeysComeBack(*envelope);
        for (const double time : times) {
            lw::evaluate(*envelope, time);
        }
        evaluations += envelope->keys.size() + std::size(times);
    }
    // Places at a few times (every item, through parents and targets).
    if (count * 9 * 4 <= kEvaluations) {
        for (const double time : {-1.0, 0.0, 0.5, 3.0}) {
            const std::vector<lw::WorldPose> poses = lw::worldPoses(scene, time);
            FUZZ_CHECK(poses.size() == count, "%zu poses for %zu items", poses.size(), count);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const lw::SceneResult result = lw::readScene(text, kName);
    const std::size_t lines = lineCount(text);
    if (!result.scene) {
        FUZZ_CHECK(!result.error.empty(), "refused without a reason");
        checkRefusal(result.error, lines);
        return 0;
    }
    FUZZ_CHECK(result.error.empty(), "read with an error: \"%s\"", result.error.c_str());
    checkScene(*result.scene, lines);
    return 0;
}
