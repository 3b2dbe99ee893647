#pragma once

#include "gateway/gateway_project.h"
#include "gateway/gateway_rules.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>

namespace fabricor::gateway {

struct GatewayOptions {
    GatewaySettings settings;
    std::string serialDevice;
    ListenAddress listen{"127.0.0.1", 502};
    std::ostream* verbose = nullptr; // one line per request when set
    // A client whose frame stays unfinished this long is dropped, so it holds nothing for good.
    std::chrono::milliseconds unfinishedFrameLimit{10000};
    size_t maxClients = 32;
    size_t maxQueuedPerClient = 16;
};

class RtuLine;

// The gateway itself: one listening socket, any number of TCP clients, one RTU line. A single
// poll loop reads every client without blocking on any of them, queues complete requests in the
// order they were read and sends them to the line one at a time.
class GatewayServer {
public:
    explicit GatewayServer(GatewayOptions options);
    ~GatewayServer();
    GatewayServer(const GatewayServer&) = delete;
    GatewayServer& operator=(const GatewayServer&) = delete;

    // Opens the serial line, then listens. Empty when both worked, else what went wrong.
    std::string Open();
    uint16_t port() const { return port_; }

    // Serves until `stopFd` becomes readable (a pipe a signal handler writes to).
    void Run(int stopFd);

    const GatewayCounters& counters() const { return counters_; }

private:
    using Clock = std::chrono::steady_clock;
    struct Client {
        int fd = -1;
        std::string peer;
        Bytes buffer;
        std::optional<Clock::time_point> unfinishedSince;
    };
    struct Pending {
        uint64_t client;
        TcpFrame frame;
        Clock::time_point received;
    };

    void Accept();
    void ReadClient(uint64_t id);
    void DropClient(uint64_t id, const std::string& why);
    void DropStaleClients(Clock::time_point now);
    void Serve(const Pending& pending);
    bool Reply(uint64_t id, const TcpFrame& request, const Bytes& pdu);
    void Say(const std::string& line);

    GatewayOptions options_;
    std::unique_ptr<RtuLine> line_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    uint64_t nextClient_ = 1;
    std::map<uint64_t, Client> clients_;
    std::deque<Pending> queue_;
    GatewayCounters counters_;
};

} // namespace fabricor::gateway
