#include "base/atomic_file.h"

#include "base/regular_file.h"
#include "base/run_temporaries.h"
#include "platform/files.h"

#include <cerrno>
#include <cstring>
#include <optional>

namespace fabricor {
namespace {

// How much of a file is written before the disk is asked to take it (see Write).
constexpr long long kWriteBehindBytes = 4 << 20;

class SystemFiles final : public FileOutput {
public:
    long long Write(int fd, const char* bytes, size_t size) override {
        return platform::WriteTo(fd, bytes, size);
    }
};

// Why a save may not replace what is at `target`, or Ok when it may. Only a regular file is
// ever replaced: a FIFO, a device, a socket or a folder, or a link to one, is refused as the
// readers refuse it. A read-only file is not replaced behind the user's back either: the
// platform's own writers refuse it, so do we. A link to a regular file that may be written is
// replaced itself, never followed; a link that leads nowhere too. `existing` tells what the
// target is, when there is one.
Status RefusalToReplace(const std::string& target, std::optional<platform::FileStatus>& existing) {
    existing.reset();
    platform::FileStatus followed;
    if (platform::StatusOfName(target, followed) != 0)
        return Status::Ok();
    if (followed.kind != platform::FileKind::Regular)
        return Status::Error(StatusCode::SystemError, target, NotRegularFileText(followed.kind));
    existing = followed;
    if (!followed.writable)
        return Status::System(target, EACCES);
    return Status::Ok();
}

} // namespace

FileOutput& SystemFileOutput() {
    static SystemFiles files;
    return files;
}

AtomicFileWriter::AtomicFileWriter(std::string target, FileOutput& output)
    : target_(std::move(target)), output_(output) {}

AtomicFileWriter::AtomicFileWriter(const std::filesystem::path& target, FileOutput& output)
    : target_(platform::Utf8Name(target)), output_(output) {}

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
    written_ = onTheWay_ = 0;
    // Refused now rather than after the whole file was written.
    std::optional<platform::FileStatus> existing;
    if (auto refusal = RefusalToReplace(target_, existing); !refusal)
        return refusal;
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
        long long written = output_.Write(fd_, bytes.data(), bytes.size());
        if (written <= 0)
            return Fail(target_, written < 0 ? errno : EIO);
        bytes.remove_prefix(static_cast<size_t>(written));
        written_ += written;
    }
    // A large file goes to the disk while the rest of it is made, rather than all at once when
    // Commit flushes it: the flush then waits for the last piece only.
    if (written_ - onTheWay_ >= kWriteBehindBytes) {
        platform::StartWritingToDisk(fd_, onTheWay_, written_ - onTheWay_);
        onTheWay_ = written_;
    }
    return Status::Ok();
}

Status AtomicFileWriter::Commit() {
    if (fd_ < 0)
        return Status::System(target_, EBADF);
    std::optional<platform::FileStatus> existing;
    if (auto refusal = RefusalToReplace(target_, existing); !refusal) {
        Abort();
        return refusal;
    }
    // The new file keeps the permissions of the one it replaces: a document only its owner may
    // read never becomes readable by everyone by being saved. Where the file system has no
    // permissions to set (a shared drive), the save goes on.
    if (existing)
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

Status WriteFileAtomically(const std::string& target, std::string_view bytes, FileOutput& output) {
    AtomicFileWriter writer(target, output);
    if (auto status = writer.Open(); !status)
        return status;
    if (auto status = writer.Write(bytes); !status)
        return status;
    return writer.Commit();
}

Status WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                           FileOutput& output) {
    return WriteFileAtomically(platform::Utf8Name(target), bytes, output);
}

} // namespace fabricor
