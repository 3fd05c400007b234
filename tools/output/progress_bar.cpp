#include "tools/output/progress_bar.h"

#include <algorithm>
#include <ostream>
#include <string>

namespace brelvix::render {

void ProgressBar::operator()(std::int64_t done, std::int64_t total) {
    const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
    if (percent == lastPercent_) {
        return;
    }
    lastPercent_ = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    err_ << "\rrendering ";
    if (frames_ > 1) {
        const std::int64_t frame =
            std::min(frames_, frames_ * done / std::max<std::int64_t>(total, 1) + 1);
        err_ << "frame " << frame << "/" << frames_ << " ";
    }
    err_ << "[" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << percent << "%"
         << std::flush;
}

void ProgressBar::clear() {
    if (lastPercent_ >= 0) {
        err_ << "\r" << std::string(80, ' ') << "\r" << std::flush;
        lastPercent_ = -1;
    }
}

} // namespace brelvix::render
