// The probe of a build without libmodbus (the Windows programs), listed as everywhere.
#include "cli/probe_command.h"

#include <ostream>

namespace fabricor::cli {

int ProbeCommand(const Arguments&, std::ostream&, std::ostream& err, TerminalProgress&) {
    err << "fabricor-cli probe: not part of this build (it is built without libmodbus); the "
           "probe runs with the Linux build of fabricor-cli\n";
    return kExitFailure;
}

} // namespace fabricor::cli
