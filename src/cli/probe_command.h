#pragma once

#include "cli/cli.h"

namespace fabricor::cli {

// fabricor-cli probe: reads every row of the table through the device (or the software gateway)
// and says, per device, why rows fail. Never writes. A build without libmodbus lists it the same
// way.
inline constexpr const char* kProbeSummary =
    "read every row of PROJECT's table through the device and say why rows fail";
inline constexpr const char* kProbeUsage =
    "probe PROJECT [--host HOST[:PORT]] [--rows LIST] [--repeat N] [--interval MS] "
    "[--timeout MS] [--format text|csv|json]";

} // namespace fabricor::cli
