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

// Short and hexadecimal address forms such as "127.1" or "0x7f.1": every label a decimal number
// or a 0x number. Some resolvers read them as addresses and others pass them on to DNS, so they
// are refused here, the same on every system.
bool IsNumericAddressForm(const std::string& text) {
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find('.', start);
        if (end == std::string::npos)
            end = text.size();
        std::string label = text.substr(start, end - start);
        bool hex = label.size() >= 2 && label[0] == '0' && (label[1] == 'x' || label[1] == 'X');
        auto digits = hex ? label.substr(2) : label;
        bool number = std::all_of(digits.begin(), digits.end(), [hex](unsigned char c) {
            return hex ? std::isxdigit(c) != 0 : std::isdigit(c) != 0;
        });
        if (!number || (!hex && label.empty()))
            return false;
        start = end + 1;
    }
    return true;
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

platform::Result ResolveIpv4(const std::string& host, std::uint32_t& address) {
#ifdef _WIN32
    if (!SocketsStarted())
        return platform::Result::Failed("Windows sockets cannot be started");
#endif
    in_addr parsed{};
    if (inet_pton(AF_INET, host.c_str(), &parsed) == 1) {
        address = parsed.s_addr;
        return platform::Result::Ok();
    }
    if (IsDigitsAndDots(host) || IsNumericAddressForm(host) || !LooksLikeHostName(host))
        return platform::Result::Failed("Not an IPv4 address: " + host);
    addrinfo hints{};
    hints.ai_family = AF_INET;
#ifndef _WIN32
    hints.ai_socktype = SOCK_RAW;
#endif
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return platform::Result::Failed("Unknown host: " + host);
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return platform::Result::Ok();
}

} // namespace fabricor
