#pragma once

#include "cli/cli.h"

namespace fabricor::cli {

// fabricor-cli gateway SOURCE --serial DEVICE [--listen ADDRESS:PORT] [--verbose]: the PC plays
// the device, Modbus TCP slave on one side and RTU master on the other, through the project's
// table (SOURCE: a project folder). Serves until SIGINT or SIGTERM, then prints its counters.
int GatewayCommand(const Arguments& args, std::ostream& out, std::ostream& err);

} // namespace fabricor::cli
