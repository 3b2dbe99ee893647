#pragma once

#include "cli/cli.h"

namespace fabricor::cli {

// fabricor-cli table export|import: the translate table as CSV and back, through the Set
// Translate Table checks.
int TableCommand(const Arguments& args, std::ostream& out, std::ostream& err);

} // namespace fabricor::cli
