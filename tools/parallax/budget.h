// The depth budget a frame is held to, and a frame's figures against it.
//
// Parallax in percent is of one eye's image: width for horizontal, height
// for vertical. On a screen W metres wide a horizontal parallax of p percent
// is p / 100 * W metres apart on the screen; beyond the eyes' 65 mm the
// viewer's eyes would have to turn outward (diverge) to fuse it.
#ifndef BRELVIX_TOOLS_PARALLAX_BUDGET_H
#define BRELVIX_TOOLS_PARALLAX_BUDGET_H

#include "tools/parallax/measure.h"

#include <optional>

namespace brelvix::parallax {

/// The distance between a viewer's eyes, in metres.
inline constexpr double kEyeSeparation = 0.065;

struct Budget {
    /// Comfort range of horizontal parallax, percent of the image width.
    double nearPercent = -1.0;
    double farPercent = 2.0;
    /// The target screen's width, metres: a mid-sized cinema screen.
    double screenWidth = 10.0;
    /// Largest vertical parallax, percent of the image height.
    double verticalPercent = 0.2;
    /// How strict the gate is: the near and far figures held to the limits
    /// are the P-th and (100 - P)-th percentiles of the seen pixels, and
    /// the vertical one the (100 - P)-th of the sizes; 0: the extremes.
    double percentile = 1.0;
    /// A shift of the right eye's image in post, pixels of one eye's image
    /// (positive to the right): added to every horizontal parallax.
    double imageShift = 0.0;

    /// The largest positive parallax that does not diverge, percent.
    double divergencePercent() const { return kEyeSeparation / screenWidth * 100.0; }
    /// The far limit: the budget's, or divergence's where that is nearer.
    double farLimitPercent() const;
};

/// A pixel of the left eye's image and the distance to what it sees there.
struct Place {
    int x = 0;
    int y = 0;
    double distance = 0.0;
};

/// A parallax value, percent, and where it is.
struct Extreme {
    double percent = 0.0;
    double pixels = 0.0;
    Place place;
};

struct FrameFigures {
    long seenPixels = 0;
    long hiddenPixels = 0;
    long outsidePixels = 0;
    /// Horizontal, the image shift added: the nearest and the farthest, and
    /// the budget's P-th and (100 - P)-th percentiles of the seen pixels.
    Extreme nearest;
    Extreme farthest;
    Extreme nearPercentile;
    Extreme farPercentile;
    /// The largest vertical parallax by size (its sign kept), and the
    /// (100 - P)-th percentile of the sizes.
    Extreme vertical;
    double verticalPercentile = 0.0;
    /// Share of the seen pixels outside the comfort range or diverging.
    double outsideBudgetShare = 0.0;
    /// Why a frame is over: the near percentile in front of the near limit,
    /// the far one behind the far limit, behind divergence, the vertical
    /// one above its limit.
    bool tooNear = false;
    bool tooFar = false;
    bool diverges = false;
    bool verticalOver = false;
    /// Pixels of the frame's left and right edge seen by both eyes in front
    /// of the screen: something in front cut by the frame (measure.h).
    long windowLeft = 0;
    long windowRight = 0;
    /// Any of the four reasons.
    bool overBudget = false;
};

/// The nearest rank of a share (0 to 1) of `count` ordered values, from 0.
std::size_t rankOf(std::size_t count, double share);

/// Whether a horizontal parallax (percent) lies outside the budget.
bool outsideBudget(const Budget &budget, double percent);

/// The figures of a measured field.
FrameFigures frameFigures(const ParallaxField &field, const Budget &budget);

/// Whether the near and far percentiles lie within the comfort range and do
/// not diverge (the horizontal part of the budget, which the eye distance
/// changes).
bool horizontalWithin(const FrameFigures &figures, const Budget &budget);

} // namespace brelvix::parallax

#endif
