// A user's scene file as the renderer sees it over time: the camera that
// looks at it, the film and frames the file sets, and the scene's surfaces
// and lights at a time.
//
// Two kinds: a scene of the host (`.lws`), read by the project's own reader
// with its objects' layers read through Assimp, whose items move with their
// envelopes; and any other file Assimp reads, which stands still. Both are in
// the host's axes (tools/world/axes.h says how each source maps to them).
#ifndef BRELVIX_TOOLS_SHOT_SHOT_H
#define BRELVIX_TOOLS_SHOT_SHOT_H

#include "tools/world/instances.h"
#include "tools/world/shutter_motion.h"
#include "tools/world/vec.h"
#include "tools/world/world_scene.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brelvix::render {

using world::Vec3;

class ByteReader;
class ByteWriter;

/// The lens's default zoom, 31.5 mm on the 24 mm film height: the view of a
/// camera that frames a scene without one.
inline constexpr double kDefaultZoomFactor = 2.6217;

/// The camera at one time, as the host's item and camera services answer.
struct ShotCamera {
    Vec3 position;
    Vec3 right{1.0, 0.0, 0.0};
    Vec3 up{0.0, 1.0, 0.0};
    Vec3 forward{0.0, 0.0, 1.0};
    /// The lens's zoom factor: 1 / tan(vertical field of view / 2).
    double zoomFactor = kDefaultZoomFactor;
    /// None: the command line's.
    std::optional<double> focalDistance;
    std::optional<double> fStop;
};

/// What the file sets of the film and frames; none: the command line's.
struct ShotFilm {
    std::optional<double> filmHeight;
    std::optional<double> filmWidth;
    std::optional<int> width;
    std::optional<int> height;
    /// Whether the camera blurs motion; none: as the command line says.
    std::optional<bool> motionBlur;
};

/// The file's frame range and rate, when `ranged`.
struct ShotFrames {
    bool ranged = false;
    long first = 0;
    long last = 0;
    double framesPerSecond = 24.0;
};

/// What to load of a scene file besides its path.
struct ShotRequest {
    /// The camera to look through; empty: the file's current or first one,
    /// or one that frames the scene when it has none.
    std::string cameraName;
    /// A LightWave scene's content folder; empty: the scene's folder and
    /// each folder above it.
    std::string contentFolder;
    /// An object file not found lists the places tried.
    bool verbose = false;
    /// Times a LightWave object's subdivision cages are refined; 0: the cage.
    int subdivisionLevel = 2;
};

class Shot {
  public:
    /// Reads the file and the object files it names, and picks the camera
    /// called `cameraName` (empty: the file's first, or one that frames the
    /// scene when it has none). Null with a one-line `error` naming the file
    /// and the fault.
    static std::unique_ptr<Shot> load(const std::string &path, const std::string &cameraName,
                                      std::string &error);
    static std::unique_ptr<Shot> load(const std::string &path, const ShotRequest &request,
                                      std::string &error);
    /// A shot written by `write`, or null with a one-line `error` when the
    /// bytes are damaged (see shot_wire.h).
    static std::unique_ptr<Shot> read(std::string_view bytes, std::string &error);
    /// The same from a reader, which must be at the message's end after it.
    static std::unique_ptr<Shot> read(ByteReader &in, std::string &error);
    virtual ~Shot() = default;

    /// Everything the shot holds, for `read` in another process.
    virtual void write(ByteWriter &out) const = 0;

    virtual ShotCamera camera(double time) const = 0;
    virtual ShotFilm film() const = 0;
    virtual ShotFrames frames() const = 0;
    /// Whether anything but the camera moves.
    virtual bool moves() const = 0;
    /// The meshes and lights at `time` (and the scene's own ambient light
    /// and backdrop, when it sets them), for the tracer.
    virtual void place(world::PlacedGeometry &geometry, double time) const = 0;
    /// Whether the file's camera renders through an aperture; none: the
    /// file does not say.
    virtual std::optional<bool> depthOfField() const { return std::nullopt; }
    /// How long the shutter is open for a frame at `time`, as a fraction of
    /// the frame's time: 1 the whole frame; negative, it closes at `time`
    /// rather than opens.
    virtual double shutter(double) const { return 1.0; }
    /// Gives each instance that `place` put into `instanced` its placement
    /// at each of `times` when it moves across them; an instance at rest
    /// keeps its one placement. A shot whose objects stand still changes
    /// nothing.
    virtual void placeAcross(world::InstancedObjects &, const world::ShutterTimes &) const {}
    /// What the user should know of how the file was taken, one line each
    /// (a camera the lens replaces, ...).
    virtual std::vector<std::string> notes() const { return {}; }
};

/// Whether `path` is a scene of the host: by its `.lws` suffix (in any
/// case) or by its content, which the loader reads by its own reader.
bool isLightWaveScene(const std::string &path);

/// Heading, pitch and bank (radians, the host's convention: see
/// host/standin_host.h) that turn the unturned axes into `camera`'s.
Vec3 headingPitchBank(const ShotCamera &camera);

} // namespace brelvix::render

#endif
