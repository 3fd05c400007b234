#include "tools/shot/lws_shot.h"

#include "tools/lightwave/item_motion.h"
#include "tools/lightwave/object_path.h"
#include "tools/lightwave/scene_reader.h"
#include "tools/shot/shot_wire.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <sys/stat.h>
#include <tuple>
#include <vector>

namespace brelvix::render {
namespace {

namespace lw = brelvix::lightwave;

Vec3 fromScene(lw::Vec3 v) { return {v.x, v.y, v.z}; }

/// An object item with its layer's meshes in the object's own space,
/// shared by every item that loads the same layer of the same file.
struct PlacedObject {
    std::size_t item; // index into the scene's items
    std::shared_ptr<const std::vector<world::Mesh>> meshes;
};

world::Light::Kind lightKind(lw::LightType type) {
    switch (type) {
    case lw::LightType::distant:
        return world::Light::Kind::Directional;
    case lw::LightType::spot:
        return world::Light::Kind::Spot;
    case lw::LightType::point:
        return world::Light::Kind::Point;
    case lw::LightType::linear:
    case lw::LightType::area:
        break;
    }
    return world::Light::Kind::Area;
}

world::Rgb colourOf(lw::Vec3 v) { return {v.x, v.y, v.z}; }

/// The scene's ambient light and backdrop at `time`, for a scene lit by its
/// own lights.
void setEnvironment(world::PlacedGeometry &geometry, const lw::Environment &environment,
                    double time) {
    geometry.ambient = colourOf(environment.ambientColour) *
                       std::max(0.0, lw::evaluate(environment.ambientIntensity, time));
    world::Backdrop backdrop;
    backdrop.gradient = !environment.solidBackdrop;
    backdrop.colour = colourOf(environment.backdropColour);
    backdrop.zenith = colourOf(environment.zenithColour);
    backdrop.sky = colourOf(environment.skyColour);
    backdrop.ground = colourOf(environment.groundColour);
    backdrop.nadir = colourOf(environment.nadirColour);
    backdrop.skySqueeze = environment.skySqueeze;
    backdrop.groundSqueeze = environment.groundSqueeze;
    geometry.backdrop = backdrop;
}

class LwsShot final : public Shot {
  public:
    LwsShot(lw::Scene scene, const std::optional<std::size_t> camera,
            std::vector<PlacedObject> objects)
        : scene_(std::move(scene)), camera_(camera ? &scene_.items[*camera] : nullptr),
          objects_(std::move(objects)) {}

    ShotCamera camera(double time) const override {
        if (!camera_) {
            return framing(time);
        }
        const lw::WorldPose pose = lw::worldPose(scene_, *camera_, time);
        const lw::CameraSettings &settings = camera_->camera;
        // Without an aperture the host renders everything sharp; the lens's
        // centre is passed then (see depthOfField()).
        return {fromScene(pose.position),
                fromScene(pose.right),
                fromScene(pose.up),
                fromScene(pose.forward),
                lw::evaluate(settings.zoomFactor, time),
                lw::evaluate(settings.focalDistance, time),
                lw::evaluate(settings.lensFStop, time)};
    }

    ShotFilm film() const override {
        if (!camera_) {
            return {};
        }
        const lw::CameraSettings &settings = camera_->camera;
        return {settings.apertureHeight, settings.filmWidth(), settings.frameWidth,
                settings.frameHeight, settings.motionBlur};
    }

    double shutter(double time) const override {
        return camera_ && camera_->camera.motionBlur
                   ? lw::evaluate(camera_->camera.blurLength, time)
                   : 1.0;
    }

    void placeAcross(world::InstancedObjects &instanced,
                     const world::ShutterTimes &times) const override {
        // `place` makes one instance an object item, in the items' order.
        if (instanced.instances.size() != objects_.size() || times.count < 2) {
            return;
        }
        std::vector<std::vector<lw::WorldPose>> poses;
        for (int step = 0; step < times.count; ++step) {
            poses.push_back(lw::worldPoses(scene_, times.at(step)));
        }
        for (std::size_t i = 0; i < objects_.size(); ++i) {
            std::vector<world::Placement> steps;
            for (const std::vector<lw::WorldPose> &at : poses) {
                const lw::WorldPose &pose = at[objects_[i].item];
                steps.push_back({fromScene(pose.origin), fromScene(pose.xAxis),
                                 fromScene(pose.yAxis), fromScene(pose.zAxis)});
            }
            const auto still = [&](const world::Placement &p) { return p == steps.front(); };
            if (!std::all_of(steps.begin(), steps.end(), still)) {
                instanced.instances[i].steps = std::move(steps);
            }
        }
    }

