#include "firmware/flash_tool.h"

#include "base/text_encoding.h"

namespace fabricor {

std::string FlashToolPathProblem(const std::string& firmwarePath) {
    if (firmwarePath.find('"') != std::string::npos)
        return "it holds a double quote (\"), which would end the quoted path early";
    if (!FitsWindows1252(firmwarePath))
        return "it holds a character outside Windows-1252, the code page the path is passed in";
    return {};
}

std::optional<std::string> FlashToolParameters(const std::string& firmwarePath, int portIndex) {
    if (!FlashToolPathProblem(firmwarePath).empty() || portIndex < 0 ||
        portIndex >= kSerialPortCount)
        return std::nullopt;
    return '"' + Utf8ToWindows1252(firmwarePath) + '"' + kParameterPilcrow +
           std::to_string(portIndex);
}

FlashToolRequest ParseFlashToolParameters(std::string_view parameters) {
    FlashToolRequest request;
    auto refuse = [&](const char* why) {
        request.error = why;
        return request;
    };
    if (parameters.size() < 2 || parameters.front() != '"')
        return refuse("the firmware path must come first, in double quotes");
    size_t closing = parameters.find('"', 1);
    if (closing == std::string_view::npos)
        return refuse("the firmware path has no closing double quote");
    std::string_view path = parameters.substr(1, closing - 1);
    if (path.empty())
        return refuse("the firmware path is empty");
    std::string_view rest = parameters.substr(closing + 1);
    if (rest.starts_with(kParameterPilcrow))
        rest.remove_prefix(1);
    else if (rest.starts_with("\xC2\xB6"))
        rest.remove_prefix(2);
    else
        return refuse("a pilcrow must follow the firmware path");
    if (rest.size() != 1 || rest[0] < '0' || rest[0] >= '0' + kSerialPortCount)
        return refuse("the port index must be one digit from 0 (COM1) to 7 (COM8)");
    request.firmwarePath = Windows1252ToUtf8(path);
    request.portIndex = rest[0] - '0';
    return request;
}

} // namespace fabricor
