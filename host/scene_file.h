// Scene files of the stand-in host: the text that channels and instances are
// saved in and loaded from.
//
// A channel saves itself into a scene file in this text form, one item a line:
//
//     channel <key count> <constant value>
//     key <time> <value>            (key count lines)
//
// and the five numbers of an instance follow as
//
//     floats <count> <value> ...
//
// Doubles are written with 17 significant digits and floats with 9, so that
// every value comes back bit for bit.
//
// A channel's constant, key times and key values are finite: a line with
// NaN, an infinity or a number beyond the double range is damaged. The five
// numbers may be any float, infinities and NaN included: they are the
// instance's cached values narrowed to single precision, where a finite
// double beyond the float range becomes an infinity, and they must load back
// as they were saved.
#ifndef BRELVIX_HOST_SCENE_FILE_H
#define BRELVIX_HOST_SCENE_FILE_H

#include "interface/host_services.h"

#include <memory>
#include <string>

namespace brelvix::standin {

/// A scene file being written: hand `state()` to an instance's save.
class SceneWriter {
  public:
    SceneWriter();
    ~SceneWriter();
    SaveState *state();
    /// Writes what was saved to `path`; false with `error` set on failure.
    bool writeTo(const std::string &path, std::string &error) const;
    const std::string &text() const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

/// A scene file being read: hand `state()` to an instance's load. Damaged
/// content makes the channel load report an error text of the host's, such
/// as "Scene line 3: expected a channel".
class SceneReader {
  public:
    explicit SceneReader(std::string text);
    ~SceneReader();
    /// Reads `path`; false with `error` set when the file cannot be read.
    static bool readFile(const std::string &path, std::string &text, std::string &error);
    LoadState *state();

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

} // namespace brelvix::standin

#endif
