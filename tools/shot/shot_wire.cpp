#include "tools/shot/shot_wire.h"

#include "tools/lightwave/scene_links.h"

#include <algorithm>
#include <optional>

namespace brelvix::render {
namespace {

namespace lw = brelvix::lightwave;

// A tripwire for the one build the renderer ships in: a field added to these
// records changes their size, and must be added to the message as well.
#if defined(__x86_64__) && defined(__GLIBCXX__)
static_assert(sizeof(world::Mesh) == 176 && sizeof(world::Camera) == 144 &&
                  sizeof(world::Light) == 112,
              "a field was added to the world's records: carry it in shot_wire.cpp");
static_assert(sizeof(lw::Scene) == 328 && sizeof(lw::Item) == 736 &&
                  sizeof(lw::CameraSettings) == 168 && sizeof(lw::LightSettings) == 64 &&
                  sizeof(lw::Envelope) == 32 && sizeof(lw::Environment) == 200,
              "a field was added to the scene reader's records: carry it in shot_wire.cpp");
#endif

void writeString(ByteWriter &out, const std::string &s) { out.text(s); }

template <typename T> void writeOptional(ByteWriter &out, const std::optional<T> &v) {
    out.value(static_cast<std::uint8_t>(v.has_value()));
    if (v) {
        out.value(*v);
    }
}

template <typename T> bool readOptional(ByteReader &in, std::optional<T> &v) {
    std::uint8_t has = 0;
    if (!in.value(has) || has > 1) {
        return in.fail();
    }
    v.reset();
    if (has) {
        T inner{};
        if (!in.value(inner)) {
            return false;
        }
        v = inner;
    }
    return true;
}

bool readBool(ByteReader &in, bool &b) {
    std::uint8_t raw = 0;
    if (!in.value(raw) || raw > 1) {
        return in.fail();
    }
    b = raw == 1;
    return true;
}

void writeEnvelope(ByteWriter &out, const lw::Envelope &envelope) {
    out.array(envelope.keys);
    writeEnumeration(out, envelope.pre);
    writeEnumeration(out, envelope.post);
}

bool readEnvelope(ByteReader &in, lw::Envelope &envelope) {
    if (!in.array(envelope.keys) || !in.enumeration(envelope.pre, lw::Behavior::linear) ||
        !in.enumeration(envelope.post, lw::Behavior::linear)) {
        return false;
    }
    const bool shapesKnown =
        std::all_of(envelope.keys.begin(), envelope.keys.end(), [](const lw::Key &key) {
            const auto span = static_cast<int>(key.span);
            return span >= 0 && span <= static_cast<int>(lw::SpanType::bezier2d);
        });
    return shapesKnown || in.fail();
}

void writeItem(ByteWriter &out, const lw::Item &item) {
    writeEnumeration(out, item.kind);
    out.value(item.id);
    writeString(out, item.name);
    writeOptional(out, item.parent);
    writeOptional(out, item.target);
    out.value(static_cast<std::uint64_t>(item.parentIndex));
    out.value(static_cast<std::uint64_t>(item.targetIndex));
    out.value(item.pivot);
    out.value(item.pivotRotation);
    for (const lw::Envelope &channel : item.motion) {
        writeEnvelope(out, channel);
    }
    out.value(item.line);
    writeString(out, item.objectPath);
    out.value(item.layer);
    out.value(static_cast<std::uint8_t>(item.isNull));
    out.value(item.restPosition);
    out.value(item.restRotation);
    out.value(item.light.colour);
    writeEnvelope(out, item.light.intensity);
    writeEnumeration(out, item.light.type);
    const lw::CameraSettings &camera = item.camera;
    writeEnvelope(out, camera.zoomFactor);
    out.value(camera.apertureHeight);
    out.value(camera.frameWidth);
    out.value(camera.frameHeight);
    out.value(camera.pixelAspect);
    writeEnvelope(out, camera.focalDistance);
    writeEnvelope(out, camera.lensFStop);
    out.value(static_cast<std::uint8_t>(camera.depthOfField));
    out.value(static_cast<std::uint8_t>(camera.usesGlobalResolution));
    out.value(static_cast<std::uint8_t>(camera.motionBlur));
    writeEnvelope(out, camera.blurLength);
    out.value(static_cast<std::uint8_t>(camera.usesGlobalBlur));
}

bool readItem(ByteReader &in, lw::Item &item) {
    std::uint64_t parentIndex = 0;
    std::uint64_t targetIndex = 0;
    if (!in.enumeration(item.kind, lw::ItemKind::bone) || !in.value(item.id) ||
        !in.text(item.name) || !readOptional(in, item.parent) || !readOptional(in, item.target) ||
        !in.value(parentIndex) || !in.value(targetIndex) || !in.value(item.pivot) ||
        !in.value(item.pivotRotation)) {
        return false;
    }
    // Checked against the item count once all items are read.
    item.parentIndex = static_cast<std::size_t>(parentIndex);
    item.targetIndex = static_cast<std::size_t>(targetIndex);
    for (lw::Envelope &channel : item.motion) {
        if (!readEnvelope(in, channel)) {
            return false;
        }
    }
    lw::CameraSettings &camera = item.camera;
    return in.value(item.line) && in.text(item.objectPath) && in.value(item.layer) &&
           readBool(in, item.isNull) && in.value(item.restPosition) &&
           in.value(item.restRotation) && in.value(item.light.colour) &&
           readEnvelope(in, item.light.intensity) &&
           in.enumeration(item.light.type, lw::LightType::area) &&
           readEnvelope(in, camera.zoomFactor) && in.value(camera.apertureHeight) &&
           in.value(camera.frameWidth) && in.value(camera.frameHeight) &&
           in.value(camera.pixelAspect) && readEnvelope(in, camera.focalDistance) &&
           readEnvelope(in, camera.lensFStop) && readBool(in, camera.depthOfField) &&
           readBool(in, camera.usesGlobalResolution) && readBool(in, camera.motionBlur) &&
           readEnvelope(in, camera.blurLength) && readBool(in, camera.usesGlobalBlur);
}

void writeEnvironment(ByteWriter &out, const lw::Environment &environment) {
    out.value(environment.ambientColour);
    writeEnvelope(out, environment.ambientIntensity);
    out.value(static_cast<std::uint8_t>(environment.solidBackdrop));
    for (const lw::Vec3 &colour :
         {environment.backdropColour, environment.zenithColour, environment.skyColour,
          environment.groundColour, environment.nadirColour}) {
        out.value(colour);
    }
    out.value(environment.skySqueeze);
    out.value(environment.groundSqueeze);
}

bool readEnvironment(ByteReader &in, lw::Environment &environment) {
    if (!in.value(environment.ambientColour) || !readEnvelope(in, environment.ambientIntensity) ||
        !readBool(in, environment.solidBackdrop)) {
        return false;
    }
    for (lw::Vec3 *colour :
         {&environment.backdropColour, &environment.zenithColour, &environment.skyColour,
          &environment.groundColour, &environment.nadirColour}) {
        if (!in.value(*colour)) {
            return false;
        }
    }
    // The reader takes only squeezes above 0.
    return (in.value(environment.skySqueeze) && in.value(environment.groundSqueeze) &&
            environment.skySqueeze > 0.0 && environment.groundSqueeze > 0.0) ||
           in.fail();
}

void writeLight(ByteWriter &out, const world::Light &light) {
    writeString(out, light.name);
    writeEnumeration(out, light.kind);
    out.value(light.position);
    out.value(light.direction);
    out.value(light.colour);
}

bool readLight(ByteReader &in, world::Light &light) {
    return in.text(light.name) && in.enumeration(light.kind, world::Light::Kind::Area) &&
           in.value(light.position) && in.value(light.direction) && in.value(light.colour);
}

/// Reads `count`-prefixed records with `read`, each at least `smallest`
/// bytes, so that the count is bounded by the bytes left.
template <typename T, typename Read>
bool readRecords(ByteReader &in, std::vector<T> &records, std::size_t smallest, Read read) {
    std::size_t n = 0;
    if (!in.count(n, smallest)) {
        return false;
    }
    records.clear();
    for (std::size_t i = 0; i < n; ++i) {
        if (!read(in, records.emplace_back())) {
            return false;
        }
    }
    return true;
}

} // namespace

void writeMeshes(ByteWriter &out, const std::vector<world::Mesh> &meshes) {
    out.count(meshes.size());
    for (const world::Mesh &mesh : meshes) {
        writeString(out, mesh.name);
        out.array(mesh.positions);
        out.array(mesh.normals);
        out.array(mesh.colours);
        out.array(mesh.triangles);
        out.value(mesh.diffuse);
        out.value(mesh.glow);
    }
}

bool readMeshes(ByteReader &in, std::vector<world::Mesh> &meshes) {
    // A mesh takes at least its name's and four arrays' counts.
    return readRecords(in, meshes, 5 * sizeof(std::uint64_t), [](ByteReader &in, world::Mesh &m) {
        if (!in.text(m.name) || !in.array(m.positions) || !in.array(m.normals) ||
            !in.array(m.colours) || !in.array(m.triangles) || !in.value(m.diffuse) ||
            !in.value(m.glow)) {
            return false;
        }
        const std::size_t vertices = m.positions.size();
        const bool matches = (m.normals.empty() || m.normals.size() == vertices) &&
                             (m.colours.empty() || m.colours.size() == vertices);
        const bool indexed =
            std::all_of(m.triangles.begin(), m.triangles.end(), [vertices](const auto &t) {
                return t[0] < vertices && t[1] < vertices && t[2] < vertices;
            });
        return (matches && indexed) || in.fail();
    });
}

void writeCamera(ByteWriter &out, const world::Camera &camera) {
    writeString(out, camera.name);
    out.value(camera.position);
    out.value(camera.right);
    out.value(camera.up);
    out.value(camera.forward);
    out.value(camera.verticalFov);
    out.value(camera.aspect);
}

bool readCamera(ByteReader &in, world::Camera &camera) {
    return in.text(camera.name) && in.value(camera.position) && in.value(camera.right) &&
           in.value(camera.up) && in.value(camera.forward) && in.value(camera.verticalFov) &&
           in.value(camera.aspect);
}

void writeWorldScene(ByteWriter &out, const world::WorldScene &scene) {
    writeMeshes(out, scene.meshes);
    out.count(scene.cameras.size());
    for (const world::Camera &camera : scene.cameras) {
        writeCamera(out, camera);
    }
    out.count(scene.lights.size());
    for (const world::Light &light : scene.lights) {
        writeLight(out, light);
    }
    out.value(scene.bounds);
}

bool readWorldScene(ByteReader &in, world::WorldScene &scene) {
    return readMeshes(in, scene.meshes) &&
           readRecords(in, scene.cameras, sizeof(world::Vec3), readCamera) &&
           readRecords(in, scene.lights, sizeof(world::Vec3), readLight) && in.value(scene.bounds);
}

void writeLightWaveScene(ByteWriter &out, const lw::Scene &scene) {
    out.value(scene.version);
    out.value(scene.firstFrame);
    out.value(scene.lastFrame);
    out.value(scene.frameStep);
    out.value(scene.framesPerSecond);
    writeEnvironment(out, scene.environment);
    out.count(scene.items.size());
    for (const lw::Item &item : scene.items) {
        writeItem(out, item);
    }
    writeOptional(out, scene.currentCamera);
}

bool readLightWaveScene(ByteReader &in, lw::Scene &scene) {
    if (!in.value(scene.version) || !in.value(scene.firstFrame) || !in.value(scene.lastFrame) ||
        !in.value(scene.frameStep) || !in.value(scene.framesPerSecond) ||
        !readEnvironment(in, scene.environment) || !readRecords(in, scene.items, 64, readItem) ||
        !readOptional(in, scene.currentCamera)) {
        return false;
    }
    // The links are the reader's; they are rebuilt here rather than trusted:
    // every index in range, the ids unique, the links free of loops.
    const std::size_t n = scene.items.size();
    const auto linked = [n](std::size_t index) { return index == lw::kNoItem || index < n; };
    if ((scene.currentCamera && *scene.currentCamera >= n) ||
        !std::all_of(scene.items.begin(), scene.items.end(), [&](const lw::Item &item) {
            return linked(item.parentIndex) && linked(item.targetIndex);
        })) {
        return in.fail();
    }
    const bool unique = lw::indexIds(scene) == lw::kNoItem;
    scene.order = lw::placementOrder(scene);
    if (!unique || scene.order.size() != n) {
        return in.fail();
    }
    return true;
}

} // namespace brelvix::render
