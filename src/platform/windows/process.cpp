#include "platform/process.h"

#include <windows.h>

#include <shellapi.h>

#include <vector>

namespace fabricor {

namespace {

std::wstring Wide(const std::string& text, UINT codePage) {
    if (text.empty())
        return {};
    int size =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

} // namespace

bool StartDetachedProgram(const std::string& program, const std::string& argument,
                          const std::string& workingFolder) {
    // The program and the folder are UTF-8 like every other path; the parameter string goes
    // through as these bytes (Windows-1252, the pilcrow included) in the ANSI code page, read
    // as ShellExecuteA would read them, so the program's GetCommandLineA gives them back.
    const std::wstring file = Wide(program, CP_UTF8);
    const std::wstring parameters = Wide(argument, CP_ACP);
    const std::wstring folder = Wide(workingFolder, CP_UTF8);
    HINSTANCE started = ShellExecuteW(nullptr, L"open", file.c_str(),
                                      parameters.empty() ? nullptr : parameters.c_str(),
                                      folder.empty() ? nullptr : folder.c_str(), SW_SHOWNORMAL);
    // Values up to 32 are the shell's error codes.
    return reinterpret_cast<INT_PTR>(started) > 32;
}

std::optional<std::string> ProgramParameterString(int, char**) {
    const char* line = GetCommandLineA();
    // The program's own name first: quoted (no quote inside) or up to the first blank.
    if (*line == '"') {
        ++line;
        while (*line && *line != '"')
            ++line;
        if (*line == '"')
            ++line;
    } else {
        while (*line && *line != ' ' && *line != '\t')
            ++line;
    }
    while (*line == ' ' || *line == '\t')
        ++line;
    if (*line == '\0')
        return std::nullopt;
    return std::string(line);
}

} // namespace fabricor
