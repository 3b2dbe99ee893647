#include "cli/cli.h"

#include "cli/options.h"
#include "cli/terminal_progress.h"

#include "base/version.h"

#include <algorithm>
#include <ostream>
#include <sstream>
#include <string_view>

namespace fabricor::cli {

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        kBuildCommand,    kUpdateCommand, kCheckCommand,  kTableCommand,
        kGatewayCommand,  kSimulateCommand, kProbeCommand, kDecodeCommand,
        kVerifyCommand,   kDiffCommand,     kReportCommand, kFoldersCommand,
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
              "device on the bench, between Modbus TCP and an RTU line, the field devices on\n"
              "that line, and probes a device's table row by row.\n"
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

void CommandHelp(const Command& command, std::ostream& out) {
    out << UsageLines(command) << "\n";
    command.help(out);
}

// Text for roff: a backslash is written \e, and a line that starts with a dot or a quote would
// be taken for a request.
std::string RoffText(const std::string& text) {
    std::string roff;
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == '.' || c == '\''))
            roff += "\\&";
        if (c == '\\')
            roff += "\\e";
        else
            roff += c;
        lineStart = c == '\n';
    }
    return roff;
}

} // namespace

std::string UsageLines(const Command& command) {
    std::string lines;
    std::string_view forms = command.usage;
    while (!forms.empty()) {
        const size_t end = std::min(forms.find('\n'), forms.size());
        lines += (lines.empty() ? "Usage: fabricor-cli " : "       fabricor-cli ");
        lines += forms.substr(0, end);
        lines += "\n";
        forms.remove_prefix(std::min(end + 1, forms.size()));
    }
    return lines;
}

int UsageError(const Command& command, std::ostream& err, const std::string& problem) {
    err << "fabricor-cli " << command.name << ": " << problem << "\n"
        << UsageLines(command) << "Run 'fabricor-cli " << command.name << " --help' for more.\n";
    return kExitUsage;
}

int RunCommand(const Command& command, const Arguments& args, std::ostream& out,
               std::ostream& err, TerminalProgress& progress) {
    if (!command.help) {
        ParsedArguments words;
        words.positional = args;
        return command.run(words, out, err, progress);
    }
    const ParsedArguments parsed =
        ParseArguments(args, command.valueOptions, command.flagOptions);
    if (parsed.help && parsed.error.empty()) {
        CommandHelp(command, out);
        return kExitOk;
    }
    if (!parsed.error.empty())
        return UsageError(command, err, parsed.error);
    const Positionals& words = command.positionals;
    const size_t count = parsed.positional.size();
    if (count < words.least)
        return UsageError(command, err, words.missing);
    if (words.most != kAnyNumber && count > words.most)
        return UsageError(command, err,
                          words.extra ? std::string(words.extra)
                                      : "unexpected argument '" + parsed.positional[words.most] +
                                            "'");
    return command.run(parsed, out, err, progress);
}

void WriteManualPage(std::ostream& out, const std::string& version) {
    out << ".TH FABRICOR-CLI 1 \"\" \"fabricor-cli " << version << "\" \"User Commands\"\n"
        << ".SH NAME\n"
           "fabricor-cli \\- build, check and read back SW30418 gateway configurations without "
           "windows\n"
           ".SH SYNOPSIS\n.B fabricor-cli\n.I COMMAND\n.RI [ ARGUMENTS ]\n.br\n"
           ".B fabricor-cli\n.BR \\-\\-help \" | \" \\-\\-version\n"
           ".SH DESCRIPTION\n.nf\n";
    // The program's help without its usage line and the blank line after it.
    std::ostringstream top;
    ProgramHelp(top);
    std::string description = top.str();
    for (int line = 0; line < 2; ++line)
        description.erase(0, description.find('\n') + 1);
    out << RoffText(description) << ".fi\n.SH COMMANDS\n";
    for (const auto& command : Commands()) {
        out << ".SS " << command.name << "\n.nf\n";
        if (command.help) {
            std::ostringstream help;
            CommandHelp(command, help);
            out << RoffText(help.str());
        }
        out << ".fi\n";
    }
    out << ".SH VERSION\nfabricor-cli " << version << "\n"
        << ".SH SEE ALSO\nThe program with windows, \\fBfabricor\\fR, and "
           "/usr/share/doc/fabricor/README.md.\n";
}

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
            return RunCommand(command, Arguments(args.begin() + 1, args.end()), out, err,
                              progress);
    err << "fabricor-cli: unknown command '" << name << "'\n"
        << "Run 'fabricor-cli --help' for the list of commands.\n";
    return kExitUsage;
}

} // namespace fabricor::cli
