#include "base/folders.h"

#include <algorithm>
#include <filesystem>

namespace fabricor {

namespace fs = std::filesystem;

bool FolderExists(const std::string& path) {
    if (path.empty())
        return false;
    std::error_code error;
    return fs::is_directory(fs::path(path), error);
}

bool ForceFolders(const std::string& path) {
    if (path.empty())
        return false;
    std::error_code error;
    fs::create_directories(fs::path(path), error);
    return FolderExists(path);
}

bool LiesWithinFolder(const std::string& folder, const std::string& root) {
    std::error_code error;
    fs::path realFolder = fs::canonical(fs::path(folder), error);
    if (error)
        return false;
    fs::path realRoot = fs::canonical(fs::path(root), error);
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
