#pragma once

#include "cli/cli.h"

namespace fabricor::cli {

// fabricor-cli check PROJECT: both documents through the editors' confirm checks, every problem
// listed; exit 1 when there is any.
int CheckCommand(const Arguments& args, std::ostream& out, std::ostream& err, TerminalProgress&);

} // namespace fabricor::cli
