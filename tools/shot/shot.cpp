#include "tools/shot/shot.h"

#include "tools/shot/lws_shot.h"
#include "tools/shot/shot_wire.h"
#include "tools/world/file_kind.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

namespace brelvix::render {
namespace {

/// Any file Assimp reads: it stands still.
class StillShot final : public Shot {
  public:
    StillShot(world::WorldScene world, world::Camera camera, std::vector<std::string> notes)
        : world_(std::move(world)), camera_(std::move(camera)), notes_(std::move(notes)) {}

    ShotCamera camera(double) const override {
        ShotCamera shot;
        shot.position = camera_.position;
        shot.right = camera_.right;
        shot.up = camera_.up;
        shot.forward = camera_.forward;
        if (camera_.verticalFov > 0.0) {
            shot.zoomFactor = 1.0 / std::tan(0.5 * camera_.verticalFov);
        }
        // In focus: the scene's centre, or as far as it reaches ahead.
        const Vec3 toCentre = world_.bounds.centre() - shot.position;
        const double ahead = dot(toCentre, shot.forward);
        shot.focalDistance = ahead > 0.0 ? ahead : std::max(length(toCentre), 1e-3);
        return shot;
    }
    void write(ByteWriter &out) const override {
        out.value(ShotKind::still);
        writeWorldScene(out, world_);
        writeCamera(out, camera_);
        out.count(notes_.size());
        for (const std::string &note : notes_) {
            out.text(note);
        }
    }
    ShotFilm film() const override { return {}; }
    std::vector<std::string> notes() const override { return notes_; }
    ShotFrames frames() const override { return {}; }
    bool moves() const override { return false; }
    void place(world::PlacedGeometry &geometry, double) const override {
        geometry.meshes = world_.meshes;
        geometry.lights = world_.lights;
        geometry.shadowOffset =
            1e-5 * std::max(1.0, length(world_.bounds.high - world_.bounds.low));
    }

  private:
    world::WorldScene world_;
    world::Camera camera_;
    std::vector<std::string> notes_;
};

} // namespace

bool isLightWaveScene(const std::string &path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // By content too: Assimp would take a scene under another name and read
    // the objects it names with its own reader, itself among them.
    return extension == ".lws" || world::sceneKind(path) == world::SceneKind::lightWave;
}

std::unique_ptr<Shot> Shot::load(const std::string &path, const std::string &cameraName,
                                 std::string &error) {
    return load(path, ShotRequest{cameraName, {}, false}, error);
}

std::unique_ptr<Shot> Shot::load(const std::string &path, const ShotRequest &request,
                                 std::string &error) {
    if (isLightWaveScene(path)) {
        return loadLwsShot(path, request, error);
    }
    std::optional<world::WorldScene> world = world::loadScene(path, error);
    if (!world) {
        return nullptr;
    }
    world::Camera camera;
    std::vector<std::string> notes;
    if (!request.cameraName.empty()) {
        const world::Camera *const named = world::findCamera(*world, request.cameraName);
        if (!named) {
            std::string names;
            for (const world::Camera &each : world->cameras) {
                names += (names.empty() ? "\"" : ", \"") + each.name + "\"";
            }
            error = path + ": no camera called \"" + request.cameraName + "\" (" +
                    (names.empty() ? "the file has no cameras" : "the file's cameras: " + names) +
                    ")";
            return nullptr;
        }
        camera = *named;
    } else if (!world->cameras.empty()) {
        camera = world->cameras.front();
    } else {
        // One eye's half of the default film: 0.036 m by 0.024 m.
        camera =
            world::framingCamera(world->bounds, 2.0 * std::atan(1.0 / kDefaultZoomFactor), 1.5);
    }
    if (camera.verticalFov <= 0.0) {
        // As in the host, the lens replaces the camera's projection.
        notes.push_back(path + ": camera \"" + camera.name +
                        "\" is orthographic; the lens renders it in perspective from its place");
    }
    return std::make_unique<StillShot>(std::move(*world), std::move(camera), std::move(notes));
}

std::unique_ptr<Shot> Shot::read(std::string_view bytes, std::string &error) {
    ByteReader in(bytes);
    return read(in, error);
}

std::unique_ptr<Shot> Shot::read(ByteReader &in, std::string &error) {
    ShotKind kind{};
    std::unique_ptr<Shot> shot;
    if (in.value(kind) && kind == ShotKind::still) {
        world::WorldScene world;
        world::Camera camera;
        std::vector<std::string> notes;
        std::size_t count = 0;
        bool read = readWorldScene(in, world) && readCamera(in, camera) &&
                    in.count(count, sizeof(std::uint64_t));
        for (std::size_t i = 0; read && i < count; ++i) {
            read = in.text(notes.emplace_back());
        }
        if (read) {
            shot =
                std::make_unique<StillShot>(std::move(world), std::move(camera), std::move(notes));
        }
    } else if (in.ok() && kind == ShotKind::lightWave) {
        shot = readLwsShot(in);
    }
    if (!shot || !in.ok() || !in.atEnd()) {
        error = "the loading process sent a damaged scene";
        return nullptr;
    }
    return shot;
}

Vec3 headingPitchBank(const ShotCamera &camera) {
    // forward = (sin h cos p, -sin p, cos h cos p)
    const Vec3 f = camera.forward;
    const double level = std::hypot(f.x, f.z);
    const double pitch = std::atan2(-f.y, level);
    if (level < 1e-12) {
        // Straight up or down: the heading is the right axis's, no bank.
        return {std::atan2(-camera.right.z, camera.right.x), pitch, 0.0};
    }
    const double heading = std::atan2(f.x, f.z);
    // up = sin b right0 + cos b up0
    const Vec3 right0{std::cos(heading), 0.0, -std::sin(heading)};
    const Vec3 up0{std::sin(heading) * std::sin(pitch), std::cos(pitch),
                   std::cos(heading) * std::sin(pitch)};
    return {heading, pitch, std::atan2(dot(camera.up, right0), dot(camera.up, up0))};
}

} // namespace brelvix::render
