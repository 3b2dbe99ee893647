#pragma once

#include "cli/cli.h"

namespace fabricor::cli {

// fabricor-cli simulate PROJECT --serial DEVICE [--values FILE.csv] [--silent DEVICES]
// [--verbose]: the PC plays the RTU devices of the project's table on a serial line, for the
// gateway on the other end. Serves until SIGINT or SIGTERM, then prints its tallies.
int SimulateCommand(const Arguments& args, std::ostream& out, std::ostream& err, TerminalProgress&);

} // namespace fabricor::cli
