// Files, folders, locks, processes and interruptions on Windows. Names arrive as UTF-8 and go to
// the system as UTF-16 through the wide calls; descriptors are the C runtime's, over the
// system's handles, so that reading and writing look as they do elsewhere.
#include "platform/files.h"
#include "platform/file_lock.h"
#include "platform/interrupt.h"
#include "platform/process_info.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <io.h>

namespace fabricor::platform {
namespace {

std::wstring Wide(const std::string& text) {
    if (text.empty())
        return {};
    int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    if (wide.empty())
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                        nullptr, nullptr);
    return text;
}

// The errno value closest to a system error code, so that messages read as they do elsewhere.
int ErrnoOf(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
        return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    default:
        return EIO;
    }
}

int LastErrno() {
    return ErrnoOf(GetLastError());
}

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

void Describe(DWORD attributes, uint64_t size, FileStatus& status) {
    status.kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Folder : FileKind::Regular;
    status.size = size;
    status.writable = (attributes & FILE_ATTRIBUTE_READONLY) == 0;
    status.attributes = attributes;
}

int DescribeHandle(HANDLE handle, FileStatus& status) {
    if (handle == INVALID_HANDLE_VALUE)
        return EBADF;
    switch (GetFileType(handle)) {
    case FILE_TYPE_DISK:
        break;
    case FILE_TYPE_CHAR:
        status = FileStatus{FileKind::CharacterDevice, 0, true, 0};
        return 0;
    case FILE_TYPE_PIPE:
        status = FileStatus{FileKind::Fifo, 0, true, 0};
        return 0;
    default:
        status = FileStatus{FileKind::Other, 0, true, 0};
        return 0;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info))
        return LastErrno();
    Describe(info.dwFileAttributes,
             (uint64_t{info.nFileSizeHigh} << 32) | uint64_t{info.nFileSizeLow}, status);
    return 0;
}

// A descriptor over a handle, or -1 (errno set) with the handle closed.
int DescriptorOf(HANDLE handle, int flags) {
    if (handle == INVALID_HANDLE_VALUE) {
        errno = LastErrno();
        return -1;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0) {
        int error = errno;
        CloseHandle(handle);
        errno = error;
    }
    return fd;
}

// Others may read, write, rename and remove a file while we have it open, as on POSIX.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

} // namespace

std::string Utf8Name(const std::filesystem::path& path) {
    return Narrow(path.wstring());
}
std::filesystem::path PathOfUtf8(const std::string& name) {
    return std::filesystem::path(Wide(name));
}

namespace {

// What a name in the system's device namespace (NUL, CON, COM1, a pipe: the names the system
// turns into "\\.\...") is, when it is not a file on a disk. A pipe is not opened, as that
// would connect to it; any other device is opened without access, which touches nothing.
bool DescribeDevice(const std::wstring& name, FileStatus& status) {
    wchar_t full[MAX_PATH];
    const DWORD size = GetFullPathNameW(name.c_str(), MAX_PATH, full, nullptr);
    if (size == 0 || size >= MAX_PATH)
        return false;
    const std::wstring fullName(full, size);
    if (fullName.rfind(L"\\\\.\\", 0) != 0)
        return false;
    if (_wcsnicmp(fullName.c_str() + 4, L"pipe\\", 5) == 0) {
        status = FileStatus{FileKind::Fifo, 0, true, 0};
        return true;
    }
    HANDLE handle = CreateFileW(fullName.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool disk = GetFileType(handle) == FILE_TYPE_DISK;
    if (!disk)
        DescribeHandle(handle, status);
    CloseHandle(handle);
    return !disk;
}

} // namespace

int StatusOfName(const std::string& path, FileStatus& status, bool followLinks) {
    const std::wstring name = Wide(path);
    if (DescribeDevice(name, status))
        return 0;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data))
        return LastErrno();
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        Describe(data.dwFileAttributes,
                 (uint64_t{data.nFileSizeHigh} << 32) | uint64_t{data.nFileSizeLow}, status);
        return 0;
    }
    if (!followLinks) {
        status = FileStatus{FileKind::SymbolicLink, 0, true, data.dwFileAttributes};
        return 0;
    }
    // Only to look at it: no access asked, nothing of the file is touched.
    HANDLE handle = CreateFileW(name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return LastErrno();
    int error = DescribeHandle(handle, status);
    CloseHandle(handle);
    return error;
}

int StatusOfOpenFile(int fd, FileStatus& status) {
    return DescribeHandle(HandleOf(fd), status);
}

int OpenForReading(const std::string& path) {
    HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    return DescriptorOf(handle, _O_RDONLY);
}

long long ReadFrom(int fd, char* buffer, size_t size) {
    return _read(fd, buffer, static_cast<unsigned>(std::min<size_t>(size, INT_MAX)));
}

long long WriteTo(int fd, const char* bytes, size_t size) {
    return _write(fd, bytes, static_cast<unsigned>(std::min<size_t>(size, INT_MAX)));
}

bool SeekToStart(int fd) {
    return _lseeki64(fd, 0, SEEK_SET) == 0;
}

int FlushToDisk(int fd) {
    return _commit(fd) == 0 ? 0 : errno;
}

