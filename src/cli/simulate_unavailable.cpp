// The simulate command of a build that cannot play devices on a serial line: without libmodbus,
// or on Windows, where the serial loop waits on a file descriptor. It is listed as everywhere and
// says so when run.
#include "cli/simulate_command.h"

#include <ostream>

namespace fabricor::cli {

const Command kSimulateCommand = {
    .name = "simulate",
    .summary = kSimulateSummary,
    .usage = kSimulateUsage,
    .help = nullptr, // every word, --help too, gets the same answer
    .positionals = {0, kAnyNumber},
    .run =
        [](const ParsedArguments&, std::ostream&, std::ostream& err, TerminalProgress&) {
            err << "fabricor-cli simulate: not part of this build; it runs with the Linux build "
                   "of fabricor-cli\n";
            return kExitFailure;
        },
};

} // namespace fabricor::cli
