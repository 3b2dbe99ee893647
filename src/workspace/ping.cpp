#include "workspace/ping.h"

#include <exception>

namespace fabricor {

PingResultTexts TextsOfPingResult(PingResultKind kind) {
    switch (kind) {
    case PingResultKind::Found:
        return {"Ping! Device Found!", "Device Found!"};
    case PingResultKind::NotFound:
        return {"Ping! Device Not Found!", "Device Not Found!"};
    case PingResultKind::Error:
        break;
    }
    return {"Ping! Error!!!", "Error!!! Check the Ip Address"};
}

int PingStateOfReply(int byteCount) { return byteCount > 0 ? kPingFound : kPingNotFound; }

PingResultKind RunDevicePing(const std::string& host, EchoFacility& echo, PingWaitHost& wait,
                             int& pingState, const EchoReplyHandler& reply) {
    try {
        const std::uint32_t start = wait.TickCount();
        pingState = kPingWaiting;
        if (!echo.Ping(host, host, 0, reply))
            return PingResultKind::Error;
        // Unsigned difference: a wrap of the tick counter does not end the wait early or late.
        do {
            wait.Sleep(kPingPollMs);
            wait.ProcessMessages();
        } while (pingState == kPingWaiting &&
                 static_cast<std::uint32_t>(wait.TickCount() - start) <= kPingWaitLimitMs);
        return pingState == kPingFound ? PingResultKind::Found : PingResultKind::NotFound;
    } catch (const std::exception&) {
        // Any failure on the way is the error result and nothing more.
        return PingResultKind::Error;
    }
}

} // namespace fabricor
