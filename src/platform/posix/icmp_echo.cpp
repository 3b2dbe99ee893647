#include "platform/icmp_echo.h"

#include <chrono>
#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace fabricor {

namespace {

// "WHAT: the system's text", the errno value kept for the caller.
platform::Result SystemFailure(const std::string& what) {
    int error = errno;
    return platform::Result::Failed(what + ": " + platform::SystemErrorText(error), error);
}

constexpr std::uint8_t kEchoReply = 0;
constexpr std::uint8_t kEchoRequest = 8;
constexpr std::size_t kIcmpHeaderSize = 8;

} // namespace

namespace {

class Socket {
public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

int OpenIcmpSocket(IcmpEchoFacility::SocketKind kind, bool& raw) {
    if (kind != IcmpEchoFacility::SocketKind::Raw) {
        int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (fd >= 0 || kind == IcmpEchoFacility::SocketKind::Datagram) {
            raw = false;
            return fd;
        }
    }
    raw = true;
    return ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
}

std::uint16_t ReadBigEndian16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

} // namespace

bool IcmpEchoFacility::CanOpen(SocketKind kind) {
    bool raw = false;
    Socket socket(OpenIcmpSocket(kind, raw));
    return socket.fd() >= 0;
}

platform::Result IcmpEchoFacility::Ping(const std::string& host, const std::string& payload,
                              std::uint16_t sequence, const EchoReplyHandler& onReply) {
    std::uint32_t target = 0;
    if (auto resolved = ResolveIpv4(host, target); !resolved)
        return resolved;

    bool raw = false;
    Socket socket(OpenIcmpSocket(kind_, raw));
    if (socket.fd() < 0)
        return SystemFailure("Cannot open an ICMP socket");

    if (sequence == 0)
        sequence = ++runningSequence_;
    // A datagram socket gets its identifier from the kernel, which also hands it only the
    // replies that carry it; a raw socket sees every ICMP message and must check it itself.
    const auto identifier = static_cast<std::uint16_t>((::getpid() ^ (sequence << 8)) & 0xFFFF);

    std::vector<unsigned char> request(kIcmpHeaderSize + payload.size());
    request[0] = kEchoRequest;
    request[1] = 0;
    request[4] = static_cast<unsigned char>(identifier >> 8);
    request[5] = static_cast<unsigned char>(identifier);
    request[6] = static_cast<unsigned char>(sequence >> 8);
    request[7] = static_cast<unsigned char>(sequence);
    std::memcpy(request.data() + kIcmpHeaderSize, payload.data(), payload.size());
    std::uint16_t checksum = InternetChecksum(request.data(), request.size());
    request[2] = static_cast<unsigned char>(checksum >> 8);
    request[3] = static_cast<unsigned char>(checksum);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = target;
    if (::sendto(socket.fd(), request.data(), request.size(), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0)
        return SystemFailure("Cannot send the echo request");

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(receiveLimitMs_);
    std::vector<unsigned char> buffer(65536);
    int bytes = 0;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd waiting{socket.fd(), POLLIN, 0};
        int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        ssize_t got = ::recvfrom(socket.fd(), buffer.data(), buffer.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            break; // an error on the socket is no reply
        }
        const unsigned char* icmp = buffer.data();
        std::size_t length = static_cast<std::size_t>(got);
        if (raw) {
            if (length < 20)
                continue;
            std::size_t headerSize = static_cast<std::size_t>(buffer[0] & 0x0F) * 4;
            if (headerSize < 20 || length < headerSize)
                continue;
            icmp += headerSize;
            length -= headerSize;
        }
        if (from.sin_addr.s_addr != target || length != request.size() ||
            icmp[0] != kEchoReply || icmp[1] != 0 || ReadBigEndian16(icmp + 6) != sequence)
            continue;
        if (raw && ReadBigEndian16(icmp + 4) != identifier)
            continue;
        if (std::memcmp(icmp + kIcmpHeaderSize, payload.data(), payload.size()) != 0)
            continue;
        bytes = static_cast<int>(length);
        break;
    }
    onReply(bytes);
    return platform::Result::Ok();
}


} // namespace fabricor
