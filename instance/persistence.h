// An instance's data in the host's scene: the five channels' own data, in
// parameter order, then one group of five single-precision numbers, the
// cached values. The module adds no marker of its own and ignores the mode.
#ifndef BRELVIX_INSTANCE_PERSISTENCE_H
#define BRELVIX_INSTANCE_PERSISTENCE_H

#include "interface/host_services.h"

namespace brelvix {

/// Reads the channels, then the five numbers. A channel's error text is
/// returned unchanged and ends the load; the numbers are then not read.
/// Numbers the host does not deliver leave their cached values as they were.
const char *loadInstance(void *instance, const LoadState *state) noexcept;

/// Writes the channels, then the five numbers in one call. A channel's error
/// text is returned unchanged and ends the save.
const char *saveInstance(void *instance, const SaveState *state) noexcept;

} // namespace brelvix

#endif
