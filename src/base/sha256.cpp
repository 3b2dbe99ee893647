#include "base/sha256.h"

#include "base/regular_file.h"

#include <memory>

namespace fabricor {
namespace {

// Pieces of a file read for its hash: large enough that the calls cost nothing beside the
// hashing, small enough not to show in the program's memory.
constexpr size_t kHashChunkSize = 64 * 1024;

std::optional<std::string> HexOf(Sha256Digest& digest) {
    std::optional<std::string> bytes = digest.Finish();
    if (!bytes)
        return std::nullopt;
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : *bytes) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

} // namespace

std::string Sha256Hex(std::string_view bytes) {
    Sha256Digest digest;
    digest.Add(bytes.data(), bytes.size());
    return HexOf(digest).value_or("");
}

FileHash Sha256OfFile(const std::string& path) {
    FileHash result;
    RegularFile file = RegularFile::Open(path, kFirmwareReadLimit);
    if (!file.ok()) {
        result.error = file.error();
        return result;
    }
    Sha256Digest digest;
    std::unique_ptr<char[]> chunk(new char[kHashChunkSize]);
    for (;;) {
        long long got = file.ReadSome(chunk.get(), kHashChunkSize);
        if (got < 0) {
            result.error = file.error();
            return result;
        }
        if (got == 0)
            break;
        digest.Add(chunk.get(), static_cast<size_t>(got));
    }
    result.hex = HexOf(digest);
    if (!result.hex)
        result.error = path + ": SHA-256 failed";
    return result;
}

Status HashingSink::Write(std::string_view bytes) {
    Status written = next_.Write(bytes);
    if (written.ok())
        digest_.Add(bytes.data(), bytes.size());
    return written;
}

std::optional<std::string> HashingSink::Hex() {
    return HexOf(digest_);
}

} // namespace fabricor
