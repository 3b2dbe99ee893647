#pragma once

#include "platform/process_info.h"

#include <filesystem>
#include <optional>
#include <string>

namespace fabricor {

// The temporary files of this run (a save's "<.name>.tmp<pid>-XXXXXX", the merge's staging
// file) are listed in a fixed table while they exist, so that an interruption (Ctrl-C, SIGTERM,
// a closed terminal) can remove them before the process ends. The owner's process id in the
// name tells, after a kill -9 or a power cut, whether a temporary's owner still runs.

// Creates "<folder>/.<name>.tmp<pid>-XXXXXX" beside `target` (UTF-8) exclusively, only its owner
// may use it, listed as this run's until ForgetRunTemporary(slot). Returns the descriptor, or -1
// with errno set.
int CreateRunTemporary(const std::string& target, std::string& path, int& slot);

// Lists an existing path as this run's; -1 when the table is full (the file is then only left
// to the next update's clean-up).
int RememberRunTemporary(const std::string& path);
// Call once the file is gone or has been renamed into place.
void ForgetRunTemporary(int& slot);

// Remembers a path for the lifetime of the object.
class RunTemporary {
public:
    explicit RunTemporary(const std::string& path) : slot_(RememberRunTemporary(path)) {}
    ~RunTemporary() { ForgetRunTemporary(slot_); }
    RunTemporary(const RunTemporary&) = delete;
    RunTemporary& operator=(const RunTemporary&) = delete;

private:
    int slot_;
};

// SIGHUP, SIGINT, SIGQUIT, SIGTERM and SIGPIPE remove this run's temporaries, then end the
// process by the same signal (so the caller sees the conventional status). A signal that was
// ignored when the program started stays ignored.
void InstallInterruptCleanup();

// The process that made a temporary, from its name; nothing for any other name.
std::optional<platform::ProcessId> TemporaryOwner(const std::string& fileName);

// Removes the temporaries in `folder` whose owner no longer runs; returns how many.
int RemoveStaleTemporaries(const std::string& folder);

} // namespace fabricor
