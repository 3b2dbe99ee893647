// The gateway and probe commands of a build without the software gateway (FABRICOR_WITH_GATEWAY off, where
// libmodbus is not available). They are listed as everywhere and says so when run.
#include "cli/gateway_command.h"
#include "cli/probe_command.h"

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

const Command kProbeCommand = {
    .name = "probe",
    .summary = kProbeSummary,
    .usage = kProbeUsage,
    .help = nullptr, // every word, --help too, gets the same answer
    .positionals = {0, kAnyNumber},
    .run =
        [](const ParsedArguments&, std::ostream&, std::ostream& err, TerminalProgress&) {
            err << "fabricor-cli probe: not part of this build (it is built without libmodbus)\n";
            return kExitFailure;
        },
};

} // namespace fabricor::cli
