#pragma once

#include "firmware/merge.h"

#include <iosfwd>

namespace fabricor::cli {

// A one-line bar redrawn in place; it draws only when its percentage changes, so following a
// merge of millions of lines costs a hundred writes.
class TerminalProgress final : public MergeProgress {
public:
    TerminalProgress(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
    void SetMaximum(int64_t maximum) override;
    void SetPosition(int64_t position) override;
    // Ends the bar's line, if one was drawn.
    void Finish();

private:
    std::ostream& err_;
    bool enabled_;
    int64_t maximum_ = 0;
    int shown_ = -1;
};

} // namespace fabricor::cli
