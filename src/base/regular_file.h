#pragma once

#include "base/byte_stream.h"

#include "platform/files.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace fabricor {

// The most bytes the program reads from each kind of file. No real file comes near them; they
// only stop a file that is absurdly large, or that keeps growing while it is read, from taking
// all memory or all night.
inline constexpr uint64_t kSettingsReadLimit = uint64_t{16} << 20; // Fabricor.ini, Progwerk.ini
inline constexpr uint64_t kDocumentReadLimit = uint64_t{64} << 20; // pargen.xml, var.xml
inline constexpr uint64_t kFirmwareReadLimit = uint64_t{2} << 30;  // S-record firmware

// Every file the program reads goes through here. Only a regular file is opened: a FIFO, a
// device, a socket or a folder is refused at once, with a message that names it, instead of
// blocking on it or reading it for ever. The name is looked at before opening (so opening has
// no side effect on a device) and what was opened is looked at again, without blocking, in case
// the name was swapped in between.
class RegularFile {
public:
    RegularFile() = default;
    ~RegularFile();
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // Opens `path` (UTF-8) for reading when it is a regular file of at most `limit` bytes.
    static RegularFile Open(const std::string& path, uint64_t limit);
    // The same for a path as the standard library holds it (as the system gave it).
    static RegularFile Open(const std::filesystem::path& path, uint64_t limit);
    static RegularFile Open(const char* path, uint64_t limit) {
        return Open(std::string(path), limit);
    }

    bool ok() const { return fd_ >= 0; }
    // Nothing of that name exists (the file or one of its folders is missing).
    bool missing() const { return missing_; }
    // "PATH: not a regular file (a FIFO)", "PATH: larger than 64 MiB", or the system's text.
    const std::string& error() const { return error_; }
    int fd() const { return fd_; }
    uint64_t size() const { return size_; }
    uint64_t limit() const { return limit_; }

    // Reads what is left of the file, up to the limit; nothing (and error() set) on a read error
    // or when the file has grown past the limit.
    std::optional<std::string> ReadAll();
    // One read of up to `size` bytes, retried on EINTR: bytes read, 0 at the end, -1 on error
    // (error() set). Reading past the limit is an error as well.
    long long ReadSome(char* buffer, size_t size);
    // Back to the first byte; false (error() set) when that fails.
    bool Rewind();

private:
    void Fail(std::string error);

    std::string path_;
    int fd_ = -1;
    bool missing_ = false;
    std::string error_;
    uint64_t size_ = 0;
    uint64_t limit_ = 0;
    uint64_t read_ = 0;
};

// An open RegularFile read as a byte source (the merge's and the read-back's input).
class RegularFileSource final : public ByteSource {
public:
    explicit RegularFileSource(RegularFile& file) : file_(file) {}
    long long ReadSome(char* buffer, size_t size) override { return file_.ReadSome(buffer, size); }
    bool Rewind() override { return file_.Rewind(); }
    const std::string& error() const override { return file_.error(); }
    size_t SizeHint() const override { return static_cast<size_t>(file_.size()); }

private:
    RegularFile& file_;
};

struct FileRead {
    std::optional<std::string> bytes; // the whole file; nothing when it could not be read
    bool missing = false;             // no file of that name
    std::string error;                // why not, naming the file
};

// The whole of a regular file of at most `limit` bytes.
FileRead ReadRegularFile(const std::string& path, uint64_t limit);
FileRead ReadRegularFile(const std::filesystem::path& path, uint64_t limit);
inline FileRead ReadRegularFile(const char* path, uint64_t limit) {
    return ReadRegularFile(std::string(path), limit);
}

// "a FIFO", "a character device", ... for a kind of file.
std::string FileKindName(platform::FileKind kind);

// "not a regular file (a FIFO)": why a file of that kind is neither read nor replaced.
std::string NotRegularFileText(platform::FileKind kind);

} // namespace fabricor
