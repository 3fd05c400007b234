// The panel server: the camera's properties panel. The host's panel toolkit
// draws it from three static tables; the module answers a value getter and a
// value setter on the instance the panel shows.
#ifndef BRELVIX_PANEL_PANEL_SERVER_H
#define BRELVIX_PANEL_PANEL_SERVER_H

#include "module/host_services.h"

#include <cstddef>
#include <cstdint>

namespace brelvix {

struct CameraInstance;

inline constexpr int kPanelVersion = 4;

// Control ids; 0 is the panel as a whole.
inline constexpr uintptr_t kZoomControl = 0x8001;
inline constexpr uintptr_t kFocalLengthLine = 0x8002;
inline constexpr uintptr_t kHShiftControl = 0x8003;
inline constexpr uintptr_t kVShiftControl = 0x8004;
inline constexpr uintptr_t kDistanceControl = 0x8005;
inline constexpr uintptr_t kAngleControl = 0x8006;

/// Builds one panel for the instance named in the interface record.
/// Returns 0 on success (also when the toolkit makes no panel), 1 for a
/// version other than 4, 2 when the toolkit is missing.
int activatePanel(int version, HostLookup lookup, void *local, void *serverData) noexcept;

/// The channel handle of an envelope control, the address of the
/// focal-length line for its id, null for any other id.
void *panelGet(void *instance, uintptr_t id) noexcept;

/// Stores the double at `value` into the control's cached parameter and
/// notifies the host; 0 (nothing changed) for other ids or a null value.
int panelSet(void *instance, uintptr_t id, void *value) noexcept;

/// Writes "Focal Length <mm>mm" into `text`, one digit after the point,
/// always terminated within `size`; a number too long for the line is
/// written in exponent form instead.
void formatFocalLength(char *text, std::size_t size, double millimetres) noexcept;

/// The three tables handed to the toolkit.
const PanelControl *panelControls() noexcept;
const PanelDataDesc *panelDataDescriptions() noexcept;
const intptr_t *panelHints() noexcept;

} // namespace brelvix

#endif
