// Reading the host's scene files (`.lws`), formats 1 to 5 and later: the
// header and frame range, the items, their parents, pivots and motion (the
// envelope form of format 3 and later, and the older motion forms), the
// lights' and cameras' settings. Lines the reader does not know are skipped,
// and so are blocks in braces that it does not know.
#ifndef BRELVIX_TOOLS_LIGHTWAVE_SCENE_READER_H
#define BRELVIX_TOOLS_LIGHTWAVE_SCENE_READER_H

#include "tools/lightwave/scene.h"

#include <optional>
#include <string>
#include <string_view>

namespace brelvix::lightwave {

/// A scene, or the one line that says why there is none:
/// "FILE:LINE: fault" (the line is 0 when the file could not be read).
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
