#pragma once

#include "platform/system_error.h"

#include <cstdint>
#include <functional>
#include <string>

namespace fabricor {

// Receives the byte count of the echo reply, 0 when none came within the receive limit.
using EchoReplyHandler = std::function<void(int byteCount)>;

// ICMP echo over IPv4, reached through this seam so the ping command can be driven by tests.
class EchoFacility {
public:
    virtual ~EchoFacility() = default;
    // Sends one echo request to `host` (dotted address or name) carrying `payload`, and blocks
    // until a reply that matches the request arrives or the receive limit has passed. Before
    // returning it calls `onReply` exactly once. A host that cannot be used, or a request that
    // cannot be sent, gives an error instead and `onReply` is not called. A `sequence` of 0
    // lets the facility use its own running sequence number.
    virtual platform::Result Ping(const std::string& host, const std::string& payload, std::uint16_t sequence,
                        const EchoReplyHandler& onReply) = 0;
};

// The real echo over the system's sockets (platform/posix/icmp_echo.cpp). On Linux it prefers the unprivileged ICMP datagram
// socket (allowed by net.ipv4.ping_group_range) and falls back to a raw socket.
class IcmpEchoFacility final : public EchoFacility {
public:
    enum class SocketKind { Any, Datagram, Raw };
    static constexpr int kReceiveLimitMs = 5000;

    explicit IcmpEchoFacility(SocketKind kind = SocketKind::Any,
                              int receiveLimitMs = kReceiveLimitMs)
        : kind_(kind), receiveLimitMs_(receiveLimitMs) {}

    platform::Result Ping(const std::string& host, const std::string& payload, std::uint16_t sequence,
                const EchoReplyHandler& onReply) override;

    // Whether a socket of this kind can be opened here at all.
    static bool CanOpen(SocketKind kind);

private:
    SocketKind kind_;
    int receiveLimitMs_;
    std::uint16_t runningSequence_ = 0;
};

// The IPv4 address a host text names, in network byte order: a strict dotted address, or a
// name the resolver knows. Text made only of digits and dots must be a full dotted address, so
// a mistyped address such as "192.168.1" is refused instead of reaching another device.
platform::Result ResolveIpv4(const std::string& host, std::uint32_t& address);

// The Internet checksum of RFC 1071.
std::uint16_t InternetChecksum(const unsigned char* data, std::size_t length);

} // namespace fabricor
