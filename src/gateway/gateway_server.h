#pragma once

#include "gateway/gateway_project.h"
#include "gateway/gateway_rules.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
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
    std::ostream* log = nullptr;     // the same lines, each after its date and time
    // A client whose frame stays unfinished this long is dropped, so it holds nothing for good.
    std::chrono::milliseconds unfinishedFrameLimit{10000};
    size_t maxClients = 32;
    // A client with this many requests waiting is not read until one is served.
    size_t maxQueuedPerClient = 16;
    // A client that leaves more than this of its answers unread is dropped.
    size_t maxUnreadAnswerBytes = 4096;
};

class RtuLine;

// The gateway itself: one listening socket, any number of TCP clients, one RTU line. A single
// poll loop reads every client and the line without blocking on any of them. What needs no line
// (an exception the gateway decides) is answered at once; the rest goes to the line one request
// at a time, the clients taking turns: one request from each client with work waiting.
class GatewayServer {
public:
    explicit GatewayServer(GatewayOptions options);
    ~GatewayServer();
    GatewayServer(const GatewayServer&) = delete;
    GatewayServer& operator=(const GatewayServer&) = delete;

    // Opens the serial line, then listens. Empty when both worked, else what went wrong.
    std::string Open();
    uint16_t port() const { return port_; }

    // Serves until `stopFd` becomes readable (a pipe a signal handler writes to). Each time
    // `reportFd` becomes readable, it is drained and `report` called, between two steps of the
    // loop: a signal handler only has to write to a pipe.
    void Run(int stopFd, int reportFd = -1, const std::function<void()>& report = {});

    const GatewayCounters& counters() const { return counters_; }

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        TcpFrame frame;
        Decision decision;
        Clock::time_point received;
    };
    struct Client {
        int fd = -1;
        std::string peer;
        Bytes buffer; // read, not yet cut into requests
        std::optional<Clock::time_point> unfinishedSince;
        std::deque<Pending> queue;
    };
    // The request on the line.
    struct Transaction {
        uint64_t client = 0;
        Pending pending;
        std::string line; // what the verbose line says so far
        bool sent = false;
        Clock::time_point deadline; // before it is sent: the most the line is drained
        size_t passedOver = 0;      // bytes the line brought that did not answer it
    };

    void Accept();
    void ReadClient(uint64_t id);
    void TakeRequests(uint64_t id);
    void CutRequests(uint64_t id);
    void DropClient(uint64_t id, const std::string& why);
    void DropStaleClients(Clock::time_point now);
    void Answer(uint64_t id, const Pending& pending, const Bytes& pdu, std::string line);
    void AnswerWhatNeedsNoLine(uint64_t id);
    void StartNext();
    void ListenToLine(short events);
    void AdvanceLine(Clock::time_point now);
    void Finish(const std::optional<Bytes>& answer, const std::string& outcome);
    std::optional<Clock::time_point> LineWakeUp() const;
    std::string Describe(uint64_t id, const Pending& pending) const;
    void Tally(const Pending& pending, const std::optional<Bytes>& answer, bool timedOut,
               bool fromDevice);
    void Say(const std::string& line);

    GatewayOptions options_;
    LineTiming timing_;
    std::unique_ptr<RtuLine> line_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    uint64_t nextClient_ = 1;
    std::map<uint64_t, Client> clients_;
    std::deque<uint64_t> turns_; // the clients with requests waiting, in the order of their turn
    std::optional<Transaction> current_;
    Bytes heard_;                    // what the line brought since the last request went out
    Clock::time_point lastActivity_; // the last byte heard, or a request left unanswered
    bool lineDirty_ = false;         // the line brought, or may still bring, what nobody took
    Clock::time_point quietUntil_;   // a broadcast's turnaround delay
    std::optional<RtuRequest> owed_; // the last request the line left unanswered, while its
                                     // late answer may still come
    Clock::time_point owedUntil_;
    GatewayCounters counters_;
};

} // namespace fabricor::gateway
