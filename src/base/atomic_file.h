#pragma once

#include "base/byte_stream.h"
#include "base/status.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace fabricor {

// Where a save's bytes go on their way to the disk. The program uses the system's files; a test
// hands in one that fails as a full disk would, to see that no save ever leaves a file half
// written.
class FileOutput {
public:
    virtual ~FileOutput() = default;
    // Writes some of `bytes` to the open file `fd`: how many (at least one), or -1 with errno set.
    virtual long long Write(int fd, const char* bytes, size_t size) = 0;
};

// The system's files.
FileOutput& SystemFileOutput();

// Writes a file so that a failure or a crash never leaves it half written: the bytes go to a
// temporary file in the same folder, which replaces the target only once it is complete and
// flushed to disk. Until Commit() succeeds the old file (if any) is untouched; a writer that is
// destroyed without a successful Commit() removes its temporary file.
class AtomicFileWriter final : public ByteSink {
public:
    // `target` is UTF-8 text; the bytes go through `output`.
    explicit AtomicFileWriter(std::string target, FileOutput& output = SystemFileOutput());
    // A path as the standard library holds it (as the system gave it).
    explicit AtomicFileWriter(const std::filesystem::path& target,
                              FileOutput& output = SystemFileOutput());
    explicit AtomicFileWriter(const char* target, FileOutput& output = SystemFileOutput())
        : AtomicFileWriter(std::string(target), output) {}
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the temporary file. Must succeed before Write.
    Status Open();
    Status Write(std::string_view bytes) override;
    // Flushes, closes and renames over the target.
    Status Commit();
    // Gives up: removes the temporary file, the target stays as it was.
    void Abort();

    const std::string& target() const { return target_; }
    const std::filesystem::path& temporaryPath() const { return temporary_; }

private:
    Status Fail(const std::string& what, int error);

    std::string target_;
    FileOutput& output_;
    std::filesystem::path temporary_;
    std::string temporaryName_; // UTF-8
    long long written_ = 0;     // bytes in the temporary file
    long long onTheWay_ = 0;    // of those, how many the disk was asked to take already
    int fd_ = -1;
    int temporarySlot_ = -1; // see run_temporaries.h
    bool committed_ = false;
};

// Replaces the whole file with the given bytes, atomically.
Status WriteFileAtomically(const std::string& target, std::string_view bytes,
                           FileOutput& output = SystemFileOutput());
Status WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                           FileOutput& output = SystemFileOutput());
inline Status WriteFileAtomically(const char* target, std::string_view bytes,
                                  FileOutput& output = SystemFileOutput()) {
    return WriteFileAtomically(std::string(target), bytes, output);
}

} // namespace fabricor
