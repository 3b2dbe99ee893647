// The parts of the ICMP echo that every system shares: reading the host text and the checksum.
#include "platform/icmp_echo.h"

#include <algorithm>
#include <cctype>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace fabricor {

namespace {

bool IsDigitsAndDots(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return std::isdigit(c) || c == '.'; });
}

// Letters, digits, hyphens and dots only: anything else is no host name, so it is refused
// without asking the resolver.
bool LooksLikeHostName(const std::string& text) {
    if (text.empty() || text.size() > 253 || text.front() == '.' || text.front() == '-')
        return false;
    return std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return std::isalnum(c) || c == '-' || c == '.'; });
}

#ifdef _WIN32
// Windows sockets (the resolver among them) work only after WSAStartup, once per process.
bool SocketsStarted() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}
#endif

} // namespace

std::uint16_t InternetChecksum(const unsigned char* data, std::size_t length) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2)
        sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    if (length % 2 != 0)
        sum += static_cast<std::uint32_t>(data[length - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

Status ResolveIpv4(const std::string& host, std::uint32_t& address) {
#ifdef _WIN32
    if (!SocketsStarted())
        return Status::Error("Windows sockets cannot be started");
#endif
    in_addr parsed{};
    if (inet_pton(AF_INET, host.c_str(), &parsed) == 1) {
        address = parsed.s_addr;
        return Status::Ok();
    }
    if (IsDigitsAndDots(host) || !LooksLikeHostName(host))
        return Status::Error("Not an IPv4 address: " + host);
    addrinfo hints{};
    hints.ai_family = AF_INET;
#ifndef _WIN32
    hints.ai_socktype = SOCK_RAW;
#endif
    addrinfo* found = nullptr;
    // Short and hexadecimal address forms such as "127.1" or "0x7f.1" are refused likewise.
    hints.ai_flags = AI_NUMERICHOST;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0) {
        freeaddrinfo(found);
        return Status::Error("Not an IPv4 address: " + host);
    }
    found = nullptr;
    hints.ai_flags = 0;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return Status::Error("Unknown host: " + host);
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return Status::Ok();
}

} // namespace fabricor
