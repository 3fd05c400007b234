// Reading the host's scene files (`.lws`), formats 1 to 5 and later: the
// header and frame range, the items (objects, lights, cameras, bones), their
// parents, targets, pivots and motion (the envelope form of format 3 and
// later, and the older motion forms), the lights' and cameras' settings, the
// current camera. Lines the reader does not know are skipped, and so are
// blocks in braces and older-form envelopes that it does not know.
//
// Any text is either read or refused with one line, in time linear in its
// size (n log n for the ids), with memory linear in it.
#ifndef BRELVIX_TOOLS_LIGHTWAVE_SCENE_READER_H
#define BRELVIX_TOOLS_LIGHTWAVE_SCENE_READER_H

#include "tools/lightwave/scene.h"

#include <optional>
#include <string>
#include <string_view>

namespace brelvix::lightwave {

/// A scene, or the one line that says why there is none: "FILE:LINE: fault",
/// or "FILE: fault" where no line of the file is at fault (the file is
/// missing or unreadable, or ends early).
struct SceneResult {
    std::optional<Scene> scene;
    std::string error;
};

/// Reads a scene from its text; `fileName` names it in error texts. Throws
/// nothing.
SceneResult readScene(std::string_view text, const std::string &fileName);

/// Reads the scene file at `path` (at most 256 MiB).
SceneResult loadScene(const std::string &path);

} // namespace brelvix::lightwave

#endif
