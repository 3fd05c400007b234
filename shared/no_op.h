// The module's one function that does nothing: the descriptor names it as its
// shut-down function and the panel's hint list as its no-op callback, so both
// hand the host the same address.
#ifndef BRELVIX_SHARED_NO_OP_H
#define BRELVIX_SHARED_NO_OP_H

namespace brelvix {

/// Takes one word (the server data, or whatever the panel toolkit passes) and
/// does nothing.
void ignoreArgument(void *argument) noexcept;

} // namespace brelvix

#endif
