#pragma once

#include <memory>
#include <optional>
#include <string>

namespace fabricor {

// SHA-256 fed in pieces, from the system's library: OpenSSL's libcrypto on POSIX
// (platform/posix/sha256_digest.cpp), CNG on Windows (platform/windows/sha256_digest.cpp).
class Sha256Digest {
public:
    Sha256Digest();
    ~Sha256Digest();
    Sha256Digest(const Sha256Digest&) = delete;
    Sha256Digest& operator=(const Sha256Digest&) = delete;

    void Add(const char* bytes, size_t size);
    // The 32 bytes of the digest, once; nothing when the library failed at any step.
    std::optional<std::string> Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace fabricor
