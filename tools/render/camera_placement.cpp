#include "tools/render/camera_placement.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>

namespace brelvix::render {
namespace {

/// The frame numbers the renderer counts, as the command line does.
constexpr long kLargestFrame = 999999;

} // namespace

void placeShotCamera(standin::CameraItem &item, const Shot &shot, const FrameInfo &frame,
                     const RenderOptions &options) {
    item = standin::CameraItem{};
    const int intervals = 4 * std::max(frame.motionSteps, 0);
    std::array<double, 3> previous{};
    for (int i = 0; i <= intervals; ++i) {
        const double time =
            intervals == 0 ? frame.start : frame.start + frame.duration * i / intervals;
        const ShotCamera camera = shot.camera(time);
        const Vec3 turn = headingPitchBank(camera);
        std::array<double, 3> angles{turn.x, turn.y, turn.z};
        // Each angle within half a turn of the last, so that the keys
        // between them do not spin the long way round.
        for (std::size_t a = 0; a < 3 && i > 0; ++a) {
            constexpr double kTurn = 2.0 * std::numbers::pi;
            angles[a] -= kTurn * std::round((angles[a] - previous[a]) / kTurn);
        }
        previous = angles;
        for (int axis = 0; axis < 3; ++axis) {
            item.position[axis].setKey(time, camera.position[axis]);
        }
        item.heading.setKey(time, angles[0]);
        item.pitch.setKey(time, angles[1]);
        item.bank.setKey(time, angles[2]);
        item.focalDistance.setKey(time, options.given("focal-distance") || !camera.focalDistance
                                            ? options.focalDistance.value_or(1.0)
                                            : *camera.focalDistance);
        item.fStop.setKey(time,
                          options.given("f-stop") || !camera.fStop ? options.fStop : *camera.fStop);
    }
}

bool shotFilm(const RenderOptions &options, const Shot &shot, FilmSettings &film,
              std::string &error) {
    film = options.film;
    const ShotFilm set = shot.film();
    if (set.width && set.height && !options.given("width") && !options.given("height")) {
        // Even, for the two halves.
        const long width = *set.width + *set.width % 2;
        if (width < 2 || width > kMaxImageSide || *set.height < 1 || *set.height > kMaxImageSide) {
            error = options.scenePath + ": the camera's frame size " + std::to_string(*set.width) +
                    " x " + std::to_string(*set.height) + " is outside the 2 to " +
                    std::to_string(kMaxImageSide) +
                    " pixels a side rendered (give --width and --height)";
            return false;
        }
        film.width = static_cast<int>(width);
        film.height = *set.height;
    }
    // The host renders without an aperture when the camera's depth of field
    // is off: every ray then leaves the lens's centre, as with --no-dof.
    if (const std::optional<bool> aperture = shot.depthOfField();
        aperture && !options.given("depth-of-field")) {
        film.depthOfField = *aperture;
    }
    if (set.filmHeight && !options.given("film-height")) {
        film.filmHeight = *set.filmHeight;
    }
    if (!options.given("film-width")) {
        film.filmWidth = set.filmWidth && film.width == set.width && film.height == set.height
                             ? *set.filmWidth
                             : film.filmHeight * film.width / film.height;
    }
    return true;
}

bool frameList(const RenderOptions &options, const Shot *shot, std::vector<long> &frames,
               std::string &error) {
    const ShotFrames range = shot ? shot->frames() : ShotFrames{};
    if (options.frames) {
        for (long frame = options.frames->first; frame <= options.frames->last; ++frame) {
            frames.push_back(frame);
        }
    } else {
        frames.push_back(options.frame.value_or(range.ranged ? range.first : 0));
    }
    for (const long frame : frames) {
        if (frame < -kLargestFrame || frame > kLargestFrame) {
            error = options.scenePath + ": frame " + std::to_string(frame) +
                    " is beyond the frames the renderer counts (" + std::to_string(-kLargestFrame) +
                    " to " + std::to_string(kLargestFrame) + ")";
            return false;
        }
        if (range.ranged && (frame < range.first || frame > range.last)) {
            error = options.scenePath + ": frame " + std::to_string(frame) +
                    " is outside the scene's frames " + std::to_string(range.first) + " to " +
                    std::to_string(range.last);
            return false;
        }
    }
    return true;
}

void placeCamera(standin::CameraItem &camera, const RenderOptions &options) {
    const Vec3 start = options.position;
    const Vec3 end = options.position + options.move;
    const double frameEnd = options.frameStart + options.frameDuration;
    for (int i = 0; i < 3; ++i) {
        camera.position[i] = standin::Curve{start[i], {}};
        if (end[i] != start[i] && options.frameDuration > 0.0) {
            camera.position[i].setKey(options.frameStart, start[i]);
            camera.position[i].setKey(frameEnd, end[i]);
        }
    }
    // Heading turns +z toward +x; a positive pitch looks down.
    const Vec3 view = options.target - options.position;
    camera.heading = standin::Curve{std::atan2(view.x, view.z), {}};
    camera.pitch = standin::Curve{std::atan2(-view.y, std::hypot(view.x, view.z)), {}};
    camera.bank = standin::Curve{0.0, {}};
    camera.focalDistance = standin::Curve{options.focalDistance.value_or(length(view)), {}};
    camera.fStop = standin::Curve{options.fStop, {}};
}

} // namespace brelvix::render
