#pragma once

#include "base/byte_stream.h"
#include "base/status.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace fabricor {

// Writes a file so that a failure or a crash never leaves it half written: the bytes go to a
// temporary file in the same folder, which replaces the target only once it is complete and
// flushed to disk. Until Commit() succeeds the old file (if any) is untouched; a writer that is
// destroyed without a successful Commit() removes its temporary file.
class AtomicFileWriter final : public ByteSink {
public:
    // `target` is UTF-8 text.
    explicit AtomicFileWriter(std::string target);
    // A path as the standard library holds it (as the system gave it).
    explicit AtomicFileWriter(const std::filesystem::path& target);
    explicit AtomicFileWriter(const char* target) : AtomicFileWriter(std::string(target)) {}
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

    // Test hook: after this many bytes every further write fails as a full disk would.
    // Negative means never. Lets tests inject a failure part way through any save.
    static void SetFailAfterBytesForTesting(long long bytes);

private:
    Status Fail(const std::string& what, int error);

    std::string target_;
    std::filesystem::path temporary_;
    std::string temporaryName_; // UTF-8
    int fd_ = -1;
    int temporarySlot_ = -1; // see run_temporaries.h
    bool committed_ = false;
};

// Replaces the whole file with the given bytes, atomically.
Status WriteFileAtomically(const std::string& target, std::string_view bytes);
Status WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);
inline Status WriteFileAtomically(const char* target, std::string_view bytes) {
    return WriteFileAtomically(std::string(target), bytes);
}

// The system's text for an errno value.
std::string SystemErrorText(int error);

} // namespace fabricor
