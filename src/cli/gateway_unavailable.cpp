// The gateway and simulate commands of a build without the software gateway (the Windows
// programs: libmodbus is not available for them). They are listed as everywhere and say so.
#include "cli/gateway_command.h"
#include "cli/simulate_command.h"

#include <ostream>

namespace fabricor::cli {

int GatewayCommand(const Arguments&, std::ostream&, std::ostream& err, TerminalProgress&) {
    err << "fabricor-cli gateway: not part of this build (it is built without libmodbus); the "
           "gateway runs with the Linux build of fabricor-cli\n";
    return kExitFailure;
}

int SimulateCommand(const Arguments&, std::ostream&, std::ostream& err, TerminalProgress&) {
    err << "fabricor-cli simulate: not part of this build (it is built without libmodbus); it "
           "runs with the Linux build of fabricor-cli\n";
    return kExitFailure;
}

} // namespace fabricor::cli
