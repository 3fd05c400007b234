#include "tools/lightwave/setting_reader.h"

#include "tools/lightwave/motion_reader.h"

#include <cmath>

namespace brelvix::lightwave {

// Numbers after the keyword, exactly `count` of them.
bool readValues(LineCursor &lines, const Words &lineWords, std::size_t count, double *out) {
    if (lineWords.size() != count + 1) {
        return lines.fail("expected ", count, " number(s) after ", lineWords[0]);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::optional<double> value = number(lineWords[i + 1]);
        if (!value) {
            return lines.fail("\"", lineWords[i + 1], "\" is not a number");
        }
        out[i] = *value;
    }
    return true;
}

bool readPositive(LineCursor &lines, const Words &lineWords, double &out) {
    double value = 0.0;
    if (!readValues(lines, lineWords, 1, &value)) {
        return false;
    }
    if (!(value > 0.0)) {
        return lines.fail(lineWords[0], " must be positive");
    }
    out = value;
    return true;
}

bool readVector(LineCursor &lines, const Words &lineWords, Vec3 &out) {
    double v[3];
    if (!readValues(lines, lineWords, 3, v)) {
        return false;
    }
    out = Vec3{v[0], v[1], v[2]};
    return true;
}

bool readFrameSize(LineCursor &lines, const Words &lineWords, CameraSettings &camera) {
    double size[2];
    if (!readValues(lines, lineWords, 2, size)) {
        return false;
    }
    if (!(size[0] >= 1.0 && size[1] >= 1.0 && size[0] <= 1e6 && size[1] <= 1e6)) {
        return lines.fail("frame size out of range");
    }
    camera.frameWidth = static_cast<int>(size[0]);
    camera.frameHeight = static_cast<int>(size[1]);
    return true;
}

bool readFlag(LineCursor &lines, const Words &lineWords, bool &out) {
    double flag = 0.0;
    if (!readValues(lines, lineWords, 1, &flag)) {
        return false;
    }
    out = flag != 0.0;
    return true;
}

bool readColour(LineCursor &lines, const Words &lineWords, const SettingContext &context,
                Vec3 &out) {
    if (!readVector(lines, lineWords, out)) {
        return false;
    }
    if (context.version < 3) { // 0..255 before format 3
        out = {out.x / 255.0, out.y / 255.0, out.z / 255.0};
    }
    return true;
}

std::optional<bool> readLightLine(LineCursor &lines, const Words &w, const SettingContext &context,
                                  LightSettings &light) {
    const std::string_view key = w[0];
    if (key == "LightColor") {
        return readColour(lines, w, context, light.colour);
    }
    if (key == "LightIntensity" || key == "LgtIntensity") {
        return readSetting(lines, w, light.intensity, context.framesPerSecond);
    }
    if (key == "LightType") {
        double code = 0.0;
        if (!readValues(lines, w, 1, &code)) {
            return false;
        }
        if (code != 0.0 && code != 1.0 && code != 2.0 && code != 3.0 && code != 4.0) {
            return lines.fail("unknown light type");
        }
        light.type = static_cast<LightType>(static_cast<int>(code));
        return true;
    }
    return std::nullopt;
}

std::optional<bool> readCameraLine(LineCursor &lines, const Words &w, const SettingContext &context,
                                   CameraSettings &camera) {
    const std::string_view key = w[0];
    const double rate = context.framesPerSecond;
    if (key == "ZoomFactor") {
        return readSetting(lines, w, camera.zoomFactor, rate);
    }
    if (key == "FocalDistance") {
        return readSetting(lines, w, camera.focalDistance, rate);
    }
    if (key == "LensFStop") {
        return readSetting(lines, w, camera.lensFStop, rate);
    }
    // Older files spell it with a small o.
    if (key == "DepthOfField" || key == "DepthofField") {
        return readFlag(lines, w, camera.depthOfField);
    }
    if (key == "ApertureHeight") {
        return readPositive(lines, w, camera.apertureHeight);
    }
    if (key == "FrameSize" || key == "CustomSize") {
        return readFrameSize(lines, w, camera);
    }
    if (key == "PixelAspect" || key == "CustomPixelRatio") {
        return readPositive(lines, w, camera.pixelAspect);
    }
    if (key == "UseGlobalResolution") {
        return readFlag(lines, w, camera.usesGlobalResolution);
    }
    if (key == "UseGlobalBlur") {
        return readFlag(lines, w, camera.usesGlobalBlur);
    }
    return readBlurLine(lines, w, context, camera, "");
}

std::optional<bool> readBlurLine(LineCursor &lines, const Words &w, const SettingContext &context,
                                 CameraSettings &camera, std::string_view prefix) {
    const std::string_view key = w[0];
    if (key.substr(0, prefix.size()) != prefix) {
        return std::nullopt;
    }
    const std::string_view name = key.substr(prefix.size());
    if (name == "MotionBlur") {
        return readFlag(lines, w, camera.motionBlur);
    }
    if (name == "BlurLength") {
        if (!readSetting(lines, w, camera.blurLength, context.framesPerSecond)) {
            return false;
        }
        // More than a hundred frames' time is no camera's shutter.
        for (const Key &k : camera.blurLength.keys) {
            if (!(std::abs(k.value) <= 100.0)) {
                return lines.fail(key, " out of range");
            }
        }
        return true;
    }
    return std::nullopt;
}

std::optional<bool> readEnvironmentLine(LineCursor &lines, const Words &w,
                                        const SettingContext &context, Environment &environment) {
    const std::string_view key = w[0];
    const struct {
        const char *key;
        Vec3 *colour;
    } colours[] = {{"AmbientColor", &environment.ambientColour},
                   {"BackdropColor", &environment.backdropColour},
                   {"ZenithColor", &environment.zenithColour},
                   {"SkyColor", &environment.skyColour},
                   {"GroundColor", &environment.groundColour},
                   {"NadirColor", &environment.nadirColour}};
    for (const auto &colour : colours) {
        // Three numbers; any other form (an envelope) is passed over.
        if (key == colour.key && w.size() == 4) {
            return readColour(lines, w, context, *colour.colour);
        }
    }
    if (key == "AmbientIntensity") {
        return readSetting(lines, w, environment.ambientIntensity, context.framesPerSecond);
    }
    if (key == "SolidBackdrop") {
        return readFlag(lines, w, environment.solidBackdrop);
    }
    if (key == "SkySqueezeAmount" || key == "GroundSqueezeAmount") {
        return readPositive(lines, w,
                            key == "SkySqueezeAmount" ? environment.skySqueeze
                                                      : environment.groundSqueeze);
    }
    return std::nullopt;
}

std::optional<bool> readFramesLine(LineCursor &lines, const Words &w, Scene &scene) {
    // Frame numbers beyond this are no scene's (a year at 30 000 frames a
    // second).
    constexpr double kLargestFrame = 1e12;
    const std::string_view key = w[0];
    if (key == "FirstFrame" || key == "LastFrame") {
        double frame = 0.0;
        if (!readValues(lines, w, 1, &frame)) {
            return false;
        }
        if (!(std::abs(frame) <= kLargestFrame)) {
            return lines.fail(key, " out of range");
        }
        (key == "FirstFrame" ? scene.firstFrame : scene.lastFrame) = frame;
        return true;
    }
    if (key == "FrameStep") {
        return readPositive(lines, w, scene.frameStep);
    }
    if (key == "FramesPerSecond") {
        return readPositive(lines, w, scene.framesPerSecond);
    }
    return std::nullopt;
}

} // namespace brelvix::lightwave
