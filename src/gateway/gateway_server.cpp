#include "gateway/gateway_server.h"

#include <modbus/modbus.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <thread>
#include <vector>

namespace fabricor::gateway {

// The RTU master side, on libmodbus. A line that fails is reopened at the next request.
class RtuLine {
public:
    enum class Result { Answered, Broadcast, TimedOut, BadAnswer, LineDown };

    RtuLine(const std::string& device, const GatewaySettings& settings) {
        context_ = modbus_new_rtu(device.c_str(), settings.baudRate, settings.parity, 8,
                                  settings.stopBits);
        if (context_)
            modbus_set_response_timeout(context_, uint32_t(settings.timeOutMs / 1000),
                                        uint32_t(settings.timeOutMs % 1000) * 1000u);
    }
    ~RtuLine() {
        if (context_) {
            if (up_)
                modbus_close(context_);
            modbus_free(context_);
        }
    }
    RtuLine(const RtuLine&) = delete;
    RtuLine& operator=(const RtuLine&) = delete;

    std::string Open() {
        if (!context_)
            return std::strerror(errno);
        if (modbus_connect(context_) != 0)
            return modbus_strerror(errno);
        up_ = true;
        return {};
    }

    Result Transact(uint8_t slave, const Bytes& pdu, Bytes& answer) {
        answer.clear();
        if (!up_) {
            modbus_close(context_);
            if (modbus_connect(context_) != 0)
                return Result::LineDown;
            up_ = true;
        }
        modbus_set_slave(context_, slave);
        // A late answer to an earlier request must not pass for this one. Only what came in is
        // dropped: modbus_flush would also drop a broadcast not yet sent out.
        const int fd = modbus_get_socket(context_);
        ::tcflush(fd, TCIFLUSH);
        // The slaves get the turnaround delay to act on a broadcast before anything else comes.
        std::this_thread::sleep_until(quietUntil_);
        Bytes request;
        request.reserve(pdu.size() + 1);
        request.push_back(slave);
        request.insert(request.end(), pdu.begin(), pdu.end());
        if (modbus_send_raw_request(context_, request.data(), int(request.size())) < 0)
            return Down();
        // The time-out runs from the end of the request, which on a slow line is well after
        // the write returns.
        if (::tcdrain(fd) != 0)
            return Down();
        if (slave == 0) {
            quietUntil_ = std::chrono::steady_clock::now() + kTurnaroundDelay;
            return Result::Broadcast;
        }
        uint8_t buffer[MODBUS_RTU_MAX_ADU_LENGTH];
        const int got = modbus_receive_confirmation(context_, buffer);
        if (got < 0) {
            if (errno == ETIMEDOUT)
                return Result::TimedOut;
            if (errno == EMBBADCRC || errno == EMBBADDATA || errno == EMBMDATA ||
                errno == EMBBADSLAVE || errno == EMBBADEXC)
                return Result::BadAnswer;
            return Down();
        }
        // Address byte and CRC off: what is left is the answer's PDU.
        if (got < 4 || buffer[0] != slave)
            return Result::BadAnswer;
        answer.assign(buffer + 1, buffer + got - 2);
        return AnswersRequest(pdu, answer) ? Result::Answered : Result::BadAnswer;
    }

private:
    Result Down() {
        modbus_close(context_);
        up_ = false;
        return Result::LineDown;
    }

    static constexpr std::chrono::milliseconds kTurnaroundDelay{100};

