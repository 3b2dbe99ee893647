#include "base/folders.h"

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

} // namespace fabricor
