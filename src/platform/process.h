#pragma once

#include <string>

namespace fabricor {

// Starts `program` (a path) with one argument passed as these exact bytes, in `workingFolder`
// (empty: the caller's), detached: nobody waits for it and it outlives the caller. False when it
// could not be started (no such program or folder, not executable).
bool StartDetachedProgram(const std::string& program, const std::string& argument,
                          const std::string& workingFolder);

} // namespace fabricor
