#include "tools/render/ray_range.h"

#include "tools/world/tracer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace brelvix::render {

std::string mostExtreme(const std::vector<SetupValue> &values) {
    const SetupValue *extreme = nullptr;
    double furthest = -1.0;
    for (const SetupValue &v : values) {
        const double size = std::abs(v.value);
        const double distance = std::isfinite(size) ? std::abs(std::log10(size)) : HUGE_VAL;
        if (size != 0.0 && distance > furthest) {
            furthest = distance;
            extreme = &v;
        }
    }
    if (!extreme) {
        return {};
    }
    char number[32];
    std::snprintf(number, sizeof number, "%.6g", extreme->value);
    return extreme->name + " " + number;
}

std::vector<SetupValue> setupValues(LensSession &session, const FilmSettings &film, double time) {
    const standin::CameraItem &camera = session.camera();
    std::vector<SetupValue> values = {
        {"camera position x", camera.position[0].at(time)},
        {"camera position y", camera.position[1].at(time)},
        {"camera position z", camera.position[2].at(time)},
        {"focal distance", camera.focalDistance.at(time)},
        {"f-stop", camera.fStop.at(time)},
        {"film width", film.filmWidth},
        {"film height", film.filmHeight},
    };
    for (const char *name : kChannelNames) {
        if (const standin::Channel *channel = session.channel(name)) {
            values.push_back({name, channel->curve.at(time)});
        }
    }
    return values;
}

std::string zoomFault(LensSession &session, const FrameInfo &frame) {
    const standin::Channel *zoom = session.channel(kChannelNames[0]);
    if (!zoom) {
        return {};
    }
    const int intervals = 4 * std::max(frame.motionSteps, 0);
    for (int i = 0; i <= intervals; ++i) {
        const double time =
            intervals == 0 ? frame.start : frame.start + frame.duration * i / intervals;
        const double value = zoom->curve.at(time);
        if (!(value > 0.0) || !std::isfinite(value)) {
            char number[32];
            std::snprintf(number, sizeof number, "%.6g", value);
            return std::string(kChannelNames[0]) + " " + number +
                   " is out of the lens's range (above 0)";
        }
    }
    return {};
}

bool raysInRange(const LensRays &lens, const FilmSettings &film) {
    const double halfWidth = 0.5 * film.filmWidth;
    const double halfHeight = 0.5 * film.filmHeight;
    const double filmPoints[][2] = {{0.0, 0.0},
                                    {-halfWidth, -halfHeight},
                                    {halfWidth, -halfHeight},
                                    {-halfWidth, halfHeight},
                                    {halfWidth, halfHeight}};
    const double lensPoints[][2] = {{0.0, 0.0}, {1.0, 0.0}, {-1.0, 0.0}, {0.0, 1.0}, {0.0, -1.0}};
    const int lastRecord = 4 * std::max(film.motionSteps, 0);
    const double shutter[] = {recordFraction(film.motionSteps, 0),
                              recordFraction(film.motionSteps, lastRecord)};
    for (const auto &filmPoint : filmPoints) {
        for (const auto &lensPoint : lensPoints) {
            for (const double fraction : shutter) {
                CameraRay ray{};
                const double lensX = film.depthOfField ? lensPoint[0] : 0.0;
                const double lensY = film.depthOfField ? lensPoint[1] : 0.0;
                if (lens.evaluate(lens.instance, filmPoint[0], filmPoint[1], lensX, lensY, fraction,
                                  &ray) == 0) {
                    continue;
                }
                const Ray seen = toRay(ray);
                const world::Ray traced{seen.origin, seen.direction};
                if (!world::takes(traced, 0.0, HUGE_VAL)) {
                    return false;
                }
            }
        }
    }
    return true;
}

std::string raysOutOfRange(LensSession &session, const FilmSettings &film, double time) {
    const std::string named = mostExtreme(setupValues(session, film, time));
    return "the camera's rays leave single precision" +
           (named.empty() ? std::string() : " (" + named + ")");
}

} // namespace brelvix::render
