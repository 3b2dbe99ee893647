#pragma once

#include <string>
#include <utility>

namespace fabricor::platform {

// The system's text for an errno value.
std::string SystemErrorText(int error);

// What a platform call gives back: success, or the text for the user together with the system's
// own error (an errno value on POSIX, a GetLastError() code on Windows), so that a caller decides
// by the error and never by the words. An error of 0: the refusal is the program's own (a device
// that is no serial port, a host text that is no address).
class Result {
public:
    Result() = default;
    static Result Ok() { return Result(); }
    static Result Failed(std::string message, int systemError = 0) {
        Result result;
        result.failed_ = true;
        result.message_ = std::move(message);
        result.systemError_ = systemError;
        return result;
    }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& message() const { return message_; }
    int systemError() const { return systemError_; }

private:
    bool failed_ = false;
    std::string message_;
    int systemError_ = 0;
};

} // namespace fabricor::platform
