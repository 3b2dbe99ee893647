#include "base/project_lock.h"

#include "base/run_temporaries.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fabricor {
namespace {

// The locks this process holds, by file identity, so that an inner Acquire of the same project
// nests instead of waiting for itself (flock excludes separate opens even within one process).
struct Held {
    dev_t device = 0;
    ino_t inode = 0;
    int fd = -1;
    int depth = 0;
};
std::mutex heldMutex;
std::vector<Held> held;

std::string WithoutTrailingSeparators(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

int OpenLockFile(const std::string& path) {
    // Never through a link, never blocking on something that is not a file.
    const int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | flags, 0666);
    if (fd < 0 && errno == EACCES)
        fd = ::open(path.c_str(), O_RDONLY | flags); // another user's lock file locks as well
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
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
    int fd = OpenLockFile(files.Lock());
    if (fd < 0)
        return lock;
    struct stat info {};
    ::fstat(fd, &info);
    {
        std::lock_guard<std::mutex> guard(heldMutex);
        for (size_t i = 0; i < held.size(); ++i) {
            if (held[i].fd >= 0 && held[i].device == info.st_dev && held[i].inode == info.st_ino) {
                ++held[i].depth;
                lock.holder_ = static_cast<int>(i);
                ::close(fd); // closing another open of the file keeps the flock
                return lock;
            }
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            break;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK) {
            // A file system without locks: go on as before there was a lock.
            ::close(fd);
            return lock;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::close(fd);
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
        held[i] = Held{info.st_dev, info.st_ino, fd, 1};
        lock.holder_ = static_cast<int>(i);
    }
    // Whatever an interrupted run left: nobody else can be updating this project now, and a
    // temporary of a save that still runs is kept by its owner's process id.
    RemoveStaleTemporaries(folder);
    RemoveStaleTemporaries(bin);
    // The merge's staging file exists only while a merge runs, and none runs now.
    ::unlink(files.Staging().c_str());
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
        ::close(entry.fd); // the last descriptor of this open: the flock goes with it
        entry = Held{};
    }
    holder_ = -1;
}

} // namespace fabricor
