#include "platform/user_folders.h"

#include <windows.h>

#include <cstdlib>

namespace fabricor::platform {
namespace {

std::wstring Wide(const std::string& text) {
    int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length,
                        nullptr, nullptr);
    return text;
}

std::string WithoutTrailingSeparators(std::string path) {
    while (!path.empty() && (path.back() == '/' || path.back() == '\\'))
        path.pop_back();
    return path;
}

bool IsAbsolute(const std::string& path) {
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\')
        return true; // a roaming profile on a server
    return path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

} // namespace

std::string ExecutablePath() {
    std::wstring path(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size())
        return {};
    path.resize(length);
    return Narrow(path);
}

// A folder's read-only attribute says nothing about writing into it: try it, with a file that
// the system removes again when it is closed.
bool FolderIsWritable(const std::string& folder) {
    DWORD attributes = GetFileAttributesW(Wide(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    std::wstring probe =
        Wide(folder) + L"\\.fabricor-write-test-" + std::to_wstring(GetCurrentProcessId());
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

bool FolderIsReadable(const std::string& folder) {
    DWORD attributes = GetFileAttributesW(Wide(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW((Wide(folder) + L"\\*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE)
        return false;
    FindClose(listing);
    return true;
}

std::optional<std::string> EnvironmentVariable(const char* name) {
    const wchar_t* value = _wgetenv(Wide(name).c_str());
    if (!value)
        return std::nullopt;
    return Narrow(value);
}

std::string UserDatabaseHome() {
    return std::string();
}

// %APPDATA%\Fabricor.
std::string
PerUserDataFolder(const std::function<std::optional<std::string>(const char* name)>& variable,
                  const std::function<std::string()>&) {
    auto appData = variable("APPDATA");
    if (!appData || !IsAbsolute(*appData))
        return std::string();
    return WithoutTrailingSeparators(*appData) + "\\Fabricor";
}

} // namespace fabricor::platform
