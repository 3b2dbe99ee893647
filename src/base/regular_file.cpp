#include "base/regular_file.h"

#include "base/atomic_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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

std::string FileKindName(unsigned mode) {
    switch (mode & S_IFMT) {
    case S_IFREG:
        return "a regular file";
    case S_IFIFO:
        return "a FIFO";
    case S_IFCHR:
        return "a character device";
    case S_IFBLK:
        return "a block device";
    case S_IFSOCK:
        return "a socket";
    case S_IFDIR:
        return "a folder";
    case S_IFLNK:
        return "a symbolic link";
    default:
        return "an unknown kind of file";
    }
}

RegularFile::~RegularFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)), missing_(other.missing_),
      error_(std::move(other.error_)), size_(other.size_), limit_(other.limit_),
      read_(other.read_) {}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
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
    error_ = path_.string() + ": " + std::move(error);
}

RegularFile RegularFile::Open(const std::filesystem::path& path, uint64_t limit) {
    RegularFile file;
    file.path_ = path;
    file.limit_ = limit;
    auto notRegular = [&](unsigned mode) {
        file.Fail("not a regular file (" + FileKindName(mode) + ")");
    };

    struct stat named {};
    if (::stat(path.c_str(), &named) != 0) {
        int error = errno;
        file.missing_ = MeansMissing(error);
        file.Fail(SystemErrorText(error));
        return file;
    }
    if (!S_ISREG(named.st_mode)) {
        notRegular(named.st_mode);
        return file;
    }
    // Without O_NONBLOCK a FIFO put in its place since the stat would block the open.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        int error = errno;
        file.missing_ = MeansMissing(error);
        file.Fail(SystemErrorText(error));
        return file;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) {
        int error = errno;
        ::close(fd);
        file.Fail(SystemErrorText(error));
        return file;
    }
    if (!S_ISREG(opened.st_mode)) {
        ::close(fd);
        notRegular(opened.st_mode);
        return file;
    }
    if (static_cast<uint64_t>(opened.st_size) > limit) {
        ::close(fd);
        file.Fail("larger than " + LimitText(limit) + ", more than such a file ever holds");
        return file;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    file.fd_ = fd;
    file.size_ = static_cast<uint64_t>(opened.st_size);
    return file;
}

long long RegularFile::ReadSome(char* buffer, size_t size) {
    if (fd_ < 0) {
        if (error_.empty())
            Fail(SystemErrorText(EBADF));
        return -1;
    }
    // One byte past the limit is enough to tell a file that grew beyond it.
    size = static_cast<size_t>(std::min<uint64_t>(size, limit_ + 1 - read_));
    for (;;) {
        ssize_t got = ::read(fd_, buffer, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            Fail(SystemErrorText(errno));
            return -1;
        }
        read_ += static_cast<uint64_t>(got);
        if (read_ > limit_) {
            Fail("larger than " + LimitText(limit_) + ", more than such a file ever holds");
            return -1;
        }
        return got;
    }
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
    if (fd_ < 0 || ::lseek(fd_, 0, SEEK_SET) != 0) {
        Fail(SystemErrorText(fd_ < 0 ? EBADF : errno));
        return false;
    }
    read_ = 0;
    return true;
}

FileRead ReadRegularFile(const std::filesystem::path& path, uint64_t limit) {
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

} // namespace fabricor
