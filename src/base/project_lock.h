#pragma once

#include "base/project_files.h"

#include <chrono>
#include <string>

namespace fabricor {

// What a refused update says; the whole message names the project folder too.
inline constexpr const char* kProjectBeingUpdated = "project is being updated";

// How long an update waits for another one of the same project before it gives up.
inline constexpr std::chrono::milliseconds kProjectLockWait{5000};

// One update of a project at a time, whichever program runs it: an advisory lock (flock) on
// bin/.update.lock, held from the build to the end of the merge, so no run ever reads a
// bank1.bin or a Bin.sx that another one is replacing or removing. Taken afresh, it also
// removes the temporaries that interrupted runs left in the project folder and in bin.
// Within one process it nests: the update dialog's merge runs under the main window's lock.
class ProjectUpdateLock {
public:
    // Waits up to `wait` for another run to finish. A project whose bin folder cannot hold the
    // lock file (missing, read-only) is not locked: nothing of the update can be written there
    // either, and the writes report that themselves.
    static ProjectUpdateLock Acquire(const std::string& projectFolder,
                                     std::chrono::milliseconds wait = kProjectLockWait);

    ProjectUpdateLock(ProjectUpdateLock&& other) noexcept;
    ProjectUpdateLock& operator=(ProjectUpdateLock&& other) noexcept;
    ProjectUpdateLock(const ProjectUpdateLock&) = delete;
    ProjectUpdateLock& operator=(const ProjectUpdateLock&) = delete;
    ~ProjectUpdateLock();

    // Another run held the lock for the whole wait; message() says so.
    bool refused() const { return refused_; }
    const std::string& message() const { return message_; }

private:
    ProjectUpdateLock() = default;
    void Release();

    int holder_ = -1; // index into the process's table of held locks
    bool refused_ = false;
    std::string message_;
};

} // namespace fabricor
