#pragma once

#include <windows.h>

#include <string>

namespace fabricor {

// The system's text for an error code from GetLastError(), without its closing period.
inline std::string SystemMessage(DWORD code) {
    char* text = nullptr;
    DWORD size = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string message = size && text ? std::string(text, size) : std::string();
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "system error " + std::to_string(code) : message;
}

} // namespace fabricor
