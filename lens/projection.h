// The viewport's projection matrix: zoom, lens shift and the depth-of-field
// lens offset of the camera at one time, without the eye split of the rays.
#ifndef BRELVIX_LENS_PROJECTION_H
#define BRELVIX_LENS_PROJECTION_H

namespace brelvix {

/// What the projection depends on: the sampled zoom factor and shifts, the
/// film size, the lens position (0, 0 is the lens centre) and the camera's
/// focus distance (the host's "focal distance") and f-stop.
struct ViewportInputs {
    double zoomFactor;
    double hShift;
    double vShift;
    double filmWidth;
    double filmHeight;
    double lensX;
    double lensY;
    double focusDistance;
    double fStop;
};

/// Fills all 16 entries of `matrix` (row by row, points as row vectors on the
/// left) with
///
///     f   0   0   0
///     0   f   0   0
///     sx  sy  A  -1
///     ox  oy  B   0
///
/// f = (zoom * H) * 0.5 is the focal length and near distance, r = (f / fStop)
/// * 0.5 the aperture radius, ox = -(W * lensX) * r and oy = -(W * lensY) * r
/// the lens offset (both scaled by the film width), sx = hShift * W + ox / d
/// and sy = vShift * H + oy / d the shear that keeps the plane of focus fixed
/// for every lens position, and A, B the depth terms for near f and far
/// kFarDistance (65000). For finite inputs of ordinary magnitude every entry
/// is finite:
/// - an f-stop that is 0, negative or NaN gives r = 0 (no lens offset);
/// - a lens term ox / d or oy / d that is not finite (focus distance 0) is
///   left out of the shear;
/// - a focal length equal to the far distance takes the depth terms of an
///   infinitely far plane, A = -1 and B = -2f.
/// Returns `matrix`.
double *makeViewportProjection(const ViewportInputs &inputs, double matrix[16]) noexcept;

} // namespace brelvix

#endif
