// One frame's check: measured through the lens as set, then again with its
// eye distance and eye angle changed for the advice, and put back.
#ifndef BRELVIX_TOOLS_PARALLAX_FRAME_CHECK_H
#define BRELVIX_TOOLS_PARALLAX_FRAME_CHECK_H

#include "tools/parallax/advice.h"
#include "tools/render/lens_session.h"
#include "tools/render/traced_scene.h"

#include <atomic>
#include <optional>
#include <string>

namespace brelvix::parallax {

/// The lens's channels the check reads and changes.
inline constexpr const char *kEyeDistanceChannel = "StereoDistance";
inline constexpr const char *kEyeAngleChannel = "StereoAngle";

struct FrameReport {
    long frame = 0;
    FrameFigures figures;
    RigShape rig;
    /// The frame's `StereoDistance` and `StereoAngle` at the moment measured.
    double eyeDistance = 0.0;
    double eyeAngle = 0.0;
    DistanceAdvice distance;
    /// None when nothing is seen by both eyes.
    std::optional<AngleAdvice> angle;
    /// The image shift, pixels, that centres the frame's depth in the
    /// budget; none when nothing is seen by both eyes.
    std::optional<double> imageShift;
};

/// A frame the lens has prepared, with the scene it sees.
struct LensFrame {
    render::LensSession &session;
    const FrameInfo &info;
    const render::FilmSettings &film;
    const render::Scene &scene;
};

struct CheckSettings {
    int threads = 1;
    /// Keeps the left eye's view in the field, for the map.
    bool view = false;
};

/// The field as set and the frame's report. False with `error` set when the
/// lens fails to prepare, or "interrupted" when `stop` turned non-zero; the
/// lens is prepared as set again either way.
bool checkFrame(const LensFrame &frame, const Budget &budget, const CheckSettings &settings,
                FrameReport &report, ParallaxField &field, std::string &error,
                const std::atomic<int> *stop = nullptr);

} // namespace brelvix::parallax

#endif
