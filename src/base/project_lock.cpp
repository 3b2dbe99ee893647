#include "base/project_lock.h"

#include "base/folders.h"
#include "base/run_temporaries.h"
#include "platform/file_lock.h"
#include "platform/files.h"

#include <mutex>
#include <thread>
#include <vector>

namespace fabricor {
namespace {

// The locks this process holds, by file identity, so that an inner Acquire of the same project
// nests instead of waiting for itself (the lock excludes separate opens even within one process).
struct Held {
    platform::FileIdentity identity;
    int fd = -1;
    int depth = 0;
};
std::mutex heldMutex;
std::vector<Held> held;

std::string WithoutTrailingSeparators(std::string folder) {
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == kSeparator))
        folder.pop_back();
    return folder;
}

} // namespace

ProjectUpdateLock ProjectUpdateLock::Acquire(const std::string& projectFolder,
                                             std::chrono::milliseconds wait) {
    ProjectUpdateLock lock;
    if (projectFolder.empty())
        return lock; // no project: "/bin" is nobody's bin folder
    const std::string folder = WithoutTrailingSeparators(projectFolder);
    const ProjectFiles files(folder);
    const std::string bin = files.BinFolder();
    int fd = platform::OpenLockFile(files.Lock());
    if (fd < 0)
        return lock;
    const platform::FileIdentity identity = platform::IdentityOf(fd);
    {
        std::lock_guard<std::mutex> guard(heldMutex);
        for (size_t i = 0; i < held.size(); ++i) {
            if (held[i].fd >= 0 && held[i].identity == identity) {
                ++held[i].depth;
                lock.holder_ = static_cast<int>(i);
                platform::CloseFile(fd); // closing another open of the file keeps the lock
                return lock;
            }
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const platform::LockAttempt attempt = platform::TryLockExclusive(fd);
        if (attempt == platform::LockAttempt::Taken)
            break;
        if (attempt == platform::LockAttempt::Unsupported) {
            // A file system without locks: go on as before there was a lock.
            platform::CloseFile(fd);
            return lock;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            platform::CloseFile(fd);
            lock.refused_ = true;
            lock.message_ = folder + ": " + kProjectBeingUpdated +
                            " by another run (Update Device or fabricor-cli); try again once it "
                            "has finished";
            return lock;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    {
        std::lock_guard<std::mutex> guard(heldMutex);
        size_t i = 0;
        while (i < held.size() && held[i].fd >= 0)
            ++i;
        if (i == held.size())
            held.emplace_back();
        held[i] = Held{identity, fd, 1};
        lock.holder_ = static_cast<int>(i);
    }
    // Whatever an interrupted run left: nobody else can be updating this project now, and a
    // temporary of a save that still runs is kept by its owner's process id.
    RemoveStaleTemporaries(folder);
    RemoveStaleTemporaries(bin);
    // The merge's staging file exists only while a merge runs, and none runs now.
    platform::RemoveFile(files.Staging());
    return lock;
}

ProjectUpdateLock::ProjectUpdateLock(ProjectUpdateLock&& other) noexcept
    : holder_(other.holder_), refused_(other.refused_), message_(std::move(other.message_)) {
    other.holder_ = -1;
}

ProjectUpdateLock& ProjectUpdateLock::operator=(ProjectUpdateLock&& other) noexcept {
    if (this != &other) {
        Release();
        holder_ = other.holder_;
        refused_ = other.refused_;
        message_ = std::move(other.message_);
        other.holder_ = -1;
    }
    return *this;
}

ProjectUpdateLock::~ProjectUpdateLock() {
    Release();
}

void ProjectUpdateLock::Release() {
    if (holder_ < 0)
        return;
    std::lock_guard<std::mutex> guard(heldMutex);
    Held& entry = held[static_cast<size_t>(holder_)];
    if (--entry.depth == 0) {
        platform::CloseFile(entry.fd); // the last descriptor of this open: the lock goes with it
        entry = Held{};
    }
    holder_ = -1;
}

} // namespace fabricor
