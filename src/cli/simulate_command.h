#pragma once

#include "cli/cli.h"

namespace fabricor::cli {

// fabricor-cli simulate: the PC plays the RTU devices of the project's table on a serial line,
// for the gateway on the other end. Serves until SIGINT or SIGTERM, then prints its tallies. A
// build that cannot play them lists it the same way.
inline constexpr const char* kSimulateSummary =
    "play the RTU devices of PROJECT's table on a serial line, for the gateway";
inline constexpr const char* kSimulateUsage =
    "simulate PROJECT --serial DEVICE [--values FILE.csv] [--silent DEVICES] [--verbose]";

} // namespace fabricor::cli
