#include "platform/files.h"
#include "platform/file_lock.h"
#include "platform/interrupt.h"
#include "platform/process_info.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fabricor::platform {
namespace {

FileKind KindOf(mode_t mode) {
    switch (mode & S_IFMT) {
    case S_IFREG:
        return FileKind::Regular;
    case S_IFDIR:
        return FileKind::Folder;
    case S_IFIFO:
        return FileKind::Fifo;
    case S_IFCHR:
        return FileKind::CharacterDevice;
    case S_IFBLK:
        return FileKind::BlockDevice;
    case S_IFSOCK:
        return FileKind::Socket;
    case S_IFLNK:
        return FileKind::SymbolicLink;
    default:
        return FileKind::Other;
    }
}

void Describe(const struct stat& info, FileStatus& status) {
    status.kind = KindOf(info.st_mode);
    status.size = static_cast<uint64_t>(info.st_size);
    // Mode bits rather than access(): the answer must not depend on running as root.
    status.writable = (info.st_mode & 0222) != 0;
    status.attributes = info.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO);
}

} // namespace

std::string Utf8Name(const std::filesystem::path& path) {
    return path.string();
}
std::filesystem::path PathOfUtf8(const std::string& name) {
    return std::filesystem::path(name);
}

int StatusOfName(const std::string& path, FileStatus& status, bool followLinks) {
    struct stat info {};
    if ((followLinks ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) != 0)
        return errno;
    Describe(info, status);
    return 0;
}

int StatusOfOpenFile(int fd, FileStatus& status) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return errno;
    Describe(info, status);
    return 0;
}

int OpenForReading(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

long long ReadFrom(int fd, char* buffer, size_t size) {
    for (;;) {
        ssize_t got = ::read(fd, buffer, size);
        if (got < 0 && errno == EINTR)
            continue;
        return got;
    }
}

long long WriteTo(int fd, const char* bytes, size_t size) {
    for (;;) {
        ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        return written;
    }
}

bool SeekToStart(int fd) {
    return ::lseek(fd, 0, SEEK_SET) == 0;
}

int FlushToDisk(int fd) {
    return ::fsync(fd) == 0 ? 0 : errno;
}

void StartWritingToDisk(int fd, long long offset, long long length) {
#ifdef SYNC_FILE_RANGE_WRITE
    ::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
#else
    (void)fd;
    (void)offset;
    (void)length;
#endif
}

int CloseFile(int fd) {
    return ::close(fd) == 0 ? 0 : errno;
}

int CreateExclusive(const std::string& path) {
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
}

void MakeDocument(int fd) {
    mode_t mask = ::umask(0);
    ::umask(mask);
    (void)::fchmod(fd, 0666 & ~mask);
}

void KeepAttributes(int fd, const FileStatus& kept) {
    (void)::fchmod(fd, static_cast<mode_t>(kept.attributes));
}

int RenameOver(const std::string& temporary, const std::string& target) {
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        return errno;
    // Make the rename itself durable.
    const std::filesystem::path targetPath(target);
    int folder = ::open(targetPath.has_parent_path() ? targetPath.parent_path().c_str() : ".",
                        O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return 0;
}

int AddName(const std::string& existing, const std::string& name) {
    return ::link(existing.c_str(), name.c_str()) == 0 ? 0 : errno;
}

int RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

bool FolderExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CreateFolders(const std::string& path) {
    if (path.empty())
        return false;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path), error);
    return FolderExists(path);
}

bool IsTerminal(int fd) {
    return ::isatty(fd) == 1;
}

// Processes

ProcessId CurrentProcessId() {
    return ::getpid();
}

bool ProcessMayRun(ProcessId process) {
    // EPERM: it runs, under another user.
    return ::kill(static_cast<pid_t>(process), 0) == 0 || errno != ESRCH;
}

// Interruptions

namespace {

constexpr int kSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE};
void (*interruptCleanUp)() = nullptr;

extern "C" void OnSignal(int signal) {
    int saved = errno;
    if (interruptCleanUp)
        interruptCleanUp();
    // End the way the signal would have ended us: the parent sees which one it was.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal); // delivered once the handler returns and the signal is unblocked
    errno = saved;
}

} // namespace

void OnInterrupt(void (*cleanUp)()) {
    interruptCleanUp = cleanUp;
    for (int signal : kSignals) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
            continue;
        struct sigaction handler {};
        handler.sa_handler = OnSignal;
        ::sigemptyset(&handler.sa_mask);
        for (int other : kSignals)
            ::sigaddset(&handler.sa_mask, other); // one clean-up at a time
        ::sigaction(signal, &handler, nullptr);
    }
}

void RemoveFileNow(const char* path) {
    ::unlink(path);
} // async-signal-safe

// Locks

int OpenLockFile(const std::string& path) {
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

FileIdentity IdentityOf(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return {};
    return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

LockAttempt TryLockExclusive(int fd) {
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return LockAttempt::Taken;
        if (errno == EINTR)
            continue;
        return errno == EWOULDBLOCK ? LockAttempt::Busy : LockAttempt::Unsupported;
    }
}

} // namespace fabricor::platform
