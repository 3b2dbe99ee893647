#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace fabricor::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

using Arguments = std::vector<std::string>;

// A command gets the words after its name and writes only to the streams it is given, so it
// runs the same in a terminal and in a test.
using CommandFunction = int (*)(const Arguments& args, std::ostream& out, std::ostream& err);

struct Command {
    const char* name;
    const char* summary; // one line for the program's help
    CommandFunction run;
};

// Every command the program knows, in the order its help lists them.
const std::vector<Command>& Commands();

// The whole program without its name: dispatches to a command, answers --help.
int RunCli(const Arguments& args, std::ostream& out, std::ostream& err);

// Whether stderr is a terminal that can show a progress bar, and from which size on a base
// firmware is worth one. main() sets it; tests can.
struct ProgressSettings {
    bool terminal = false;
    int64_t minimumBaseBytes = 8 * 1024 * 1024;
};
ProgressSettings& Progress();

int BuildCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int UpdateCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int DecodeCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int VerifyCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int DiffCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int ReportCommand(const Arguments& args, std::ostream& out, std::ostream& err);

} // namespace fabricor::cli
