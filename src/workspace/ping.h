#pragma once

#include "platform/icmp_echo.h"

#include <cstdint>
#include <string>

namespace fabricor {

// The outcome of Ping Device, numbered as the Ping dialog's result kinds.
enum class PingResultKind { Found = 0, NotFound = 1, Error = 2 };

struct PingResultTexts {
    const char* caption;
    const char* label;
};

// The Ping dialog's caption and label for a result.
PingResultTexts TextsOfPingResult(PingResultKind kind);

// PingState values held by the main window.
inline constexpr int kPingWaiting = 0;
inline constexpr int kPingFound = 1;
inline constexpr int kPingNotFound = 2;

// What the reply notification makes of a reply: any byte count above zero is a device found.
int PingStateOfReply(int byteCount);

// The waiting after the echo call needs a tick counter, a sleep and the processing of pending
// window messages; tests give their own so nothing really waits.
class PingWaitHost {
public:
    virtual ~PingWaitHost() = default;
    // Milliseconds, wrapping at 2^32.
    virtual std::uint32_t TickCount() = 0;
    virtual void Sleep(int milliseconds) = 0;
    virtual void ProcessMessages() = 0;
};

inline constexpr int kPingPollMs = 10;
inline constexpr std::uint32_t kPingWaitLimitMs = 10000;

// Ping Device up to the choice of the result: resets `pingState`, sends one echo request to
// `host` with `host` as its payload (`reply` is the main window's reply notification, which
// sets `pingState`), then polls until the state is set or the wait limit has passed.
PingResultKind RunDevicePing(const std::string& host, EchoFacility& echo, PingWaitHost& wait,
                             int& pingState, const EchoReplyHandler& reply);

} // namespace fabricor
