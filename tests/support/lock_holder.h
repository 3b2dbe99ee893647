#pragma once

#include <filesystem>
#include <stdexcept>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fabricor::test_support {

// Another process holding an exclusive flock on a file, as a second update would, until
// Release() or the end of the object.
class LockHolder {
public:
    explicit LockHolder(const std::filesystem::path& file) {
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(release_) != 0)
            throw std::runtime_error("pipe failed");
        child_ = ::fork();
        if (child_ == 0) {
            int fd = ::open(file.c_str(), O_RDWR | O_CREAT, 0644);
            char byte = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
            (void)!::write(ready[1], &byte, 1);
            (void)!::read(release_[0], &byte, 1);
            ::_exit(0);
        }
        char byte = 'n';
        held_ = child_ > 0 && ::read(ready[0], &byte, 1) == 1 && byte == 'y';
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~LockHolder() {
        Release();
        ::close(release_[0]);
        ::close(release_[1]);
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    bool held() const { return held_; }
    void Release() {
        if (child_ <= 0)
            return;
        (void)!::write(release_[1], "x", 1);
        ::waitpid(child_, nullptr, 0);
        child_ = 0;
    }

private:
    int release_[2] = {-1, -1};
    pid_t child_ = 0;
    bool held_ = false;
};

// A process id that no process has: a child's, once it has ended and been collected.
inline pid_t EndedProcessId() {
    pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

} // namespace fabricor::test_support
