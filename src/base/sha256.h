#pragma once

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

} // namespace fabricor
