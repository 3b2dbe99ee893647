#include "platform/arguments.h"

#include "platform/files.h"

#include <windows.h>

#include <shellapi.h>

#include <filesystem>

namespace fabricor::platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words) {
        // Without the wide command line the narrow one is all there is.
        if (argc < 1)
            return {};
        return std::vector<std::string>(argv + 1, argv + argc);
    }
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(Utf8Name(std::filesystem::path(std::wstring(words[i]))));
    LocalFree(words);
    return arguments;
}

void PrintUtf8() {
    SetConsoleOutputCP(CP_UTF8);
}

} // namespace fabricor::platform
