#pragma once

#include "firmware/merge.h"

#include <cstdint>
#include <iosfwd>

namespace fabricor::cli {

// From this size on a base firmware is worth a progress bar.
inline constexpr int64_t kProgressMinimumBytes = 8 * 1024 * 1024;

// A one-line bar redrawn in place; it draws only when its percentage changes, so following a
// merge of millions of lines costs a hundred writes. main() hands one to the commands, saying
// whether stderr is a terminal; a test hands in its own.
class TerminalProgress final : public MergeProgress {
public:
    TerminalProgress(std::ostream& err, bool terminal, int64_t minimumBytes = kProgressMinimumBytes)
        : err_(err), terminal_(terminal), minimumBytes_(minimumBytes) {}

    // A new bar for work on this many bytes: drawn only on a terminal, and only for large work.
    void Start(int64_t bytes);
    void SetMaximum(int64_t maximum) override;
    void SetPosition(int64_t position) override;
    bool Followed() const override { return enabled_; }
    // Ends the bar's line, if one was drawn.
    void Finish();

private:
    std::ostream& err_;
    bool terminal_;
    int64_t minimumBytes_;
    bool enabled_ = false;
    int64_t maximum_ = 0;
    int shown_ = -1;
};

} // namespace fabricor::cli
