#include "platform/icmp_echo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace fabricor {
namespace {

// Only loopback is ever the target here.
struct Replies {
    std::vector<int> bytes;
    EchoReplyHandler handler() {
        return [this](int count) { bytes.push_back(count); };
    }
};

void ExpectLoopbackAnswers(IcmpEchoFacility::SocketKind kind) {
    if (!IcmpEchoFacility::CanOpen(kind)) {
#ifdef _WIN32
        if (kind != IcmpEchoFacility::SocketKind::Any)
            GTEST_SKIP() << "Windows gives a program no ICMP socket of this kind; the system's "
                            "echo call (IcmpSendEcho) is the Any case";
#endif
        GTEST_SKIP() << "this system allows no ICMP socket of this kind";
    }
    IcmpEchoFacility echo(kind);
    Replies replies;
    ASSERT_TRUE(echo.Ping("127.0.0.1", "127.0.0.1", 0, replies.handler()));
    // A second request gets the next running sequence number and must match its own reply,
    // not a late copy of the first.
    ASSERT_TRUE(echo.Ping("127.0.0.1", "127.0.0.1", 0, replies.handler()));
    ASSERT_EQ(replies.bytes.size(), 2u);
    EXPECT_EQ(replies.bytes[0], 8 + 9); // ICMP header and the address text
    EXPECT_EQ(replies.bytes[1], 8 + 9);
}

TEST(IcmpEcho, LoopbackAnswersThroughWhicheverSocketTheSystemAllows) {
    ExpectLoopbackAnswers(IcmpEchoFacility::SocketKind::Any);
}

TEST(IcmpEcho, LoopbackAnswersThroughARawSocket) {
    ExpectLoopbackAnswers(IcmpEchoFacility::SocketKind::Raw);
}

TEST(IcmpEcho, LoopbackAnswersThroughADatagramSocket) {
    ExpectLoopbackAnswers(IcmpEchoFacility::SocketKind::Datagram);
}

TEST(IcmpEcho, LocalhostIsResolvedByName) {
    if (!IcmpEchoFacility::CanOpen(IcmpEchoFacility::SocketKind::Any))
        GTEST_SKIP() << "this system allows no ICMP socket";
    IcmpEchoFacility echo;
    Replies replies;
    ASSERT_TRUE(echo.Ping("localhost", "localhost", 0, replies.handler()));
    ASSERT_EQ(replies.bytes.size(), 1u);
    EXPECT_GT(replies.bytes[0], 0);
}

TEST(IcmpEcho, UnusableHostTextFailsWithoutAReply) {
    IcmpEchoFacility echo;
    for (const char* host : {"", "1.2.3", "127.0.0.256", "999.1.1.1", "127.0.0.1 ", "bad host!",
                             "-x", "127.0.0.1/8"}) {
        Replies replies;
        auto status = echo.Ping(host, host, 0, replies.handler());
        EXPECT_FALSE(status) << '"' << host << '"';
        EXPECT_FALSE(status.message().empty());
        EXPECT_TRUE(replies.bytes.empty()) << '"' << host << '"';
    }
}

TEST(IcmpEcho, StrictDottedAddressesResolveWithoutTheResolver) {
    std::uint32_t address = 0;
    ASSERT_TRUE(ResolveIpv4("127.0.0.1", address));
    unsigned char bytes[4];
    std::memcpy(bytes, &address, sizeof bytes); // network byte order: as written
    EXPECT_EQ(bytes[0], 127);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[2], 0);
    EXPECT_EQ(bytes[3], 1);
    ASSERT_TRUE(ResolveIpv4("0.0.0.0", address));
    EXPECT_EQ(address, 0u);
    // Short and hexadecimal forms never reach the resolver, which reads them differently on
    // each system (and a resolver that answers every name would make them hosts).
    for (const char* form : {"0x7f.1", "127.1", "0x7f000001", "0X7F.0.0.1", "0x.1"}) {
        auto status = ResolveIpv4(form, address);
        EXPECT_FALSE(status) << form;
        EXPECT_NE(status.message().find("Not an IPv4 address"), std::string::npos) << form;
    }
}

TEST(IcmpEcho, ChecksumFollowsRfc1071) {
    const unsigned char even[] = {0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7};
    EXPECT_EQ(InternetChecksum(even, sizeof even), 0x220D);
    const unsigned char odd[] = {0x08, 0x00, 0x00, 0x00, 0x12, 0x34, 0x00, 0x01, 0x41};
    // Summing a message with its own checksum in place gives zero.
    unsigned char withSum[sizeof odd];
    std::copy(std::begin(odd), std::end(odd), withSum);
    auto sum = InternetChecksum(odd, sizeof odd);
    withSum[2] = static_cast<unsigned char>(sum >> 8);
    withSum[3] = static_cast<unsigned char>(sum);
    EXPECT_EQ(InternetChecksum(withSum, sizeof withSum), 0);
}

} // namespace
} // namespace fabricor
