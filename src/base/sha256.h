#pragma once

#include "base/byte_stream.h"

#include "platform/sha256_digest.h"

#include <memory>
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
// has its SHA-256 without being read again. Past a few hundred kilobytes the hashing runs on a
// thread of its own, a few pieces behind the writing, so that a large firmware costs the
// writer a copy of its bytes rather than their hash.
class HashingSink final : public ByteSink {
public:
    explicit HashingSink(ByteSink& next);
    ~HashingSink() override;
    HashingSink(const HashingSink&) = delete;
    HashingSink& operator=(const HashingSink&) = delete;
    Status Write(std::string_view bytes) override;
    // The SHA-256 of everything accepted, as Sha256Hex gives it; once. Nothing when the
    // library failed.
    std::optional<std::string> Hex();

private:
    class Behind;
    void HandOver();

    ByteSink& next_;
    Sha256Digest digest_;
    std::string filling_;           // accepted, not yet handed to the hashing
    std::unique_ptr<Behind> behind_; // the hashing thread, once started
    bool alone_ = false;             // no thread could be started
};

} // namespace fabricor
