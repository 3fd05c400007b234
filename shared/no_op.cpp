#include "shared/no_op.h"

namespace brelvix {

void ignoreArgument(void * /*argument*/) noexcept {}

} // namespace brelvix
