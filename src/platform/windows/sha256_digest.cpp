#include "platform/sha256_digest.h"

#include <windows.h>

#include <bcrypt.h>

#include <limits>

namespace fabricor {

// CNG: one algorithm provider and one hash object per digest.
struct Sha256Digest::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = false;
};

namespace {
bool Succeeded(NTSTATUS status) {
    return status >= 0;
}
} // namespace

Sha256Digest::Sha256Digest() : state_(new State) {
    state_->ok =
        Succeeded(
            BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
        Succeeded(BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0));
}

Sha256Digest::~Sha256Digest() {
    if (state_->hash)
        BCryptDestroyHash(state_->hash);
    if (state_->algorithm)
        BCryptCloseAlgorithmProvider(state_->algorithm, 0);
}

void Sha256Digest::Add(const char* bytes, size_t size) {
    // BCryptHashData takes at most 4 GiB - 1 at a time.
    while (state_->ok && size > 0) {
        ULONG piece = size > std::numeric_limits<ULONG>::max() ? std::numeric_limits<ULONG>::max()
                                                               : static_cast<ULONG>(size);
        state_->ok = Succeeded(BCryptHashData(
            state_->hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes)), piece, 0));
        bytes += piece;
        size -= piece;
    }
}

std::optional<std::string> Sha256Digest::Finish() {
    unsigned char digest[32];
    if (!state_->ok || !Succeeded(BCryptFinishHash(state_->hash, digest, sizeof digest, 0)))
        return std::nullopt;
    state_->ok = false;
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

} // namespace fabricor
