#include "platform/process.h"

#include <windows.h>

#include <shellapi.h>

#include <vector>

namespace fabricor {

bool StartDetachedProgram(const std::string& program, const std::string& argument,
                          const std::string& workingFolder) {
    // The shell starts it as the update dialog always did: the parameter string goes through
    // as these bytes (Windows-1252, the pilcrow included), in the ANSI code page.
    HINSTANCE started = ShellExecuteA(
        nullptr, "open", program.c_str(), argument.empty() ? nullptr : argument.c_str(),
        workingFolder.empty() ? nullptr : workingFolder.c_str(), SW_SHOWNORMAL);
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
