// The progress bar of a run: one line of a terminal, redrawn in place as the
// rows of its frames are done.
#ifndef BRELVIX_TOOLS_OUTPUT_PROGRESS_BAR_H
#define BRELVIX_TOOLS_OUTPUT_PROGRESS_BAR_H

#include <cstdint>
#include <iosfwd>

namespace brelvix::render {

class ProgressBar {
  public:
    /// Counts `frames` frames; done and total are rows over all of them.
    ProgressBar(std::ostream &err, std::int64_t frames) : err_(err), frames_(frames) {}
    /// Also when a failure ends the run early: its one line then stands alone.
    ~ProgressBar() { clear(); }
    ProgressBar(const ProgressBar &) = delete;
    ProgressBar &operator=(const ProgressBar &) = delete;

    /// Redraws the bar when its percent changed.
    void operator()(std::int64_t done, std::int64_t total);
    /// Wipes the bar off its line.
    void clear();

  private:
    std::ostream &err_;
    std::int64_t frames_;
    int lastPercent_ = -1;
};

} // namespace brelvix::render

#endif
