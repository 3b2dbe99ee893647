#include "base/application_folder.h"

#include "base/folders.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fabricor {

namespace {

std::string WithoutTrailingSeparators(std::string path) {
    while (!path.empty() && (path.back() == '/' || path.back() == kSeparator))
        path.pop_back();
    return path;
}

bool IsAbsolute(const std::string& path) {
#ifdef _WIN32
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\')
        return true; // a roaming profile on a server
    return path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
#else
    return !path.empty() && path.front() == '/';
#endif
}

#ifdef _WIN32

std::wstring Wide(const std::string& text) {
    int length =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                          length);
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                          length, nullptr, nullptr);
    return text;
}

#endif

} // namespace

#ifdef _WIN32

// A folder's read-only attribute says nothing about writing into it: try it, with a file that
// the system removes again when it is closed.
std::string ExecutableFolder() {
    std::wstring path(32768, L'\0');
    DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size())
        return {};
    path.resize(length);
    std::string text = Narrow(path);
    auto cut = text.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : text.substr(0, cut);
}

bool FolderIsWritable(const std::string& folder) {
    DWORD attributes = ::GetFileAttributesW(Wide(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    std::wstring probe =
        Wide(folder) + L"\\.fabricor-write-test-" + std::to_wstring(::GetCurrentProcessId());
    HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(file);
    return true;
}

SystemFacts TheSystem() {
    SystemFacts facts;
    facts.folderWritable = FolderIsWritable;
    facts.variable = [](const char* name) -> std::optional<std::string> {
        const wchar_t* value = ::_wgetenv(Wide(name).c_str());
        if (!value)
            return std::nullopt;
        return Narrow(value);
    };
    facts.homeFolder = [] { return std::string(); };
    return facts;
}

#else

std::string ExecutableFolder() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.parent_path().string();
}

bool FolderIsWritable(const std::string& folder) {
    struct stat info {};
    if (folder.empty() || ::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    return (info.st_mode & 0222) != 0 && ::access(folder.c_str(), W_OK) == 0;
}

SystemFacts TheSystem() {
    SystemFacts facts;
    facts.folderWritable = FolderIsWritable;
    facts.variable = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        if (!value)
            return std::nullopt;
        return std::string(value);
    };
    facts.homeFolder = [] {
        long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
        struct passwd entry {};
        struct passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
            !found->pw_dir)
            return std::string();
        return std::string(found->pw_dir);
    };
    return facts;
}

#endif

ApplicationFolder DecideApplicationFolder(const std::string& programFolder,
                                          const SystemFacts& system) {
    ApplicationFolder result{programFolder, programFolder, {}};
    if (system.folderWritable(programFolder))
        return result;

    auto absolute = [&](const char* name) -> std::string {
        auto value = system.variable(name);
        return value && IsAbsolute(*value) ? WithoutTrailingSeparators(*value) + kSeparator
                                           : std::string();
    };
    std::string data;
#ifdef _WIN32
    if (std::string appData = absolute("APPDATA"); !appData.empty())
        data = appData + "Fabricor";
#else
    if (std::string xdg = absolute("XDG_DATA_HOME"); !xdg.empty()) {
        data = xdg + "fabricor";
    } else {
        std::string home = absolute("HOME");
        if (home.empty()) {
            std::string known = system.homeFolder();
            if (IsAbsolute(known))
                home = WithoutTrailingSeparators(known) + kSeparator;
        }
        if (!home.empty())
            data = home + ".local/share/fabricor";
    }
#endif
    if (data.empty())
        return result;
    result.dataFolder = data;
    result.reason = programFolder + " cannot be written";
    return result;
}

} // namespace fabricor
