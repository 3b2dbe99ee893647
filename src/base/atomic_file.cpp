#include "base/atomic_file.h"

#include "base/run_temporaries.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fabricor {
namespace {

std::atomic<long long> failAfterBytes{-1};
std::atomic<long long> bytesWrittenSinceHook{0};

// Why a save may not replace what is at `target` (an errno value), or 0 when it may. A read-only
// file is not replaced behind the user's back: the platform's own writers refuse it, so do we.
// Mode bits rather than access(): the answer must not depend on running as root.
// A link is replaced itself, never followed, except that a link to a read-only file is refused.
int RefusalToReplace(const std::filesystem::path& target, struct stat& existing) {
    struct stat entry {};
    if (::lstat(target.c_str(), &entry) != 0)
        return 0;
    if (S_ISDIR(entry.st_mode))
        return EISDIR;
    if (::stat(target.c_str(), &existing) != 0)
        return 0;
    if ((existing.st_mode & 0222) == 0)
        return EACCES;
    return 0;
}

} // namespace

std::string SystemErrorText(int error) { return std::strerror(error); }

void AtomicFileWriter::SetFailAfterBytesForTesting(long long bytes) {
    failAfterBytes = bytes;
    bytesWrittenSinceHook = 0;
}

AtomicFileWriter::AtomicFileWriter(std::filesystem::path target) : target_(std::move(target)) {}

AtomicFileWriter::~AtomicFileWriter() {
    if (!committed_)
        Abort();
}

Status AtomicFileWriter::Fail(const std::string& what, int error) {
    Abort();
    return Status::System(what, error);
}

Status AtomicFileWriter::Open() {
    Abort();
    committed_ = false;
    // Refused now rather than after the whole file was written.
    struct stat existing {};
    if (int refusal = RefusalToReplace(target_, existing))
        return Status::System(target_.string(), refusal);
    std::string temporary;
    fd_ = CreateRunTemporary(target_, temporary, temporarySlot_);
    if (fd_ < 0) {
        int error = errno;
        return Status::System(target_.string(), error);
    }
    temporary_ = temporary;
    // mkstemp makes the file private; a document should get the ordinary permissions.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
    return Status::Ok();
}

Status AtomicFileWriter::Write(std::string_view bytes) {
    if (fd_ < 0)
        return Status::System(target_.string(), EBADF);
    while (!bytes.empty()) {
        size_t chunk = bytes.size();
        long long limit = failAfterBytes.load();
        if (limit >= 0) {
            long long room = limit - bytesWrittenSinceHook.load();
            if (room <= 0)
                return Fail(target_.string(), ENOSPC);
            chunk = std::min<size_t>(chunk, static_cast<size_t>(room));
        }
        ssize_t written = ::write(fd_, bytes.data(), chunk);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return Fail(target_.string(), errno);
        }
        bytesWrittenSinceHook += written;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return Status::Ok();
}

Status AtomicFileWriter::Commit() {
    if (fd_ < 0)
        return Status::System(target_.string(), EBADF);
    struct stat existing {};
    if (int refusal = RefusalToReplace(target_, existing))
        return Fail(target_.string(), refusal);
    // The new file keeps the permissions of the one it replaces: a document only its owner may
    // read never becomes readable by everyone by being saved. Where the file system has no
    // permissions to set (a shared drive), the save goes on.
    if (existing.st_mode != 0 && S_ISREG(existing.st_mode))
        (void)::fchmod(fd_, existing.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO));
    if (::fsync(fd_) != 0)
        return Fail(target_.string(), errno);
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        return Fail(target_.string(), errno);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        return Fail(target_.string(), errno);
    committed_ = true;
    temporary_.clear();
    ForgetRunTemporary(temporarySlot_);
    // Make the rename itself durable.
    int dir = ::open(target_.has_parent_path() ? target_.parent_path().c_str() : ".",
                     O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return Status::Ok();
}

void AtomicFileWriter::Abort() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
    ForgetRunTemporary(temporarySlot_);
}

Status WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes) {
    AtomicFileWriter writer(target);
    if (auto status = writer.Open(); !status)
        return status;
    if (auto status = writer.Write(bytes); !status)
        return status;
    return writer.Commit();
}

} // namespace fabricor