    modbus_t* context_ = nullptr;
    bool up_ = false;
    std::chrono::steady_clock::time_point quietUntil_{};
};

namespace {

std::string PeerName(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

std::string Milliseconds(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", ms);
    return text;
}

} // namespace

GatewayServer::GatewayServer(GatewayOptions options) : options_(std::move(options)) {}

GatewayServer::~GatewayServer() {
    for (auto& [id, client] : clients_)
        ::close(client.fd);
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

std::string GatewayServer::Open() {
    line_ = std::make_unique<RtuLine>(options_.serialDevice, options_.settings);
    if (auto problem = line_->Open(); !problem.empty())
        return "cannot open " + options_.serialDevice + ": " + problem;

    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        return std::string("cannot make a socket: ") + std::strerror(errno);
    int yes = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options_.listen.port);
    ::inet_pton(AF_INET, options_.listen.address.c_str(), &address.sin_addr);
    const std::string where = options_.listen.address + ":" + std::to_string(options_.listen.port);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return "cannot listen on " + where + ": " + std::strerror(errno);
    if (::listen(listenFd_, 16) != 0)
        return "cannot listen on " + where + ": " + std::strerror(errno);
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    return {};
}

void GatewayServer::Say(const std::string& line) {
    if (options_.verbose)
        *options_.verbose << line << std::endl;
}

void GatewayServer::Accept() {
    for (;;) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (clients_.size() >= options_.maxClients) {
            ::close(fd);
            Say(PeerName(peer) + ": refused, already " + std::to_string(clients_.size()) +
                " clients");
            continue;
        }
        int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        clients_[nextClient_++] = Client{fd, PeerName(peer), {}, std::nullopt};
    }
}

void GatewayServer::DropClient(uint64_t id, const std::string& why) {
    auto found = clients_.find(id);
    if (found == clients_.end())
        return;
    if (!why.empty())
        Say(found->second.peer + ": dropped, " + why);
    ::close(found->second.fd);
    clients_.erase(found);
    // Its requests still waiting would be answered to nobody.
    std::erase_if(queue_, [id](const Pending& pending) { return pending.client == id; });
}

void GatewayServer::ReadClient(uint64_t id) {
    Client& client = clients_.at(id);
    // One read per round: a client that never stops sending still leaves the others their turn.
    uint8_t chunk[4096];
    ssize_t got;
    do
        got = ::recv(client.fd, chunk, sizeof chunk, 0);
    while (got < 0 && errno == EINTR);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return;
    if (got <= 0) {
        DropClient(id, client.buffer.empty() ? "" : "disconnected in the middle of a request");
        return;
    }
    client.buffer.insert(client.buffer.end(), chunk, chunk + got);
    const auto now = Clock::now();
    size_t used = 0;
    for (;;) {
        auto scan = ScanTcpFrame(client.buffer.data() + used, client.buffer.size() - used);
        if (scan.status == FrameStatus::Malformed) {
            DropClient(id, "malformed frame: " + scan.problem);
            return;
        }
        if (scan.status == FrameStatus::NeedMore)
            break;
        queue_.push_back(Pending{id, std::move(scan.frame), now});
        used += scan.length;
    }
    client.buffer.erase(client.buffer.begin(), client.buffer.begin() + ptrdiff_t(used));
    if (client.buffer.empty())
        client.unfinishedSince.reset();
    else if (!client.unfinishedSince || used > 0)
        client.unfinishedSince = now;
}

void GatewayServer::DropStaleClients(Clock::time_point now) {
    std::vector<uint64_t> stale;
    for (const auto& [id, client] : clients_)
        if (client.unfinishedSince &&
            now - *client.unfinishedSince >= options_.unfinishedFrameLimit)
            stale.push_back(id);
    for (auto id : stale)
        DropClient(id, "frame left unfinished");
}

bool GatewayServer::Reply(uint64_t id, const TcpFrame& request, const Bytes& pdu) {
    auto found = clients_.find(id);
    if (found == clients_.end())
        return false;
    const Bytes frame = EncodeTcpFrame(request.transaction, request.unit, pdu);
    const ssize_t sent =
        ::send(found->second.fd, frame.data(), frame.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent != ssize_t(frame.size())) {
        // A client that does not take its answers cannot hold the others up.
        DropClient(id, "cannot take its answer");
        return false;
    }
    return true;
}

void GatewayServer::Serve(const Pending& pending) {
    const TcpFrame& request = pending.frame;
    const uint8_t function = request.pdu.empty() ? 0 : request.pdu[0];
    ++counters_.requestsByFunction[function];
    const Decision decision = options_.settings.mode == OperationMode::Routing
                                  ? DecideRouting(request.unit, request.pdu)
                                  : DecideNat(options_.settings.rows, request.pdu);
    std::string peer = clients_.count(pending.client) ? clients_[pending.client].peer : "?";
    std::string line =
        peer + " unit " + std::to_string(request.unit) + " " + DescribePdu(request.pdu) + " -> ";
    std::optional<Bytes> answer;
    bool answered = false;
    if (decision.kind == Decision::Kind::Exception) {
        answer = ExceptionPdu(function, decision.exception);
        line += "exception " + DescribeException(decision.exception);
    } else {
        line += (decision.kind == Decision::Kind::Broadcast
                     ? std::string("RTU broadcast ")
                     : "RTU " + std::to_string(decision.slave) + " ") +
                DescribePdu(decision.rtuPdu) + " -> ";
        Bytes rtuAnswer;
        switch (line_->Transact(decision.slave, decision.rtuPdu, rtuAnswer)) {
        case RtuLine::Result::Answered:
            answer = rtuAnswer;
            if (rtuAnswer[0] & 0x80)
                line += "RTU exception " + DescribeException(rtuAnswer[1]);
            else
                line += "answered, " + std::to_string(rtuAnswer.size()) + " bytes";
            break;
        case RtuLine::Result::Broadcast:
            line += "broadcast, no answer";
            answered = true;
            break;
        case RtuLine::Result::TimedOut:
            ++counters_.timeOuts;
            answer = ExceptionPdu(function, kGatewayTargetFailed);
            line += "no answer: exception " + DescribeException(kGatewayTargetFailed);
            break;
        case RtuLine::Result::BadAnswer:
            answer = ExceptionPdu(function, kGatewayTargetFailed);
            line += "unusable answer: exception " + DescribeException(kGatewayTargetFailed);
            break;
        case RtuLine::Result::LineDown:
            if (decision.kind == Decision::Kind::Broadcast) {
                line += "serial line unusable, no answer";
                answered = true;
                break;
            }
            answer = ExceptionPdu(function, kGatewayPathUnavailable);
            line += "serial line unusable: exception " + DescribeException(kGatewayPathUnavailable);
            break;
        }
    }
    if (answer) {
        if ((*answer)[0] & 0x80)
            ++counters_.exceptionsByCode[(*answer)[1]];
        answered = Reply(pending.client, request, *answer);
        if (!answered)
            line += " (client gone)";
    }
    const double ms =
        std::chrono::duration<double, std::milli>(Clock::now() - pending.received).count();
    if (answered)
        counters_.AddLatency(ms);
    Say(line + ", " + Milliseconds(ms));
}

void GatewayServer::Run(int stopFd) {
    std::vector<pollfd> polled;
    std::vector<uint64_t> ids;
    for (;;) {
        polled.clear();
        ids.clear();
        polled.push_back({stopFd, POLLIN, 0});
        polled.push_back({listenFd_, POLLIN, 0});
        std::map<uint64_t, size_t> waiting;
        for (const auto& pending : queue_)
            ++waiting[pending.client];
        for (const auto& [id, client] : clients_) {
            // A client with enough requests in the queue is not read until they are served, so
            // one that floods the gateway cannot fill its memory or push the others back.
            if (waiting[id] >= options_.maxQueuedPerClient)
                continue;
            polled.push_back({client.fd, POLLIN, 0});
            ids.push_back(id);
        }
        // Wake up for the next request waiting, or when an unfinished frame runs out of time.
        int wait = -1;
        if (!queue_.empty())
            wait = 0;
        else
            for (const auto& [id, client] : clients_)
                if (client.unfinishedSince) {
                    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                        *client.unfinishedSince + options_.unfinishedFrameLimit - Clock::now());
                    const int ms = int(std::max<int64_t>(0, left.count()));
                    wait = wait < 0 ? ms : std::min(wait, ms);
                }
        if (::poll(polled.data(), polled.size(), wait) < 0 && errno != EINTR)
            return;
        if (polled[0].revents)
            return;
        if (polled[1].revents & POLLIN)
            Accept();
        for (size_t i = 2; i < polled.size(); ++i)
            if (polled[i].revents && clients_.count(ids[i - 2]))
                ReadClient(ids[i - 2]);
        DropStaleClients(Clock::now());
        if (!queue_.empty()) {
            const Pending pending = std::move(queue_.front());
            queue_.pop_front();
            Serve(pending);
        }
    }
}

} // namespace fabricor::gateway
