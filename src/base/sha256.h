#pragma once

#include "base/byte_stream.h"

#include "platform/sha256_digest.h"

#include <optional>
#include <string>
#include <string_view>

namespace fabricor {

// SHA-256 as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

struct FileHash {
    std::optional<std::string> hex; // nothing when the file could not be read
    std::string error;              // why not, naming the file
};
// The SHA-256 of a regular file, read in pieces (memory does not grow with its size).
FileHash Sha256OfFile(const std::string& path);

// Passes bytes on to another sink and hashes those it accepted, so a file written through it
// has its SHA-256 without being read again.
class HashingSink final : public ByteSink {
public:
    explicit HashingSink(ByteSink& next) : next_(next) {}
    Status Write(std::string_view bytes) override;
    // The SHA-256 of everything accepted, as Sha256Hex gives it; once. Nothing when the
    // library failed.
    std::optional<std::string> Hex();

private:
    ByteSink& next_;
    Sha256Digest digest_;
};

} // namespace fabricor
