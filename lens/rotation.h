// Axis-angle rotation for row vectors, used to turn each eye's rays about the
// camera's up axis.
//
// A matrix is 16 doubles stored row by row (entry 4 * row + column). Points
// are row vectors multiplied from the left, p' = p * M: rows 0 to 2 hold the
// linear part, row 3 the translation, and column 3 is never read.
#ifndef BRELVIX_LENS_ROTATION_H
#define BRELVIX_LENS_ROTATION_H

#include "lens/trigonometry.h"

#include <cmath>

namespace brelvix {

/// Fills `matrix` with the rotation by `angle` radians about `axis` (any
/// non-zero length; it is reduced to unit length first): p * M = p cos +
/// (u x p) sin + u (u . p)(1 - cos). An axis whose length is not a positive
/// finite number (zero, or squares outside double range) gives the identity.
/// The angle comes as its sine and cosine. Returns `matrix`.
inline double *makeAxisRotation(double matrix[16], const double axis[3],
                                const SineCosine &turn) noexcept {
    const double axisLength =
        std::sqrt((axis[0] * axis[0] + axis[1] * axis[1]) + axis[2] * axis[2]);
    if (!(axisLength > 0.0) || std::isinf(axisLength)) [[unlikely]] {
        for (int k = 0; k < 16; ++k) {
            matrix[k] = k % 5 == 0 ? 1.0 : 0.0;
        }
        return matrix;
    }
    const double ux = axis[0] / axisLength;
    const double uy = axis[1] / axisLength;
    const double uz = axis[2] / axisLength;
    const double cosine = turn.cosine;
    const double sine = turn.sine;
    const double versine = 1.0 - cosine;

    matrix[0] = cosine + versine * ux * ux;
    matrix[1] = versine * ux * uy + sine * uz;
    matrix[2] = versine * ux * uz - sine * uy;
    matrix[3] = 0.0;

    matrix[4] = versine * ux * uy - sine * uz;
    matrix[5] = cosine + versine * uy * uy;
    matrix[6] = versine * uy * uz + sine * ux;
    matrix[7] = 0.0;

    matrix[8] = versine * ux * uz + sine * uy;
    matrix[9] = versine * uy * uz - sine * ux;
    matrix[10] = cosine + versine * uz * uz;
    matrix[11] = 0.0;

    matrix[12] = 0.0;
    matrix[13] = 0.0;
    matrix[14] = 0.0;
    matrix[15] = 1.0;
    return matrix;
}

/// The rotation by `angle` radians, with the lens's own sine and cosine
/// (lens/trigonometry.h), so that the matrix has the same bits on every
/// build. Returns `matrix`.
inline double *makeAxisRotation(double matrix[16], const double axis[3], double angle) noexcept {
    return makeAxisRotation(matrix, axis, sineCosine(angle));
}

/// out = in * matrix, with the translation of row 3 added. `out` must not
/// share storage with `in`.
inline void transformPoint(const double matrix[16], const double in[3], double out[3]) noexcept {
    for (int j = 0; j < 3; ++j) {
        out[j] = in[0] * matrix[j] + in[1] * matrix[4 + j] + in[2] * matrix[8 + j] + matrix[12 + j];
    }
}

} // namespace brelvix

#endif