void StartWritingToDisk(int, long long, long long) {}

int CloseFile(int fd) {
    return _close(fd) == 0 ? 0 : errno;
}

int CreateExclusive(const std::string& path) {
    HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    return DescriptorOf(handle, _O_RDWR);
}

// A new file takes its folder's permissions on Windows: nothing to change.
void MakeDocument(int) {}

void KeepAttributes(int fd, const FileStatus& kept) {
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    FILE_BASIC_INFO info{}; // times of zero stay as they are
    info.FileAttributes = kept.attributes & kKept;
    if (info.FileAttributes == 0)
        info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    (void)SetFileInformationByHandle(HandleOf(fd), FileBasicInfo, &info, sizeof info);
}

// Windows refuses to replace a file while anyone has it open, even one who shares it for
// deletion: a viewer reading a log, a search indexer or a virus scanner looking at a document
// just saved. Such a reader lets go within moments, so the rename is tried again for a while
// before the save is given up.
int RenameOver(const std::string& temporary, const std::string& target) {
    const std::wstring from = Wide(temporary);
    const std::wstring to = Wide(target);
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return 0;
        const DWORD error = GetLastError();
        const bool held = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
                          error == ERROR_LOCK_VIOLATION;
        if (!held || attempt >= 100)
            return LastErrno();
        Sleep(20);
    }
}

int AddName(const std::string& existing, const std::string& name) {
    const std::wstring from = Wide(existing);
    const std::wstring to = Wide(name);
    if (CreateHardLinkW(to.c_str(), from.c_str(), nullptr))
        return 0;
    DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
        return EEXIST;
    // A file system without hard links (FAT): a copy that never replaces does as well.
    if (CopyFileW(from.c_str(), to.c_str(), TRUE))
        return 0;
    return LastErrno();
}

int RemoveFile(const std::string& path) {
    return DeleteFileW(Wide(path).c_str()) ? 0 : LastErrno();
}

bool FolderExists(const std::string& path) {
    if (path.empty())
        return false;
    DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateFolders(const std::string& path) {
    if (path.empty())
        return false;
    std::error_code error;
    std::filesystem::create_directories(PathOfUtf8(path), error);
    return FolderExists(path);
}

bool IsTerminal(int fd) {
    return _isatty(fd) != 0;
}

// Processes

ProcessId CurrentProcessId() {
    return static_cast<ProcessId>(GetCurrentProcessId());
}

bool ProcessMayRun(ProcessId process) {
    if (process <= 0 || process > ProcessId{MAXDWORD})
        return false;
    HANDLE handle =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(process));
    if (!handle)
        return GetLastError() != ERROR_INVALID_PARAMETER; // no process of that id
    DWORD code = 0;
    bool runs = !GetExitCodeProcess(handle, &code) || code == STILL_ACTIVE;
    CloseHandle(handle);
    return runs;
}

// Interruptions

namespace {

void (*interruptCleanUp)() = nullptr;

extern "C" void OnSignal(int signal) {
    if (interruptCleanUp)
        interruptCleanUp();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Ctrl-C, Ctrl-Break, a closed console, a logoff or shutdown: clean up, then let the next
// handler (in the end the system's, which ends the process) do what it does.
BOOL WINAPI OnConsoleEvent(DWORD) {
    if (interruptCleanUp)
        interruptCleanUp();
    return FALSE;
}

} // namespace

void OnInterrupt(void (*cleanUp)()) {
    interruptCleanUp = cleanUp;
    for (int signal : {SIGINT, SIGTERM}) {
        if (std::signal(signal, OnSignal) == SIG_IGN)
            std::signal(signal, SIG_IGN);
    }
    // Registered last, so called first.
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void RemoveFileNow(const char* path) {
    wchar_t name[4096];
    if (MultiByteToWideChar(CP_UTF8, 0, path, -1, name, 4096) > 0)
        DeleteFileW(name);
}

// Locks

int OpenLockFile(const std::string& path) {
    const std::wstring name = Wide(path);
    // Never through a link, never waiting on something that is not a file.
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    int access = _O_RDWR;
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                OPEN_ALWAYS, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
        // Another user's lock file locks as well.
        access = _O_RDONLY;
        handle = CreateFileW(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, flags,
                             nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        CloseHandle(handle);
        return -1;
    }
    return DescriptorOf(handle, access);
}

FileIdentity IdentityOf(int fd) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(HandleOf(fd), &info))
        return {};
    return {info.dwVolumeSerialNumber,
            (uint64_t{info.nFileIndexHigh} << 32) | uint64_t{info.nFileIndexLow}};
}

LockAttempt TryLockExclusive(int fd) {
    // One byte far past any content: the lock never stands in the way of reading the file.
    OVERLAPPED where{};
    where.Offset = MAXDWORD;
    where.OffsetHigh = 0x7FFFFFFF;
    if (LockFileEx(HandleOf(fd), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                   &where))
        return LockAttempt::Taken;
    DWORD error = GetLastError();
    return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? LockAttempt::Busy
                                                                      : LockAttempt::Unsupported;
}

} // namespace fabricor::platform
