#include "cli/check_command.h"

#include "base/folders.h"
#include "cli/options.h"
#include "rules/project_check.h"

#include <ostream>

namespace fabricor::cli {

namespace {

void CheckHelp(std::ostream& out) {
    out << "Runs PROJECT/pargen.xml and PROJECT/var.xml through the checks that confirming\n"
           "the General Parameter and Set Translate Table dialogs applies, and lists every\n"
           "problem on stdout, one line each, for example\n"
           "  var.xml row 12 Data Type: Error!! Data Type must be Holding Register or Input Register. \n"
           "A missing or malformed document, and a var.xml row that stops the table's loading\n"
           "early, are problems too. Nothing is written.\n"
           "\n"
           "After the problems come the warnings of the table analysis, lines beginning\n"
           "'warning: ': what the editor accepts but may be a mistake (TCP ranges of one data\n"
           "type that overlap, a range past 65535, N° Point 0, two rows that read the same RTU\n"
           "device, data type and addresses, a full table).\n"
           "\n"
           "Options:\n"
           "  --strict   warnings count as problems for the exit status\n"
           "  --help     show this help\n"
           "\n"
           "Exit status: 0 when the project would save cleanly (warnings aside); 1 when there\n"
           "is any problem, or any warning with --strict; 2 on a usage error.\n";
}

int RunCheck(const ParsedArguments& parsed, std::ostream& out, std::ostream& err,
             TerminalProgress&) {
    const std::string& project = parsed.positional.front();
    if (!FolderExists(project)) {
        err << "fabricor-cli check: " << project << " is not a folder\n";
        return kExitFailure;
    }
    const auto check = CheckProject(project);
    for (const auto& line : check.problems)
        out << line << "\n";
    for (const auto& line : check.warnings)
        out << "warning: " << line << "\n";
    const bool strict = parsed.flags.count("strict") > 0;
    return check.problems.empty() && (!strict || check.warnings.empty()) ? kExitOk : kExitFailure;
}

} // namespace

const Command kCheckCommand = {
    .name = "check",
    .summary = "list every problem the editors would refuse in PROJECT's documents",
    .usage = "check PROJECT [--strict]",
    .help = CheckHelp,
    .flagOptions = {"strict"},
    .positionals = {1, 1, "PROJECT is missing", "only one PROJECT is checked"},
    .run = RunCheck,
};

} // namespace fabricor::cli
