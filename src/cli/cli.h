#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <set>
#include <string>
#include <vector>

namespace fabricor::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

using Arguments = std::vector<std::string>;

class TerminalProgress;
struct ParsedArguments;

// A command gets its words already parsed against its declaration and writes only to the
// streams and the progress bar it is given, so it runs the same in a terminal and in a test.
using CommandRunner = std::function<int(const ParsedArguments& args, std::ostream& out,
                                        std::ostream& err, TerminalProgress& progress)>;

inline constexpr size_t kAnyNumber = static_cast<size_t>(-1);

// How many words a command takes besides its options, and the usage error when there are fewer
// or more.
struct Positionals {
    size_t least = 0;
    size_t most = 0; // kAnyNumber: no limit
    const char* missing = "";
    const char* extra = nullptr; // nullptr: "unexpected argument 'WORD'"
};

// Everything about a command, in one place: the program's help, the command's usage and --help,
// the checks of its options and words, and the manual page all come from this.
struct Command {
    const char* name = "";
    const char* summary = ""; // one line for the program's help
    const char* usage = "";   // the synopsis after "fabricor-cli ", one line per form
    // The --help text after the usage line and a blank line. A command without one takes its
    // words as they come, --help among them (the gateway of a build without it).
    void (*help)(std::ostream& out) = nullptr;
    std::set<std::string> valueOptions = {}; // --name VALUE or --name=VALUE
    std::set<std::string> flagOptions = {};  // --name
    Positionals positionals = {};
    CommandRunner run = {}; // called once the words passed the checks above
};

// The declarations, each beside its command's code; Commands() lists them.
extern const Command kBuildCommand;
extern const Command kUpdateCommand;
extern const Command kCheckCommand;
extern const Command kTableCommand;
extern const Command kGatewayCommand;
extern const Command kSimulateCommand;
extern const Command kProbeCommand;
extern const Command kDecodeCommand;
extern const Command kVerifyCommand;
extern const Command kDiffCommand;
extern const Command kReportCommand;
extern const Command kFoldersCommand;

// Every command the program knows, in the order its help lists them.
const std::vector<Command>& Commands();

// The whole program without its name: dispatches to a command, answers --help. main() hands in
// the bar for stderr; without one, no bar is ever drawn.
int RunCli(const Arguments& args, std::ostream& out, std::ostream& err, TerminalProgress& progress);
int RunCli(const Arguments& args, std::ostream& out, std::ostream& err);

// One command with the words after its name: --help, the option and word checks, then its run.
int RunCommand(const Command& command, const Arguments& args, std::ostream& out,
               std::ostream& err, TerminalProgress& progress);

// Writes the usage error of a command: the problem, the usage, where to find more. Returns
// kExitUsage.
int UsageError(const Command& command, std::ostream& err, const std::string& problem);

// "Usage: fabricor-cli ..." with one line per form of the command.
std::string UsageLines(const Command& command);

// The manual page (roff) of the program, from the same declarations and texts as --help.
void WriteManualPage(std::ostream& out, const std::string& version);

// update, waiting `lockWait` rather than kProjectLockWait for another update of the project.
int UpdateCommand(const Arguments& args, std::ostream& out, std::ostream& err,
                  TerminalProgress& progress, std::chrono::milliseconds lockWait);

} // namespace fabricor::cli
