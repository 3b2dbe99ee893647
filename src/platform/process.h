#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace fabricor {

// Starts `program` (a UTF-8 path) with one argument passed as these exact bytes, in
// `workingFolder` (UTF-8; empty: the caller's), detached: nobody waits for it and it outlives
// the caller. False when it could not be started (no such program or folder, not executable).
// On POSIX the argument is the program's argv[1]; on Windows it is the parameter string, taken
// in the ANSI code page as ShellExecuteA would, which the program reads whole with
// ProgramParameterString() (in the ANSI code page, byte for byte).
bool StartDetachedProgram(const std::string& program, const std::string& argument,
                          const std::string& workingFolder);

// The one parameter string this program was started with: on POSIX argv[1], nothing unless
// there is exactly one argument; on Windows the command line after the program's own name, as
// ShellExecuteA passed it, quotes included (the C runtime's argv would strip them), nothing
// when it is empty.
std::optional<std::string> ProgramParameterString(int argc, char** argv);

} // namespace fabricor