    ShotFrames frames() const override {
        return ShotFrames{true, std::lround(scene_.firstFrame), std::lround(scene_.lastFrame),
                          scene_.framesPerSecond};
    }

    bool moves() const override { return true; }

    std::optional<bool> depthOfField() const override {
        return camera_ ? std::optional<bool>(camera_->camera.depthOfField) : std::nullopt;
    }

    void write(ByteWriter &out) const override {
        out.value(ShotKind::lightWave);
        writeLightWaveScene(out, scene_);
        out.value(static_cast<std::int64_t>(camera_ ? camera_ - scene_.items.data() : -1));
        // Each layer once, then the objects by its number.
        std::map<const std::vector<world::Mesh> *, std::size_t> layers;
        for (const PlacedObject &object : objects_) {
            layers.emplace(object.meshes.get(), layers.size());
        }
        std::vector<const std::vector<world::Mesh> *> ordered(layers.size());
        for (const auto &[meshes, index] : layers) {
            ordered[index] = meshes;
        }
        out.count(ordered.size());
        for (const std::vector<world::Mesh> *meshes : ordered) {
            writeMeshes(out, *meshes);
        }
        out.count(objects_.size());
        for (const PlacedObject &object : objects_) {
            out.value(static_cast<std::uint64_t>(object.item));
            out.value(static_cast<std::uint64_t>(layers.at(object.meshes.get())));
        }
    }

    void place(world::PlacedGeometry &geometry, double time) const override {
        geometry.meshes.clear();
        geometry.instanced = {};
        const std::vector<lw::WorldPose> poses = lw::worldPoses(scene_, time);
        // Each layer once, each object item an instance of it.
        std::map<const std::vector<world::Mesh> *, std::size_t> objects;
        for (const PlacedObject &object : objects_) {
            const auto [entry, added] =
                objects.emplace(object.meshes.get(), geometry.instanced.objects.size());
            if (added) {
                geometry.instanced.objects.push_back(object.meshes);
            }
            const lw::WorldPose &pose = poses[object.item];
            geometry.instanced.instances.push_back(
                {entry->second,
                 {{fromScene(pose.origin), fromScene(pose.xAxis), fromScene(pose.yAxis),
                   fromScene(pose.zAxis)}}});
        }
        world::Bounds bounds;
        world::addBounds(geometry.instanced, bounds);
        geometry.lights.clear();
        for (std::size_t i = 0; i < scene_.items.size(); ++i) {
            const lw::Item &item = scene_.items[i];
            if (item.kind != lw::ItemKind::light) {
                continue;
            }
            const lw::WorldPose &pose = poses[i];
            const double intensity = lw::evaluate(item.light.intensity, time);
            const lw::Vec3 colour = item.light.colour;
            geometry.lights.push_back(
                {item.name,
                 lightKind(item.light.type),
                 {pose.position.x, pose.position.y, pose.position.z},
                 {pose.forward.x, pose.forward.y, pose.forward.z},
                 {colour.x * intensity, colour.y * intensity, colour.z * intensity}});
        }
        // Lit by its own lights and ambient light before its own backdrop;
        // without lights, by the sun and the sky before that sky.
        geometry.ambient.reset();
        geometry.backdrop.reset();
        if (!geometry.lights.empty()) {
            setEnvironment(geometry, scene_.environment, time);
        }
        geometry.shadowOffset =
            bounds.empty() ? 1e-5 : 1e-5 * std::max(1.0, world::length(bounds.high - bounds.low));
    }

  private:
    /// Without a camera in the scene: one that frames its objects.
    ShotCamera framing(double time) const {
        world::PlacedGeometry placed;
        place(placed, time);
        world::Bounds bounds;
        world::addBounds(placed.instanced, bounds);
        const world::Camera camera =
            world::framingCamera(bounds, 2.0 * std::atan(1.0 / kDefaultZoomFactor), 1.5);
        ShotCamera shot;
        shot.position = camera.position;
        shot.zoomFactor = kDefaultZoomFactor;
        shot.focalDistance = length(bounds.centre() - shot.position);
        return shot;
    }

