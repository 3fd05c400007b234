// Finding the object files that a scene names. The host writes an object's
// path relative to its content folder, or whole as it was on the author's
// machine: with a drive letter (`C:\Objects\car.lwo`, `Z:Dev/car.lwo`), a
// volume name (`Work:Objects/car.lwo`) or a root (`/Users/name/car.lwo`),
// with either slash. When a project moves, its objects are found where the
// host's users expect them:
//
//   1. as written (either slash taken as a folder separator);
//   2. relative to each content folder: the one given, or by default the
//      scene's folder and each folder above it, nearest first (the drive,
//      volume or root taken off);
//   3. by its file name in the `Objects` folder of each of those, where the
//      host's content layout keeps objects (`E:Proj/car.lwo` finds
//      CONTENT/Objects/car.lwo, and with the default folders a scene in
//      CONTENT/Scenes finds it too);
//   4. with the leading folders dropped one at a time, under each content
//      folder (`Z:Dev\Proj\Objects\car.lwo` finds CONTENT/Objects/car.lwo);
//   5. by its file name in the scene's folder;
//   6. last, each of those again with every name matched without regard to
//      case, since scenes from Windows name files in any case.
#ifndef BRELVIX_TOOLS_LIGHTWAVE_OBJECT_PATH_H
#define BRELVIX_TOOLS_LIGHTWAVE_OBJECT_PATH_H

#include <optional>
#include <string>
#include <vector>

namespace brelvix::lightwave {

/// Where an object file was looked for, and where it was found.
struct ObjectSearch {
    std::optional<std::string> found;
    /// Every place looked at, in order, each once (those of step 6 are
    /// steps 1 to 5's again, not listed twice).
    std::vector<std::string> tried;
};

/// The object file that `written` (the path as the scene gives it) names,
/// for the scene file at `scenePath`, with `contentFolder` the content
/// folder (empty: the scene's folder and each above it).
ObjectSearch findObjectFile(const std::string &written, const std::string &scenePath,
                            const std::string &contentFolder);

/// The folders of `written` after its drive, volume or root, then its file
/// name: `Z:Dev\Proj\car.lwo` gives {"Dev", "Proj", "car.lwo"}. Empty names
/// and "." are left out.
std::vector<std::string> pathNames(const std::string &written);

} // namespace brelvix::lightwave

#endif
