#include "base/folders.h"

#include <algorithm>
#include <filesystem>

namespace fabricor {

namespace fs = std::filesystem;

bool FolderExists(const std::string& path) {
    return platform::FolderExists(path);
}

bool ForceFolders(const std::string& path) {
    return platform::CreateFolders(path);
}

bool LiesWithinFolder(const std::string& folder, const std::string& root) {
    std::error_code error;
    fs::path realFolder = fs::canonical(platform::PathOfUtf8(folder), error);
    if (error)
        return false;
    fs::path realRoot = fs::canonical(platform::PathOfUtf8(root), error);
    if (error)
        return false;
    auto [inRoot, inFolder] =
        std::mismatch(realRoot.begin(), realRoot.end(), realFolder.begin(), realFolder.end());
    (void)inFolder;
    return inRoot == realRoot.end();
}

bool HoldsControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

} // namespace fabricor
