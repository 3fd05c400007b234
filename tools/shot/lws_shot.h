// A scene of the host (`.lws`) as a Shot: its objects' layers read once, in
// their own space, and placed by their items' world poses at each time.
#ifndef BRELVIX_TOOLS_SHOT_LWS_SHOT_H
#define BRELVIX_TOOLS_SHOT_LWS_SHOT_H

#include "tools/shot/shot.h"

#include <memory>
#include <string>

namespace brelvix::render {

/// Object files are found as tools/lightwave/object_path.h says, under
/// `request.contentFolder` or the scene's folder and those above it. Null
/// with a one-line `error` when the scene or one of its object files cannot
/// be read (with `request.verbose`, the places tried follow on lines of
/// their own), or `request.cameraName` is not a camera of the scene (the
/// line lists them).
std::unique_ptr<Shot> loadLwsShot(const std::string &path, const ShotRequest &request,
                                  std::string &error);

class ByteReader;

/// A shot that LwsShot's `write` wrote after its kind's byte; null for
/// damaged bytes.
std::unique_ptr<Shot> readLwsShot(ByteReader &in);

} // namespace brelvix::render

#endif
