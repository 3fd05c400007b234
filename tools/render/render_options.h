// What brelvix-render is asked to do, as the command line and a set-up file
// give it: the image, the lens's channels, the camera, the scene and the
// frames, and where the output goes. The renderer and the depth check take
// this record; tools/cli fills it.
#ifndef BRELVIX_TOOLS_RENDER_RENDER_OPTIONS_H
#define BRELVIX_TOOLS_RENDER_RENDER_OPTIONS_H

#include "tools/render/film.h"
#include "tools/render/vec3.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brelvix::render {

/// Frame numbers, first and last included.
struct FrameRange {
    long first = 0;
    long last = 0;
};

enum class OutputFormat { png, exr };

/// The format named by a path's extension (.png, .exr, in any case), or none.
std::optional<OutputFormat> outputFormat(const std::string &path);

/// The output file of frame `frame` of a range: "name.0007.png" for
/// "name.png", the number at least four digits wide.
std::string numberedPath(const std::string &path, long frame);

inline constexpr int kExitSuccess = 0;
/// The module, a scene file or the output failed.
inline constexpr int kExitFailure = 1;
/// The command line was wrong: an unknown option or channel, a bad number.
inline constexpr int kExitUsage = 2;
/// Stopped by Ctrl-C (SIGINT), as a shell reports a program it interrupted.
inline constexpr int kExitInterrupted = 130;

/// The largest image the command line accepts: 16384 x 16384 pixels.
inline constexpr int kMaxImageSide = 16384;
inline constexpr int kMaxMotionSteps = 1000;

/// A channel held at one value.
struct ChannelValue {
    std::string channel;
    double value;
};

/// A key on a channel: the channel then changes linearly between its keys.
struct ChannelKey {
    std::string channel;
    double time;
    double value;
};

struct RenderOptions {
    /// Empty: brelvix.so beside the running program.
    std::string modulePath;
    std::string outputPath = "brelvix-render.png";
    FilmSettings film;
    int threads = 1;

    /// Applied in order after a loaded scene, values first, then keys.
    std::vector<ChannelValue> values;
    std::vector<ChannelKey> keys;

    Vec3 position{0.0, 0.42, -0.2};
    Vec3 target{0.0, 0.42, 2.0};
    /// Camera travel over the shutter: keyed at the frame's end.
    Vec3 move{};
    /// Empty: the distance from the position to the target.
    std::optional<double> focalDistance;
    double fStop = 1.0;

    double frameStart = 0.0;
    double frameDuration = 1.0;

    /// The set-up settings the command line gave, by their names in a scene
    /// file ("position", "f-stop", ...): a loaded scene does not change them.
    std::vector<std::string> givenSettings;
    /// Whether the command line gave `setting` (a name of givenSettings).
    bool given(std::string_view setting) const {
        return std::find(givenSettings.begin(), givenSettings.end(), setting) !=
               givenSettings.end();
    }

    /// Empty: the built-in scene.
    std::string scenePath;
    /// Empty: the scene's first camera, or one framing it.
    std::string cameraName;
    /// A LightWave scene's content folder; empty: the scene's folder and
    /// each folder above it.
    std::string contentFolder;
    /// An object file not found lists the places tried.
    bool verbose = false;
    /// Times a LightWave object's subdivision cages are refined; 0: the cage.
    int subdivisionLevel = 2;
    /// The one frame to render; none: the scene's first (0 without a scene).
    std::optional<long> frame;
    /// Frames to render each to its numbered file.
    std::optional<FrameRange> frames;
    /// Address space the scene's loading may take, bytes; 0: half the
    /// machine's memory.
    std::uint64_t maxLoadMemory = 0;
    /// Embree's instruction set; empty: the widest the processor has.
    std::string isa;
    /// Trace the scene's rays one at a time rather than in packets: the
    /// reference the packets are checked against.
    bool singleRays = false;
    OutputFormat outputFormat = OutputFormat::png;

    bool anaglyph = false;
    std::string saveScenePath;
    std::string loadScenePath;
    bool quiet = false;
};

/// Strict number parsing: the whole text must be a finite number.
bool parseNumber(const std::string &text, double &value);
bool parseInteger(const std::string &text, long &value);
/// "x,y,z".
bool parseVector(const std::string &text, Vec3 &value);

} // namespace brelvix::render

#endif
