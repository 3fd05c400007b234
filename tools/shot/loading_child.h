// The loading process's own side: its limits, its stack, its reports
// (loading_protocol.h); the renderer's side is loading_process.h.
#ifndef BRELVIX_TOOLS_SHOT_LOADING_CHILD_H
#define BRELVIX_TOOLS_SHOT_LOADING_CHILD_H

#include "tools/shot/loading_protocol.h"
#include "tools/shot/shot.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace brelvix::render::child {

/// In the forked child: sets the limits, reads `path` as `request` asks on
/// a large stack, reports through `pipe` and ends the process.
[[noreturn]] void runChild(int pipe, pid_t parent, const std::string &path,
                           const ShotRequest &request, const LoadLimits &limits);

} // namespace brelvix::render::child

#endif
