// The lens handler's operations as the host calls them: they gather the
// host's answers through HostServices and hand plain numbers to the lens math
// (lens/), which never calls the host itself.
#ifndef BRELVIX_MODULE_LENS_HANDLER_H
#define BRELVIX_MODULE_LENS_HANDLER_H

#include "interface/host_services.h"

namespace brelvix {

inline constexpr const char *kTableAllocationFailed = "Can't allocate Memory";

/// The per-frame call: rebuilds the instance's motion sample table for the
/// frame. Refuses a motion step count that is negative or above the lens's
/// cap as it refuses a table it cannot allocate: the frame values are
/// updated, the old table is released and no new one is made.
/// Must not overlap with ray evaluations or the destruction of the instance.
const char *prepareFrame(void *instance, const FrameInfo *frame,
                         const CameraAccess *access) noexcept;

/// The viewport preview: samples the parameters at the host's current time
/// and fills the projection matrix. Returns 1.
int previewLens(void *instance, double lensX, double lensY, double matrix[16],
                const CameraAccess *access) noexcept;

/// One camera ray from the instance's current table; 0 when there is none.
/// Safe on several threads at once for one instance.
int evaluateLensRay(void *instance, double filmX, double filmY, double lensX, double lensY,
                    double shutterFraction, CameraRay *ray) noexcept;

} // namespace brelvix

#endif
