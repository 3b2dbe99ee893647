#pragma once

#include "cli/cli.h"

namespace fabricor::cli {

// fabricor-cli gateway: the PC plays the device, Modbus TCP slave on one side and RTU master on
// the other, through the project's table (SOURCE: a project folder). Serves until SIGINT or
// SIGTERM, then prints its counters. A build without the gateway lists it the same way.
inline constexpr const char* kGatewaySummary =
    "serve Modbus TCP through SOURCE's table to an RTU line on the bench";
inline constexpr const char* kGatewayUsage =
    "gateway SOURCE --serial DEVICE [--listen ADDRESS:PORT] [--log FILE] [--verbose]";

} // namespace fabricor::cli
