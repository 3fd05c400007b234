// The renderer's threads: the rows of an image handed out one at a time to a
// few workers, with progress reported on the calling thread and a stop that
// any worker's failure or a signal sets.
#ifndef BRELVIX_TOOLS_RENDER_ROW_POOL_H
#define BRELVIX_TOOLS_RENDER_ROW_POOL_H

#include <atomic>
#include <cstdint>
#include <functional>

namespace brelvix::render {

/// Whether the work should end early; cheap, checked between pixels.
using StopCheck = std::function<bool()>;
/// The work of one row; `stopping` turns true when the run should end.
using RowWork = std::function<void(int row, const StopCheck &stopping)>;
/// Rows finished so far and in all; read while the workers run.
using ProgressReport = std::function<void(std::int64_t rowsDone, std::int64_t rows)>;

/// Runs `work` for each of `rows` rows on `threads` threads (at least one,
/// no more than the rows) and returns how many ran. `progress`, if set, is
/// called now and then on the calling thread while the workers run, and once
/// at the end. When `stop` turns non-zero the workers leave the rows they
/// have not begun. An exception of a worker (std::bad_alloc) stops the
/// others and is thrown again here once all are joined.
int forEachRow(int rows, int threads, const RowWork &work, const ProgressReport &progress = {},
               const std::atomic<int> *stop = nullptr);

} // namespace brelvix::render

#endif
