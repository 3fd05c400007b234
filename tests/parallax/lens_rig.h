// A camera through the built module for the depth check's tests: at the
// origin looking along +z, its stereo channels set, one frame prepared.
#ifndef BRELVIX_TESTS_PARALLAX_LENS_RIG_H
#define BRELVIX_TESTS_PARALLAX_LENS_RIG_H

#include "tools/parallax/frame_check.h"
#include "tools/render/camera_placement.h"
#include "tools/render/lens_session.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace brelvix::parallax::test {

/// The lens's default focal length: zoom 2.6217 on the 24 mm film height.
inline constexpr double kFocalLength = 0.024 * 2.6217 / 2.0;

struct RigSettings {
    double eyeDistance = 0.065;
    double eyeAngle = 0.0;
    double hShift = 0.0;
    double vShift = 0.0;
    /// One eye's image; square pixels.
    int eyeWidth = 97;
    int height = 65;
};

class Rig {
  public:
    explicit Rig(const RigSettings &settings) : settings_(settings) {
        film_.width = 2 * settings.eyeWidth;
        film_.height = settings.height;
        film_.filmHeight = 0.024;
        film_.filmWidth = 0.024 * film_.width / film_.height;
        std::string error;
        session_ = render::LensSession::open(BRELVIX_MODULE_PATH, error);
        EXPECT_TRUE(session_) << error;
        render::RenderOptions placement;
        placement.position = {0.0, 0.0, 0.0};
        placement.target = {0.0, 0.0, 1.0};
        render::placeCamera(session_->camera(), placement);
        set("StereoDistance", settings.eyeDistance);
        set("StereoAngle", settings.eyeAngle);
        set("HShift", settings.hShift);
        set("VShift", settings.vShift);
        session_->setCurrentTime(0.0);
        EXPECT_TRUE(session_->prepareFrame(frame_, film_.filmWidth, film_.filmHeight, error))
            << error;
    }
    Rig(double eyeDistance, double eyeAngle, double hShift = 0.0, double vShift = 0.0)
        : Rig(RigSettings{eyeDistance, eyeAngle, hShift, vShift}) {}

    ParallaxField measure(const render::Scene &scene, bool view = false, int stride = 1) const {
        MeasureSettings settings;
        settings.threads = 2;
        settings.view = view;
        settings.stride = stride;
        return measureParallax(session_->rays(), film_, scene, settings);
    }
    /// The whole check of the frame, its advice included.
    FrameReport check(const render::Scene &scene, const Budget &budget = {}) const {
        FrameReport report;
        ParallaxField field;
        std::string error;
        CheckSettings settings;
        settings.threads = 2;
        EXPECT_TRUE(
            checkFrame({*session_, frame_, film_, scene}, budget, settings, report, field, error))
            << error;
        return report;
    }
    EyeRays eyes() const { return EyeRays(session_->rays(), film_); }
    const RigSettings &settings() const { return settings_; }
    /// Pixels of the image per unit of film.
    double pixelsPerFilm() const { return film_.width / film_.filmWidth; }
    /// A film x of the left eye's pixel column, from its own image's centre.
    double filmX(int column) const {
        return (column + 0.5 - 0.5 * settings_.eyeWidth) / pixelsPerFilm();
    }

  private:
    void set(const char *channel, double value) {
        session_->channel(channel)->curve = standin::Curve{value, {}};
    }

    RigSettings settings_;
    FrameInfo frame_{0, 0.0, 1.0, 24.0, 0};
    render::FilmSettings film_;
    std::unique_ptr<render::LensSession> session_;
};

/// Boxes, built for tracing; the sky everywhere else.
inline render::Scene sceneOf(std::vector<render::Box> boxes) {
    render::Scene scene;
    scene.boxes = std::move(boxes);
    std::string error;
    EXPECT_TRUE(scene.build({}, error)) << error;
    return scene;
}

/// A wide wall facing the camera at distance z, up to `top`.
inline render::Box wall(double z, double top = 100.0) {
    return {{-100.0, -100.0, z}, {100.0, top, z + 1.0}, {0.5, 0.5, 0.5}};
}

} // namespace brelvix::parallax::test

#endif
