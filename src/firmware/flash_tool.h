#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fabricor {

// The flash tool beside the executable, and what it is told: the new firmware's path in double
// quotes, a pilcrow, the serial port's index (0 for COM1 up to 7 for COM8), all in Windows-1252.
inline constexpr const char* kFlashToolFileName = "Progwerk.exe";
inline constexpr char kParameterPilcrow = '\xB6';
inline constexpr int kSerialPortCount = 8;

// Why the parameter string cannot carry a firmware path (UTF-8): a double quote would end the
// quoted path early, and a character that Windows-1252 cannot carry would send the tool to
// another file. Empty when it can.
std::string FlashToolPathProblem(const std::string& firmwarePath);

// The parameter string for a firmware path (UTF-8) and a port index. Nothing when the path
// cannot be carried (see FlashToolPathProblem) or the index is out of range.
std::optional<std::string> FlashToolParameters(const std::string& firmwarePath, int portIndex);

struct FlashToolRequest {
    std::string firmwarePath; // UTF-8
    int portIndex = 0;
    std::string error; // why the string was refused; empty when it was understood
};

// The tool's side: reads a parameter string back. The UTF-8 pilcrow is taken too, so the tool
// can be started by hand from a terminal.
FlashToolRequest ParseFlashToolParameters(std::string_view parameters);

} // namespace fabricor
