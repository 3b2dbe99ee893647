#include "platform/sha256_digest.h"

// The plain SHA-256 functions rather than EVP: EVP's first use sets up OpenSSL's providers and
// reads its configuration, some 2 MB for one digest. These run the same code (with the CPU's
// SHA instructions where it has them) and need nothing set up. OpenSSL 3 marks them deprecated,
// not removed.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

namespace fabricor {

struct Sha256Digest::State {
    SHA256_CTX context{};
    bool ok = false;
};

Sha256Digest::Sha256Digest() : state_(new State) {
    state_->ok = SHA256_Init(&state_->context) == 1;
}

Sha256Digest::~Sha256Digest() = default;

void Sha256Digest::Add(const char* bytes, size_t size) {
    state_->ok = state_->ok && SHA256_Update(&state_->context, bytes, size) == 1;
}

std::optional<std::string> Sha256Digest::Finish() {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    if (!state_->ok || SHA256_Final(digest, &state_->context) != 1)
        return std::nullopt;
    state_->ok = false;
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

} // namespace fabricor
