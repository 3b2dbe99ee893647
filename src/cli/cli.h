#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace fabricor::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

using Arguments = std::vector<std::string>;

class TerminalProgress;

// A command gets the words after its name and writes only to the streams and the progress bar
// it is given, so it runs the same in a terminal and in a test.
using CommandFunction = int (*)(const Arguments& args, std::ostream& out, std::ostream& err,
                                TerminalProgress& progress);

struct Command {
    const char* name;
    const char* summary; // one line for the program's help
    CommandFunction run;
};

// Every command the program knows, in the order its help lists them.
const std::vector<Command>& Commands();

// The whole program without its name: dispatches to a command, answers --help. main() hands in
// the bar for stderr; without one, no bar is ever drawn.
int RunCli(const Arguments& args, std::ostream& out, std::ostream& err, TerminalProgress& progress);
int RunCli(const Arguments& args, std::ostream& out, std::ostream& err);

int BuildCommand(const Arguments& args, std::ostream& out, std::ostream& err,
                 TerminalProgress& progress);
int UpdateCommand(const Arguments& args, std::ostream& out, std::ostream& err,
                  TerminalProgress& progress);
// The same, waiting `lockWait` rather than kProjectLockWait for another update of the project.
int UpdateCommand(const Arguments& args, std::ostream& out, std::ostream& err,
                  TerminalProgress& progress, std::chrono::milliseconds lockWait);
int DecodeCommand(const Arguments& args, std::ostream& out, std::ostream& err, TerminalProgress&);
int VerifyCommand(const Arguments& args, std::ostream& out, std::ostream& err, TerminalProgress&);
int DiffCommand(const Arguments& args, std::ostream& out, std::ostream& err, TerminalProgress&);
int ReportCommand(const Arguments& args, std::ostream& out, std::ostream& err, TerminalProgress&);
int FoldersCommand(const Arguments& args, std::ostream& out, std::ostream& err, TerminalProgress&);

} // namespace fabricor::cli
