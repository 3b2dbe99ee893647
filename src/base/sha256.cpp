#include "base/sha256.h"

#include "base/regular_file.h"

#include "platform/sha256_digest.h"

#include <memory>

namespace fabricor {
namespace {

class Hasher {
public:
    void Add(const char* bytes, size_t size) { digest_.Add(bytes, size); }
    std::optional<std::string> Hex() {
        std::optional<std::string> digest = digest_.Finish();
        if (!digest)
            return std::nullopt;
        static const char* digits = "0123456789abcdef";
        std::string hex;
        for (unsigned char byte : *digest) {
            hex += digits[byte >> 4];
            hex += digits[byte & 15];
        }
        return hex;
    }

private:
    Sha256Digest digest_;
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
