// What the check advises for a frame: the range of eye distances that keeps
// it within the horizontal budget at the eye angle as set, the eye angle
// that centres its depth in the budget at the eye distance as set, and the
// image shift that does the same in post.
#ifndef BRELVIX_TOOLS_PARALLAX_ADVICE_H
#define BRELVIX_TOOLS_PARALLAX_ADVICE_H

#include "tools/parallax/budget.h"
#include "tools/parallax/probe.h"

#include <limits>
#include <optional>
#include <vector>

namespace brelvix::parallax {

/// A seen pixel's horizontal parallax, pixels with the image shift added,
/// as a straight line in the eye distance s: `atZero` + `slope` s. At
/// s = 0 the two eyes look from one point, so that what is left is the eye
/// angle's turn, the parallax of the point at infinity in that direction;
/// with a fixed angle a pixel's parallax is close to linear in s.
struct ParallaxLine {
    double atZero = 0.0;
    double slope = 0.0;
};

/// Eye distances from `low` to `high` (infinite: no upper end).
struct DistanceInterval {
    double low = 0.0;
    double high = std::numeric_limits<double>::infinity();
};

/// The eye distances, 0 up, at which the lines' near and far percentiles
/// (the budget's) lie within the horizontal budget: the interval holding
/// `current`, else the nearest; none when no distance works.
std::optional<DistanceInterval> solveDistanceRange(const std::vector<ParallaxLine> &lines,
                                                   int eyeWidth, const Budget &budget,
                                                   double current);

/// An eye distance or angle suggested, and the frame measured again there.
struct Measured {
    double value = 0.0;
    FrameFigures figures;
};

/// The range of `StereoDistance` for the eye angle as set.
struct DistanceAdvice {
    enum class Kind {
        /// Nothing in the frame constrains it.
        any,
        range,
        /// No value brings the frame within.
        none,
    };
    Kind kind = Kind::any;
    /// The ends, each measured again; none: 0 below, no end above.
    std::optional<Measured> low;
    std::optional<Measured> high;
};

/// The `StereoAngle` that centres the frame's depth in the budget, for the
/// eye distance as set, and the rig it makes.
struct AngleAdvice {
    Measured angle;
    RigShape rig;
};

/// The centre of the frame's depth (its near and far percentiles), and of
/// the budget's horizontal range, percent.
double depthCentre(const FrameFigures &figures);
double budgetCentre(const Budget &budget);

const char *kindName(DistanceAdvice::Kind kind);

} // namespace brelvix::parallax

#endif
