#include "base/regular_file.h"

#include "base/atomic_file.h"
#include "platform/system_error.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace fabricor {
namespace {

std::string LimitText(uint64_t limit) {
    if (limit >= (uint64_t{1} << 30) && limit % (uint64_t{1} << 30) == 0)
        return std::to_string(limit >> 30) + " GiB";
    if (limit >= (uint64_t{1} << 20) && limit % (uint64_t{1} << 20) == 0)
        return std::to_string(limit >> 20) + " MiB";
    return std::to_string(limit) + " bytes";
}

bool MeansMissing(int error) {
    return error == ENOENT || error == ENOTDIR;
}

} // namespace

std::string FileKindName(platform::FileKind kind) {
    using platform::FileKind;
    switch (kind) {
    case FileKind::Regular:
        return "a regular file";
    case FileKind::Fifo:
        return "a FIFO";
    case FileKind::CharacterDevice:
        return "a character device";
    case FileKind::BlockDevice:
        return "a block device";
    case FileKind::Socket:
        return "a socket";
    case FileKind::Folder:
        return "a folder";
    case FileKind::SymbolicLink:
        return "a symbolic link";
    case FileKind::Other:
        break;
    }
    return "an unknown kind of file";
}

std::string NotRegularFileText(platform::FileKind kind) {
    return "not a regular file (" + FileKindName(kind) + ")";
}

RegularFile::~RegularFile() {
    if (fd_ >= 0)
        platform::CloseFile(fd_);
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)), missing_(other.missing_),
      error_(std::move(other.error_)), size_(other.size_), limit_(other.limit_),
      read_(other.read_) {}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            platform::CloseFile(fd_);
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
        missing_ = other.missing_;
        error_ = std::move(other.error_);
        size_ = other.size_;
        limit_ = other.limit_;
        read_ = other.read_;
    }
    return *this;
}

void RegularFile::Fail(std::string error) {
    error_ = path_ + ": " + std::move(error);
}

RegularFile RegularFile::Open(const std::string& path, uint64_t limit) {
    RegularFile file;
    file.path_ = path;
    file.limit_ = limit;
    auto notRegular = [&](platform::FileKind kind) { file.Fail(NotRegularFileText(kind)); };

    platform::FileStatus named;
    if (int error = platform::StatusOfName(path, named)) {
        file.missing_ = MeansMissing(error);
        file.Fail(platform::SystemErrorText(error));
        return file;
    }
    if (named.kind != platform::FileKind::Regular) {
        notRegular(named.kind);
        return file;
    }
    // Not blocking on the open: a FIFO may have been put in its place since.
    int fd = platform::OpenForReading(path);
    if (fd < 0) {
        int error = errno;
        file.missing_ = MeansMissing(error);
        file.Fail(platform::SystemErrorText(error));
        return file;
    }
    platform::FileStatus opened;
    if (int error = platform::StatusOfOpenFile(fd, opened)) {
        platform::CloseFile(fd);
        file.Fail(platform::SystemErrorText(error));
        return file;
    }
    if (opened.kind != platform::FileKind::Regular) {
        platform::CloseFile(fd);
        notRegular(opened.kind);
        return file;
    }
    if (opened.size > limit) {
        platform::CloseFile(fd);
        file.Fail("larger than " + LimitText(limit) + ", more than such a file ever holds");
        return file;
    }
    file.fd_ = fd;
    file.size_ = opened.size;
    return file;
}

RegularFile RegularFile::Open(const std::filesystem::path& path, uint64_t limit) {
    return Open(platform::Utf8Name(path), limit);
}

long long RegularFile::ReadSome(char* buffer, size_t size) {
    if (fd_ < 0) {
        if (error_.empty())
            Fail(platform::SystemErrorText(EBADF));
        return -1;
    }
    // One byte past the limit is enough to tell a file that grew beyond it.
    size = static_cast<size_t>(std::min<uint64_t>(size, limit_ + 1 - read_));
    long long got = platform::ReadFrom(fd_, buffer, size);
    if (got < 0) {
        Fail(platform::SystemErrorText(errno));
        return -1;
    }
    read_ += static_cast<uint64_t>(got);
    if (read_ > limit_) {
        Fail("larger than " + LimitText(limit_) + ", more than such a file ever holds");
        return -1;
    }
    return got;
}

std::optional<std::string> RegularFile::ReadAll() {
    std::string text;
    text.resize(static_cast<size_t>(std::min(size_, limit_)) + 1);
    size_t filled = 0;
    for (;;) {
        if (filled == text.size())
            text.resize(static_cast<size_t>(std::min<uint64_t>(text.size() * 2, limit_ + 1)));
        long long got = ReadSome(text.data() + filled, text.size() - filled);
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        filled += static_cast<size_t>(got);
    }
    text.resize(filled);
    return text;
}

bool RegularFile::Rewind() {
    if (fd_ < 0 || !platform::SeekToStart(fd_)) {
        Fail(platform::SystemErrorText(fd_ < 0 ? EBADF : errno));
        return false;
    }
    read_ = 0;
    return true;
}

FileRead ReadRegularFile(const std::string& path, uint64_t limit) {
    FileRead read;
    RegularFile file = RegularFile::Open(path, limit);
    if (!file.ok()) {
        read.missing = file.missing();
        read.error = file.error();
        return read;
    }
    read.bytes = file.ReadAll();
    if (!read.bytes)
        read.error = file.error();
    return read;
}

FileRead ReadRegularFile(const std::filesystem::path& path, uint64_t limit) {
    return ReadRegularFile(platform::Utf8Name(path), limit);
}

} // namespace fabricor
