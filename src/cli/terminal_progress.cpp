#include "cli/terminal_progress.h"

#include <ostream>
#include <string>

namespace fabricor::cli {

void TerminalProgress::Start(int64_t bytes) {
    enabled_ = terminal_ && bytes >= minimumBytes_;
    maximum_ = 0;
    shown_ = -1;
}

void TerminalProgress::SetMaximum(int64_t maximum) { maximum_ = maximum; }

void TerminalProgress::SetPosition(int64_t position) {
    if (!enabled_ || maximum_ <= 0)
        return;
    int percent = static_cast<int>(std::min<int64_t>(100, position * 100 / maximum_));
    if (percent == shown_)
        return;
    shown_ = percent;
    constexpr int kWidth = 40;
    int filled = percent * kWidth / 100;
    err_ << "\rMerging [" << std::string(static_cast<size_t>(filled), '#')
         << std::string(static_cast<size_t>(kWidth - filled), ' ') << "] " << percent << "%"
         << std::flush;
}

void TerminalProgress::Finish() {
    if (shown_ >= 0)
        err_ << "\n";
    shown_ = -1;
}

} // namespace fabricor::cli
