#include "platform/user_folders.h"

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fabricor::platform {
namespace {

std::string WithoutTrailingSeparators(std::string path) {
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    return path;
}

bool IsAbsolute(const std::string& path) {
    return !path.empty() && path.front() == '/';
}

} // namespace

std::string ExecutablePath() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

bool FolderIsWritable(const std::string& folder) {
    struct stat info {};
    if (folder.empty() || ::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    return (info.st_mode & 0222) != 0 && ::access(folder.c_str(), W_OK) == 0;
}

bool FolderIsReadable(const std::string& folder) {
    struct stat info {};
    if (folder.empty() || ::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    return (info.st_mode & 0444) != 0 && ::access(folder.c_str(), R_OK | X_OK) == 0;
}

std::optional<std::string> EnvironmentVariable(const char* name) {
    const char* value = std::getenv(name);
    if (!value)
        return std::nullopt;
    return std::string(value);
}

std::string UserDatabaseHome() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir)
        return std::string();
    return std::string(found->pw_dir);
}

// $XDG_DATA_HOME/fabricor, or ~/.local/share/fabricor.
std::string
PerUserDataFolder(const std::function<std::optional<std::string>(const char* name)>& variable,
                  const std::function<std::string()>& homeFolder) {
    auto absolute = [&](const char* name) -> std::string {
        auto value = variable(name);
        return value && IsAbsolute(*value) ? WithoutTrailingSeparators(*value) + '/'
                                           : std::string();
    };
    if (std::string xdg = absolute("XDG_DATA_HOME"); !xdg.empty())
        return xdg + "fabricor";
    std::string home = absolute("HOME");
    if (home.empty()) {
        std::string known = homeFolder();
        if (IsAbsolute(known))
            home = WithoutTrailingSeparators(known) + '/';
    }
    return home.empty() ? std::string() : home + ".local/share/fabricor";
}

} // namespace fabricor::platform
