// The gateway command of a build without the software gateway (FABRICOR_WITH_GATEWAY off, where
// libmodbus is not available). The command is listed as everywhere and says so when run.
#include "cli/gateway_command.h"

#include <ostream>

namespace fabricor::cli {

const Command kGatewayCommand = {
    .name = "gateway",
    .summary = kGatewaySummary,
    .usage = kGatewayUsage,
    .help = nullptr, // every word, --help too, gets the same answer
    .positionals = {0, kAnyNumber},
    .run =
        [](const ParsedArguments&, std::ostream&, std::ostream& err, TerminalProgress&) {
            err << "fabricor-cli gateway: not part of this build (it is built without libmodbus)\n";
            return kExitFailure;
        },
};

} // namespace fabricor::cli
