#include "base/folders.h"

#include <algorithm>

namespace fabricor {

bool FolderExists(const std::string& path) {
    return platform::FolderExists(path);
}

bool ForceFolders(const std::string& path) {
    return platform::CreateFolders(path);
}

bool HoldsControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

} // namespace fabricor
