#include "base/atomic_file.h"

#include "base/run_temporaries.h"
#include "platform/files.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>

namespace fabricor {
namespace {

std::atomic<long long> failAfterBytes{-1};
std::atomic<long long> bytesWrittenSinceHook{0};

// Why a save may not replace what is at `target` (an errno value), or 0 when it may. A read-only
// file is not replaced behind the user's back: the platform's own writers refuse it, so do we.
// A link is replaced itself, never followed, except that a link to a read-only file is refused.
// `existing` tells what the target is, when there is one.
int RefusalToReplace(const std::string& target, std::optional<platform::FileStatus>& existing) {
    existing.reset();
    platform::FileStatus entry;
    if (platform::StatusOfName(target, entry, false) != 0)
        return 0;
    if (entry.kind == platform::FileKind::Folder)
        return EISDIR;
    platform::FileStatus followed;
    if (platform::StatusOfName(target, followed) != 0)
        return 0;
    existing = followed;
    if (!followed.writable)
        return EACCES;
    return 0;
}

} // namespace

std::string SystemErrorText(int error) {
    return std::strerror(error);
}

void AtomicFileWriter::SetFailAfterBytesForTesting(long long bytes) {
    failAfterBytes = bytes;
    bytesWrittenSinceHook = 0;
}

AtomicFileWriter::AtomicFileWriter(std::string target) : target_(std::move(target)) {}

AtomicFileWriter::AtomicFileWriter(const std::filesystem::path& target)
    : target_(platform::Utf8Name(target)) {}

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
    std::optional<platform::FileStatus> existing;
    if (int refusal = RefusalToReplace(target_, existing))
        return Status::System(target_, refusal);
    std::string temporary;
    fd_ = CreateRunTemporary(target_, temporary, temporarySlot_);
    if (fd_ < 0) {
        int error = errno;
        return Status::System(target_, error);
    }
    temporary_ = platform::PathOfUtf8(temporary);
    temporaryName_ = temporary;
    // The temporary is made private; a document should get the ordinary permissions.
    platform::MakeDocument(fd_);
    return Status::Ok();
}

Status AtomicFileWriter::Write(std::string_view bytes) {
    if (fd_ < 0)
        return Status::System(target_, EBADF);
    while (!bytes.empty()) {
        size_t chunk = bytes.size();
        long long limit = failAfterBytes.load();
        if (limit >= 0) {
            long long room = limit - bytesWrittenSinceHook.load();
            if (room <= 0)
                return Fail(target_, ENOSPC);
            chunk = std::min<size_t>(chunk, static_cast<size_t>(room));
        }
        long long written = platform::WriteTo(fd_, bytes.data(), chunk);
        if (written < 0)
            return Fail(target_, errno);
        bytesWrittenSinceHook += written;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return Status::Ok();
}

Status AtomicFileWriter::Commit() {
    if (fd_ < 0)
        return Status::System(target_, EBADF);
    std::optional<platform::FileStatus> existing;
    if (int refusal = RefusalToReplace(target_, existing))
        return Fail(target_, refusal);
    // The new file keeps the permissions of the one it replaces: a document only its owner may
    // read never becomes readable by everyone by being saved. Where the file system has no
    // permissions to set (a shared drive), the save goes on.
    if (existing && existing->kind == platform::FileKind::Regular)
        platform::KeepAttributes(fd_, *existing);
    if (int error = platform::FlushToDisk(fd_))
        return Fail(target_, error);
    int fd = fd_;
    fd_ = -1;
    if (int error = platform::CloseFile(fd))
        return Fail(target_, error);
    if (int error = platform::RenameOver(temporaryName_, target_))
        return Fail(target_, error);
    committed_ = true;
    temporary_.clear();
    temporaryName_.clear();
    ForgetRunTemporary(temporarySlot_);
    return Status::Ok();
}

void AtomicFileWriter::Abort() {
    if (fd_ >= 0) {
        platform::CloseFile(fd_);
        fd_ = -1;
    }
    if (!temporaryName_.empty()) {
        platform::RemoveFile(temporaryName_);
        temporary_.clear();
        temporaryName_.clear();
    }
    ForgetRunTemporary(temporarySlot_);
}

Status WriteFileAtomically(const std::string& target, std::string_view bytes) {
    AtomicFileWriter writer(target);
    if (auto status = writer.Open(); !status)
        return status;
    if (auto status = writer.Write(bytes); !status)
        return status;
    return writer.Commit();
}

Status WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes) {
    return WriteFileAtomically(platform::Utf8Name(target), bytes);
}

} // namespace fabricor
