#pragma once

#include "platform/system_error.h"

#include <cstring>
#include <string>
#include <utility>

namespace fabricor {

// What kind of failure a Status is, so that a caller chooses by its code, never by its text.
enum class StatusCode {
    Ok,
    Failed,          // a failure told by its text alone
    SystemError,     // the system refused an operation on a subject (a file, a port)
    InvalidArgument, // what the caller was given is malformed (a parameter string, an option)
};

// Errors are values in the core: a failed operation carries the text the user will read, and a
// code. A failure about a subject keeps its cause apart, as "SUBJECT: CAUSE" is its message.
class Status {
public:
    Status() = default;
    static Status Ok() { return Status(); }
    static Status Error(std::string message, StatusCode code = StatusCode::Failed) {
        return Status(code, std::string(), std::move(message));
    }
    static Status Error(StatusCode code, std::string subject, std::string cause) {
        return Status(code, std::move(subject), std::move(cause));
    }
    // "SUBJECT: the system's text for errno value `error`".
    static Status System(std::string subject, int error) {
        return Status(StatusCode::SystemError, std::move(subject), std::strerror(error));
    }
    // What a platform call said: a refusal by the system is a SystemError.
    static Status Of(const platform::Result& result) {
        if (result)
            return Ok();
        return Error(result.message(),
                     result.systemError() != 0 ? StatusCode::SystemError : StatusCode::Failed);
    }

    bool ok() const { return code_ == StatusCode::Ok; }
    explicit operator bool() const { return ok(); }
    StatusCode code() const { return code_; }
    const std::string& message() const { return message_; }
    // The message without its subject: what went wrong.
    const std::string& cause() const { return cause_; }

private:
    Status(StatusCode code, std::string subject, std::string cause)
        : code_(code), message_(subject.empty() ? cause : subject + ": " + cause),
          cause_(std::move(cause)) {}

    StatusCode code_ = StatusCode::Ok;
    std::string message_;
    std::string cause_;
};

} // namespace fabricor
