// A scene of the host as its scene file (`.lws`) describes it: the frame
// range, the items (objects, lights, cameras) with their parents and motion
// envelopes, the lights' and cameras' settings.
//
// Units are the file's: metres, seconds, and radians for angles (files of
// format 1 and 2 keep degrees; the reader converts them). Colours are 0..1.
#ifndef BRELVIX_TOOLS_LIGHTWAVE_SCENE_H
#define BRELVIX_TOOLS_LIGHTWAVE_SCENE_H

#include "tools/lightwave/envelope.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace brelvix::lightwave {

struct Vec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

enum class ItemKind { object, light, camera, bone };

/// Item ids in the host's form: the kind in the top hex digit, the item's
/// index among its kind below (objects 0x1000000n, lights 0x2000000n,
/// cameras 0x3000000n). A bone's id is 4, then the bone's index among its
/// object's bones in three hex digits, then the object's index in four:
/// 0x4BBBOOOO.
constexpr std::uint32_t kObjectIdBase = 0x10000000u;
constexpr std::uint32_t kLightIdBase = 0x20000000u;
constexpr std::uint32_t kCameraIdBase = 0x30000000u;
constexpr std::uint32_t kBoneIdBase = 0x40000000u;

/// No item: an index that `Scene::items` never has.
constexpr std::size_t kNoItem = static_cast<std::size_t>(-1);

/// The motion channels of an item, in the file's order: position x, y, z,
/// heading, pitch, bank (radians), scale x, y, z. A channel the file does not
/// give holds 0 (scale: 1).
enum Channel : std::size_t {
    positionX,
    positionY,
    positionZ,
    heading,
    pitch,
    bank,
    scaleX,
    scaleY,
    scaleZ,
    channelCount
};

/// Light types by the file's codes.
enum class LightType { distant = 0, point = 1, spot = 2, linear = 3, area = 4 };

struct LightSettings {
    Vec3 colour{1.0, 1.0, 1.0};
    Envelope intensity = constantEnvelope(1.0);
    LightType type = LightType::distant;
};

struct CameraSettings {
    Envelope zoomFactor = constantEnvelope(3.2);
    double apertureHeight = 0.015; // film height, metres
    int frameWidth = 640;          // pixels
    int frameHeight = 480;
    double pixelAspect = 1.0; // pixel width over pixel height
    Envelope focalDistance = constantEnvelope(1.0);
    Envelope lensFStop = constantEnvelope(4.0);
    /// `DepthOfField 1`: the camera renders through an aperture. The host
    /// renders without one when the line says 0 or is missing.
    bool depthOfField = false;
    /// The camera renders at the scene's global frame size and pixel aspect
    /// (`UseGlobalResolution 1`); the reader has then copied them here.
    bool usesGlobalResolution = false;
    /// `MotionBlur n`: on for any n but 0 (the kinds of blur the host offers
    /// all blur the same motion). Off when the line is missing.
    bool motionBlur = false;
    /// `BlurLength`: the time the shutter is open, as a fraction of a
    /// frame's time (0.5 is half the frame; negative looks back in time).
    Envelope blurLength = constantEnvelope(0.5);
    /// The camera blurs as the scene's global settings say (`UseGlobalBlur
    /// 1`); the reader has then copied them here.
    bool usesGlobalBlur = false;

    /// Film width in metres: the film height times the frame's aspect.
    double filmWidth() const { return apertureHeight * pixelAspect * frameWidth / frameHeight; }
};

/// The scene's ambient light and backdrop, as its effects settings give
/// them (colours 0..1). Without the lines: the host's defaults, a white
/// ambient light at 5 % and a solid black backdrop.
struct Environment {
    Vec3 ambientColour{1.0, 1.0, 1.0};
    Envelope ambientIntensity = constantEnvelope(0.05);
    /// `SolidBackdrop 0`: the backdrop is the gradient of the four colours
    /// below rather than `backdropColour`.
    bool solidBackdrop = true;
    Vec3 backdropColour{0.0, 0.0, 0.0};
    /// The gradient: the sky colour at the horizon turns to the zenith colour
    /// straight up, the ground colour just below the horizon to the nadir
    /// colour straight down; a squeeze above 1 turns them sooner.
    Vec3 zenithColour{0.0, 0.1569, 0.3137};
    Vec3 skyColour{0.4706, 0.7059, 0.9412};
    Vec3 groundColour{0.1961, 0.1569, 0.1176};
    Vec3 nadirColour{0.3922, 0.3137, 0.2353};
    double skySqueeze = 2.0;
    double groundSqueeze = 2.0;
};

/// Channels of an item at rest: zero position and rotation, unit scale.
std::array<Envelope, channelCount> restMotion();

struct Item {
    ItemKind kind = ItemKind::object;
    std::uint32_t id = 0;
    std::string name;
    std::optional<std::uint32_t> parent; // id of the parent item
    /// Id of the item whose position the item's heading and pitch aim at.
    std::optional<std::uint32_t> target;
    /// `parent` and `target` as indices into the scene's items (kNoItem for
    /// none), set by the reader.
    std::size_t parentIndex = kNoItem;
    std::size_t targetIndex = kNoItem;
    Vec3 pivot;         // pivot point, in the item's own axes
    Vec3 pivotRotation; // heading, pitch, bank of the pivot's axes (radians)
    std::array<Envelope, channelCount> motion = restMotion();
    int line = 0; // line of the file that added the item

    // Objects: the object file as written in the scene, its layer (1 first);
    // a null object has no file.
    std::string objectPath;
    int layer = 1;
    bool isNull = false;

    // Bones: the rest position (in the parent's axes) and rest heading,
    // pitch and bank (radians), which are the bone's motion when the file
    // gives it none.
    Vec3 restPosition;
    Vec3 restRotation;

    LightSettings light;
    CameraSettings camera;
};

struct Scene {
    int version = 0; // the number after "LWSC"
    double firstFrame = 1.0;
    double lastFrame = 60.0;
    double frameStep = 1.0;
    double framesPerSecond = 30.0;
    Environment environment;
    std::vector<Item> items; // in the file's order
    /// Index into `items` of the camera that `CurrentCamera` names, if any.
    std::optional<std::size_t> currentCamera;

    /// Indices of the items, each after its parent and after its target's
    /// parent, so that one pass in this order places every item (set by the
    /// reader; items in file order when empty).
    std::vector<std::size_t> order;
    /// (id, index) of every item, sorted by id (set by the reader; `find`
    /// searches the items one by one when empty).
    std::vector<std::pair<std::uint32_t, std::size_t>> byId;

    /// Scene time (seconds) of a frame number.
    double frameTime(double frame) const { return frame / framesPerSecond; }
    const Item *find(std::uint32_t id) const;
    /// The first camera, or null.
    const Item *firstCamera() const;
};

} // namespace brelvix::lightwave

#endif
