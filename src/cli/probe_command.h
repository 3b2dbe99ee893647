#pragma once

#include "cli/cli.h"

namespace fabricor::cli {

// fabricor-cli probe PROJECT [--host HOST[:PORT]] [--rows LIST] [--repeat N] [--interval MS]
// [--timeout MS] [--format text|csv|json]: reads every row of the table through the device (or
// the software gateway) and says, per device, why rows fail. Never writes.
int ProbeCommand(const Arguments& args, std::ostream& out, std::ostream& err, TerminalProgress&);

} // namespace fabricor::cli
