// The panel server: the camera's properties panel. The host's panel toolkit
// draws it from three static tables; the module answers a value getter and a
// value setter on the instance the panel shows.
#ifndef BRELVIX_PANEL_PANEL_SERVER_H
#define BRELVIX_PANEL_PANEL_SERVER_H

#include "interface/host_services.h"
#include "interface/module_interface.h"

#include <cstddef>
#include <cstdint>

namespace brelvix {

struct CameraInstance;

/// Builds one panel for the instance named in the interface record.
/// Returns kActivationSucceeded (also when the toolkit makes no panel),
/// kActivationBadVersion for a version other than 4, kActivationMissingService
/// when the toolkit is missing.
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