    lw::Scene scene_;
    const lw::Item *camera_;
    std::vector<PlacedObject> objects_;
};

} // namespace

namespace {

/// The camera to look through: the one called `name`, else the one the
/// scene's `CurrentCamera` names, else the first; nothing when the scene has
/// none. False with `error` listing the cameras when none is called `name`.
bool chooseCamera(const lw::Scene &scene, const std::string &path, const std::string &name,
                  std::optional<std::size_t> &camera, std::string &error) {
    std::string names;
    for (std::size_t i = 0; i < scene.items.size(); ++i) {
        const lw::Item &item = scene.items[i];
        if (item.kind != lw::ItemKind::camera) {
            continue;
        }
        if (name.empty() ? !camera : item.name == name && !camera) {
            camera = i;
        }
        names += (names.empty() ? "\"" : ", \"") + item.name + "\"";
    }
    if (!name.empty() && !camera) {
        error = path + ": no camera called \"" + name + "\" (" +
                (names.empty() ? "the scene has no cameras" : "the scene's cameras: " + names) +
                ")";
        return false;
    }
    if (name.empty() && scene.currentCamera) {
        camera = scene.currentCamera;
    }
    return true;
}

} // namespace

std::unique_ptr<Shot> loadLwsShot(const std::string &path, const ShotRequest &request,
                                  std::string &error) {
    lw::SceneResult read = lw::loadScene(path);
    if (!read.scene) {
        error = read.error;
        return nullptr;
    }
    const lw::Scene &scene = *read.scene;
    std::optional<std::size_t> camera;
    if (!chooseCamera(scene, path, request.cameraName, camera, error)) {
        return nullptr;
    }
    std::vector<PlacedObject> objects;
    std::map<std::tuple<dev_t, ino_t, int>, std::shared_ptr<const std::vector<world::Mesh>>> loaded;
    for (std::size_t i = 0; i < scene.items.size(); ++i) {
        const lw::Item &item = scene.items[i];
        if (item.kind != lw::ItemKind::object || item.isNull || item.objectPath.empty()) {
            continue;
        }
        const lw::ObjectSearch search =
            lw::findObjectFile(item.objectPath, path, request.contentFolder);
        if (!search.found) {
            error = path + ":" + std::to_string(item.line) + ": object file \"" + item.objectPath +
                    "\" not found in " + std::to_string(search.tried.size()) + " places" +
                    (request.verbose ? ":" : " (--verbose lists them)");
            for (std::size_t k = 0; request.verbose && k < search.tried.size(); ++k) {
                error += "\n  " + search.tried[k];
            }
            return nullptr;
        }
        // The same layer of the same file (by identity, whatever the path
        // says) is read once and shared.
        struct stat identity {};
        const bool identified = ::stat(search.found->c_str(), &identity) == 0;
        const std::tuple<dev_t, ino_t, int> key{identity.st_dev, identity.st_ino, item.layer};
        if (const auto found = loaded.find(key); identified && found != loaded.end()) {
            objects.push_back({i, found->second});
            continue;
        }
        std::optional<std::vector<world::Mesh>> meshes = world::loadObjectLayer(
            *search.found, item.layer, error, world::LoadOptions{request.subdivisionLevel});
        if (!meshes) {
            return nullptr;
        }
        auto shared = std::make_shared<const std::vector<world::Mesh>>(std::move(*meshes));
        if (identified) {
            loaded.emplace(key, shared);
        }
        objects.push_back({i, std::move(shared)});
    }
    if (objects.empty()) {
        error = path + ": the scene has no objects with faces";
        return nullptr;
    }
    return std::make_unique<LwsShot>(std::move(*read.scene), camera, std::move(objects));
}

std::unique_ptr<Shot> readLwsShot(ByteReader &in) {
    lw::Scene scene;
    std::int64_t camera = -1;
    std::size_t layerCount = 0;
    if (!readLightWaveScene(in, scene) || !in.value(camera) ||
        camera >= static_cast<std::int64_t>(scene.items.size()) || camera < -1 ||
        (camera >= 0 &&
         scene.items[static_cast<std::size_t>(camera)].kind != lw::ItemKind::camera) ||
        !in.count(layerCount, sizeof(std::uint64_t))) {
        return nullptr;
    }
    std::vector<std::shared_ptr<const std::vector<world::Mesh>>> layers;
    for (std::size_t i = 0; i < layerCount; ++i) {
        std::vector<world::Mesh> meshes;
        if (!readMeshes(in, meshes)) {
            return nullptr;
        }
        layers.push_back(std::make_shared<const std::vector<world::Mesh>>(std::move(meshes)));
    }
    std::size_t objectCount = 0;
    if (!in.count(objectCount, 2 * sizeof(std::uint64_t))) {
        return nullptr;
    }
    std::vector<PlacedObject> objects;
    for (std::size_t i = 0; i < objectCount; ++i) {
        std::uint64_t item = 0;
        std::uint64_t layer = 0;
        if (!in.value(item) || !in.value(layer) || item >= scene.items.size() ||
            layer >= layers.size()) {
            return nullptr;
        }
        objects.push_back({static_cast<std::size_t>(item), layers[layer]});
    }
    const std::optional<std::size_t> chosen =
        camera < 0 ? std::nullopt : std::optional<std::size_t>(static_cast<std::size_t>(camera));
    return std::make_unique<LwsShot>(std::move(scene), chosen, std::move(objects));
}

} // namespace brelvix::render
