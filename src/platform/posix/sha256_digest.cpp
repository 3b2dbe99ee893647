#include "platform/sha256_digest.h"

#include <openssl/evp.h>

namespace fabricor {

struct Sha256Digest::State {
    EVP_MD_CTX* context = nullptr;
    bool ok = false;
};

Sha256Digest::Sha256Digest() : state_(new State) {
    state_->context = EVP_MD_CTX_new();
    state_->ok = state_->context && EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) == 1;
}

Sha256Digest::~Sha256Digest() {
    EVP_MD_CTX_free(state_->context);
}

void Sha256Digest::Add(const char* bytes, size_t size) {
    state_->ok = state_->ok && EVP_DigestUpdate(state_->context, bytes, size) == 1;
}

std::optional<std::string> Sha256Digest::Finish() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!state_->ok || EVP_DigestFinal_ex(state_->context, digest, &size) != 1)
        return std::nullopt;
    state_->ok = false;
    return std::string(reinterpret_cast<const char*>(digest), size);
}

} // namespace fabricor
