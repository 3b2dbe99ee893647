#include "base/sha256.h"

#include "base/regular_file.h"

#include <memory>
#include <openssl/evp.h>

namespace fabricor {
namespace {

struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

class Hasher {
public:
    Hasher() : context_(EVP_MD_CTX_new()) {
        ok_ = context_ && EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) == 1;
    }
    void Add(const char* bytes, size_t size) {
        ok_ = ok_ && EVP_DigestUpdate(context_.get(), bytes, size) == 1;
    }
    std::optional<std::string> Hex() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        if (!ok_ || EVP_DigestFinal_ex(context_.get(), digest, &size) != 1)
            return std::nullopt;
        static const char* digits = "0123456789abcdef";
        std::string hex;
        for (unsigned int i = 0; i < size; ++i) {
            hex += digits[digest[i] >> 4];
            hex += digits[digest[i] & 15];
        }
        return hex;
    }

private:
    std::unique_ptr<EVP_MD_CTX, ContextFree> context_;
    bool ok_ = false;
};

} // namespace

std::string Sha256Hex(std::string_view bytes) {
    Hasher hasher;
    hasher.Add(bytes.data(), bytes.size());
    return hasher.Hex().value_or("");
}

FileHash Sha256OfFile(const std::string& path) {
    FileHash result;
    RegularFile file = RegularFile::Open(path, kFirmwareReadLimit);
    if (!file.ok()) {
        result.error = file.error();
        return result;
    }
    Hasher hasher;
    std::unique_ptr<char[]> chunk(new char[1 << 20]);
    for (;;) {
        long long got = file.ReadSome(chunk.get(), 1 << 20);
        if (got < 0) {
            result.error = file.error();
            return result;
        }
        if (got == 0)
            break;
        hasher.Add(chunk.get(), static_cast<size_t>(got));
    }
    result.hex = hasher.Hex();
    if (!result.hex)
        result.error = path + ": SHA-256 failed";
    return result;
}

} // namespace fabricor
