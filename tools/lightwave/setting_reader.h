// Settings lines of a scene file: numbers after a keyword, and the lines that
// set a light or a camera.
#ifndef BRELVIX_TOOLS_LIGHTWAVE_SETTING_READER_H
#define BRELVIX_TOOLS_LIGHTWAVE_SETTING_READER_H

#include "tools/lightwave/line_cursor.h"
#include "tools/lightwave/scene.h"

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace brelvix::lightwave {

using Words = std::vector<std::string_view>;

/// Exactly `count` numbers after the keyword `lineWords[0]`, into `out`.
bool readValues(LineCursor &lines, const Words &lineWords, std::size_t count, double *out);
/// One number after the keyword, greater than 0.
bool readPositive(LineCursor &lines, const Words &lineWords, double &out);
bool readVector(LineCursor &lines, const Words &lineWords, Vec3 &out);
/// One number after the keyword: on for any but 0.
bool readFlag(LineCursor &lines, const Words &lineWords, bool &out);
/// Width and height in pixels, 1 to a million each.
bool readFrameSize(LineCursor &lines, const Words &lineWords, CameraSettings &camera);

/// What settings lines need of the scene: its format's version (colours are
/// 0..255 before format 3) and frame rate (for the oldest envelopes' frames).
struct SettingContext {
    int version = 0;
    double framesPerSecond = 30.0;
};

/// Three numbers after the keyword, a colour: 0..1, or 0..255 before
/// format 3.
bool readColour(LineCursor &lines, const Words &lineWords, const SettingContext &context,
                Vec3 &out);

/// A line of the current light (its words, already taken): nothing when the
/// keyword is not a light's, else whether it was read.
std::optional<bool> readLightLine(LineCursor &lines, const Words &w, const SettingContext &context,
                                  LightSettings &light);

/// A line of the current camera, the same way.
std::optional<bool> readCameraLine(LineCursor &lines, const Words &w, const SettingContext &context,
                                   CameraSettings &camera);

/// A motion blur line, `MotionBlur` or `BlurLength` after `prefix` (empty
/// for a camera's own, "Global" for the scene's), the same way.
std::optional<bool> readBlurLine(LineCursor &lines, const Words &w, const SettingContext &context,
                                 CameraSettings &camera, std::string_view prefix);

/// A line of the scene's frame range and rate (`FirstFrame`, `LastFrame`,
/// `FrameStep`, `FramesPerSecond`): nothing when it is none of them, else
/// whether it was read.
std::optional<bool> readFramesLine(LineCursor &lines, const Words &w, Scene &scene);

/// A line of the scene's ambient light or backdrop, the same way. A colour
/// written otherwise than as three numbers is not read.
std::optional<bool> readEnvironmentLine(LineCursor &lines, const Words &w,
                                        const SettingContext &context, Environment &environment);

} // namespace brelvix::lightwave

#endif
