#include "cli/cli.h"

#include "cli/check_command.h"
#include "cli/gateway_command.h"
#include "cli/probe_command.h"
#include "cli/table_command.h"
#include "cli/terminal_progress.h"

#include "base/version.h"

#include <ostream>

namespace fabricor::cli {

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"build", "build PROJECT/bin/bank1.bin and bankg.c from the project's documents",
         BuildCommand},
        {"update", "build, then merge the image into the base firmware as New_SX30418.sx",
         UpdateCommand},
        {"check", "list every problem the editors would refuse in PROJECT's documents",
         CheckCommand},
        {"table", "export PROJECT's translate table as CSV, or import a CSV file into it",
         TableCommand},
        {"gateway", "serve Modbus TCP through SOURCE's table to an RTU line on the bench",
         GatewayCommand},
        {"probe", "read every row of PROJECT's table through the device and say why rows fail",
         ProbeCommand},
        {"decode", "read the configuration back from a firmware or an image into a project",
         DecodeCommand},
        {"verify", "compare PROJECT with the configuration inside its firmware, field by field",
         VerifyCommand},
        {"diff", "compare two projects, firmwares or images, field by field", DiffCommand},
        {"report", "write a printable HTML commissioning report of PROJECT", ReportCommand},
        {"folders", "print where the programs keep MASTER, PROJECTS and their settings",
         FoldersCommand},
    };
    return commands;
}

namespace {

void ProgramHelp(std::ostream& stream) {
    stream << "Usage: fabricor-cli COMMAND [ARGUMENTS]\n"
              "\n"
              "Builds a project's configuration image and merges it into the base firmware,\n"
              "without windows: the same work as the Update Device command. Checks a project's\n"
              "documents as the General Parameter and Set Translate Table dialogs do. Plays the\n"
              "device on the bench, between Modbus TCP and an RTU line, and probes a device's\n"
              "table row by row.\n"
              "\n"
              "Commands:\n";
    for (const auto& command : Commands()) {
        std::string name = command.name;
        name.resize(std::max<size_t>(name.size() + 2, 10), ' ');
        stream << "  " << name << command.summary << "\n";
    }
    stream << "\n"
              "Run 'fabricor-cli COMMAND --help' for a command's arguments;\n"
              "'fabricor-cli --version' prints the release.\n"
              "Exit status: 0 done, 1 failed, 2 usage error.\n";
}

} // namespace

int RunCli(const Arguments& args, std::ostream& out, std::ostream& err) {
    TerminalProgress none(err, /*terminal=*/false);
    return RunCli(args, out, err, none);
}

int RunCli(const Arguments& args, std::ostream& out, std::ostream& err,
           TerminalProgress& progress) {
    if (args.empty()) {
        ProgramHelp(err);
        return kExitUsage;
    }
    const std::string& name = args.front();
    if (name == "--help" || name == "-h" || name == "help") {
        ProgramHelp(out);
        return kExitOk;
    }
    if (name == "--version") {
        out << "fabricor-cli " << ProgramVersion() << "\n";
        return kExitOk;
    }
    if (name.size() > 1 && name.front() == '-') {
        err << "fabricor-cli: unknown option '" << name << "'\n\n";
        ProgramHelp(err);
        return kExitUsage;
    }
    for (const auto& command : Commands())
        if (name == command.name)
            return command.run(Arguments(args.begin() + 1, args.end()), out, err, progress);
    err << "fabricor-cli: unknown command '" << name << "'\n"
        << "Run 'fabricor-cli --help' for the list of commands.\n";
    return kExitUsage;
}

} // namespace fabricor::cli
