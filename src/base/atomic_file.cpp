#include "base/atomic_file.h"

#include "base/run_temporaries.h"
#include "platform/files.h"

#include <cerrno>
#include <cstring>
#include <optional>

namespace fabricor {
namespace {

class SystemFiles final : public FileOutput {
public:
    long long Write(int fd, const char* bytes, size_t size) override {
        return platform::WriteTo(fd, bytes, size);
    }
};

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
        long long written = output_.Write(fd_, bytes.data(), bytes.size());
        if (written <= 0)
            return Fail(target_, written < 0 ? errno : EIO);
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
