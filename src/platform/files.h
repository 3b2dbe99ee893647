#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// Files, folders and names as the operating system knows them. Names are UTF-8 text everywhere
// in the program; an implementation converts them to the system's own form at the call. Open
// files are descriptors (int), as both systems' C libraries have them. A failure is an errno
// value (ENOENT, EACCES, ...), which both systems' C libraries name and describe alike.
namespace fabricor::platform {

// The separator of the system's paths.
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// A path of the standard library as UTF-8 text, and back.
std::string Utf8Name(const std::filesystem::path& path);
std::filesystem::path PathOfUtf8(const std::string& name);

enum class FileKind {
    Regular,
    Folder,
    Fifo,
    CharacterDevice,
    BlockDevice,
    Socket,
    SymbolicLink,
    Other,
};

struct FileStatus {
    FileKind kind = FileKind::Other;
    uint64_t size = 0;
    // Whether anybody may write it at all (a read-only file is refused as a save's target).
    bool writable = true;
    // What a replacement keeps: the permission bits, or the system's file attributes.
    unsigned attributes = 0;
};

// What `path` names; with `followLinks` false a symbolic link is described itself.
// 0 or an errno value (ENOENT and ENOTDIR: nothing of that name).
int StatusOfName(const std::string& path, FileStatus& status, bool followLinks = true);
int StatusOfOpenFile(int fd, FileStatus& status);

// Opens for reading without blocking on the open itself (a FIFO put where a file was does not
// hang it); reads block as usual. A descriptor, or -1 with errno set.
int OpenForReading(const std::string& path);
// Bytes read, 0 at the end, -1 with errno set; an interrupted read is retried.
long long ReadFrom(int fd, char* buffer, size_t size);
// Bytes written (at least one), or -1 with errno set; an interrupted write is retried.
long long WriteTo(int fd, const char* bytes, size_t size);
bool SeekToStart(int fd);
// Flushes what was written to the disk itself. 0 or an errno value.
int FlushToDisk(int fd);
// Asks the system to start writing `length` bytes from `offset` to the disk now, without waiting
// for them, so that a later FlushToDisk has less left to wait for. Only a hint: where the system
// has no such call it does nothing, and failures show in FlushToDisk.
void StartWritingToDisk(int fd, long long offset, long long length);
// 0 or an errno value.
int CloseFile(int fd);

// Creates `path` for reading and writing, failing with EEXIST when anything of that name exists;
// only its owner may use it until MakeDocument. A descriptor, or -1 with errno set.
int CreateExclusive(const std::string& path);
// Gives a file made by CreateExclusive the permissions a new document gets.
void MakeDocument(int fd);
// Gives it what `kept` (from StatusOfName of the file it replaces) holds; where the file system
// has nothing of the kind to set, the file stays as it is.
void KeepAttributes(int fd, const FileStatus& kept);
// Puts `temporary` in the place of `target` in one step, whatever `target` was, and makes the
// change durable. The old file's attributes stay with the name. 0 or an errno value.
int RenameOver(const std::string& temporary, const std::string& target);
// Gives the file `existing` the further name `name`, never replacing anything called so.
// 0 or an errno value.
int AddName(const std::string& existing, const std::string& name);
// 0 or an errno value.
int RemoveFile(const std::string& path);

bool FolderExists(const std::string& path);
// Creates the folder and any missing parents; true when it exists afterwards.
bool CreateFolders(const std::string& path);

// Whether a file descriptor is a terminal (or a console).
bool IsTerminal(int fd);

} // namespace fabricor::platform
