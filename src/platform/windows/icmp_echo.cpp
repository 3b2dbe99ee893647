#include "platform/icmp_echo.h"

#include <windows.h>
#include <winsock2.h>

#include "platform/windows/system_message.h"

#include <iphlpapi.h>

#include <icmpapi.h>

#include <cstring>
#include <vector>

namespace fabricor {

namespace {

constexpr std::size_t kIcmpHeaderSize = 8;

class EchoHandle {
public:
    EchoHandle() : handle_(IcmpCreateFile()) {}
    ~EchoHandle() {
        if (ok())
            IcmpCloseHandle(handle_);
    }
    EchoHandle(const EchoHandle&) = delete;
    EchoHandle& operator=(const EchoHandle&) = delete;
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

} // namespace

// Windows has one way to an echo, the system's echo call (no socket of either kind for a
// program), so only SocketKind::Any opens.
bool IcmpEchoFacility::CanOpen(SocketKind kind) {
    if (kind != SocketKind::Any)
        return false;
    EchoHandle handle;
    return handle.ok();
}

platform::Result IcmpEchoFacility::Ping(const std::string& host, const std::string& payload,
                                        std::uint16_t sequence, const EchoReplyHandler& onReply) {
    std::uint32_t target = 0;
    if (auto resolved = ResolveIpv4(host, target); !resolved)
        return resolved;
    if (kind_ != SocketKind::Any)
        return platform::Result::Failed("Windows offers no ICMP socket of this kind");
    if (payload.size() > 65500)
        return platform::Result::Failed("The echo request is too long");
    (void)sequence; // the system numbers its requests itself

    EchoHandle handle;
    if (!handle.ok()) {
        DWORD error = GetLastError();
        return platform::Result::Failed("Cannot open the ICMP echo: " + SystemMessage(error),
                                        int(error));
    }

    // Room for one reply, its data, and an ICMP error message, as IcmpSendEcho asks.
    std::vector<unsigned char> replies(sizeof(ICMP_ECHO_REPLY) + payload.size() + 8 + 64);
    std::vector<char> request(payload.begin(), payload.end());
    DWORD count = IcmpSendEcho(
        handle.get(), static_cast<IPAddr>(target), request.empty() ? nullptr : request.data(),
        static_cast<WORD>(request.size()), nullptr, replies.data(),
        static_cast<DWORD>(replies.size()), static_cast<DWORD>(receiveLimitMs_));
    int bytes = 0;
    if (count > 0) {
        const auto* reply = reinterpret_cast<const ICMP_ECHO_REPLY*>(replies.data());
        if (reply->Status == IP_SUCCESS && reply->Address == target &&
            reply->DataSize == payload.size() &&
            (payload.empty() || std::memcmp(reply->Data, payload.data(), payload.size()) == 0))
            bytes = static_cast<int>(kIcmpHeaderSize + reply->DataSize);
    } else {
        DWORD error = GetLastError();
        // No answer in time, or the network said the host cannot be reached: both are no reply.
        // Anything else means the request never went out.
        if (error != IP_REQ_TIMED_OUT && error != ERROR_SUCCESS &&
            (error < IP_STATUS_BASE || error > IP_GENERAL_FAILURE))
            return platform::Result::Failed("Cannot send the echo request: " + SystemMessage(error),
                                            int(error));
    }
    onReply(bytes);
    return platform::Result::Ok();
}

} // namespace fabricor
