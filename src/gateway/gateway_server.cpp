#include "gateway/gateway_server.h"

#include <modbus/modbus.h>

#ifdef _WIN32
// Windows sockets before the rest of the system's headers.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <mmsystem.h>

#include "gateway/windows/modbus_rtu_handle.h"
#include "platform/windows/system_message.h"
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <vector>

namespace fabricor::gateway {

namespace {

#ifdef _WIN32
// A socket is kept as an int: Windows handles carry 32 significant bits, and INVALID_SOCKET
// becomes -1 as it is on POSIX.
SOCKET Native(int fd) {
    return SOCKET(intptr_t(fd));
}
bool WouldBlock() {
    return WSAGetLastError() == WSAEWOULDBLOCK;
}
bool Interrupted() {
    return WSAGetLastError() == WSAEINTR;
}
std::string SocketProblem() {
    return SystemMessage(DWORD(WSAGetLastError()));
}
void CloseSocket(int fd) {
    ::closesocket(Native(fd));
}
bool SetNonBlocking(int fd) {
    u_long yes = 1;
    return ::ioctlsocket(Native(fd), FIONBIO, &yes) == 0;
}
int NewSocket() {
    const int fd = int(intptr_t(::socket(AF_INET, SOCK_STREAM, 0)));
    if (fd != -1 && !SetNonBlocking(fd)) {
        CloseSocket(fd);
        return -1;
    }
    return fd;
}
int AcceptSocket(int listenFd, sockaddr_in& peer) {
    int length = sizeof peer;
    const int fd =
        int(intptr_t(::accept(Native(listenFd), reinterpret_cast<sockaddr*>(&peer), &length)));
    if (fd != -1)
        SetNonBlocking(fd); // as the listening socket already is
    return fd;
}
pollfd Watch(int fd) {
    return {Native(fd), POLLIN, 0};
}
int PollSockets(std::vector<pollfd>& polled, int wait) {
    return ::WSAPoll(polled.data(), ULONG(polled.size()), wait);
}
ssize_t SendAll(int fd, const Bytes& bytes) {
    return ::send(Native(fd), reinterpret_cast<const char*>(bytes.data()), int(bytes.size()), 0);
}
ssize_t Receive(int fd, uint8_t* into, size_t size) {
    return ::recv(Native(fd), reinterpret_cast<char*>(into), int(size), 0);
}
// Windows cannot tell: a client that leaves its answers unread is dropped once its socket
// takes no more.
std::optional<int> Unsent(int) {
    return std::nullopt;
}

// Sockets work only after WSAStartup; the loop's waits of a millisecond need the system's
// timer at that resolution. Both once per process.
bool StartSockets() {
    static const bool started = [] {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
            return false;
        timeBeginPeriod(1);
        return true;
    }();
    return started;
}
#else
int Native(int fd) {
    return fd;
}
bool WouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}
bool Interrupted() {
    return errno == EINTR;
}
std::string SocketProblem() {
    return std::strerror(errno);
}
void CloseSocket(int fd) {
    ::close(fd);
}
int NewSocket() {
    return ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}
int AcceptSocket(int listenFd, sockaddr_in& peer) {
    socklen_t length = sizeof peer;
    return ::accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &length,
                     SOCK_NONBLOCK | SOCK_CLOEXEC);
}
pollfd Watch(int fd) {
    return {fd, POLLIN, 0};
}
int PollSockets(std::vector<pollfd>& polled, int wait) {
    return ::poll(polled.data(), polled.size(), wait);
}
ssize_t SendAll(int fd, const Bytes& bytes) {
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}
ssize_t Receive(int fd, uint8_t* into, size_t size) {
    return ::recv(fd, into, size, 0);
}
std::optional<int> Unsent(int fd) {
    int unsent = 0;
    if (::ioctl(fd, SIOCOUTQ, &unsent) != 0)
        return std::nullopt;
    return unsent;
}
bool StartSockets() {
    return true;
}
#endif

} // namespace

// The RTU master side: libmodbus opens the port with the project's settings and frames the
// requests; the answers are read by the gateway's own loop, byte by byte as they come. A line
// that fails is reopened at the next request.
#ifdef _WIN32
// On Windows the port is libmodbus's handle, read without waiting (a port cannot be waited for
// together with sockets: the loop reads it at every wake-up instead).
class RtuLine {
public:
    RtuLine(const std::string& device, const GatewaySettings& settings) {
        // "COM10" and above are reached only as "\\.\COM10"; any COM port may be named so.
        std::string path = device;
        if (path.size() > 3 && _strnicmp(path.c_str(), "COM", 3) == 0 &&
            std::all_of(path.begin() + 3, path.end(), [](char c) { return c >= '0' && c <= '9'; }))
            path = "\\\\.\\" + path;
        context_ =
            modbus_new_rtu(path.c_str(), settings.baudRate, settings.parity, 8, settings.stopBits);
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
        if (!Connect())
            return SystemMessage(GetLastError());
        return {};
    }
    bool Reopen() {
        if (!up_) {
            modbus_close(context_);
            Connect();
        }
        return up_;
    }
    bool up() const { return up_; }

    // Sends the request and returns once its last character has left. False: the line is down.
    bool Send(uint8_t slave, const Bytes& pdu) {
        Bytes request;
        request.reserve(pdu.size() + 1);
        request.push_back(slave);
        request.insert(request.end(), pdu.begin(), pdu.end());
        if (modbus_send_raw_request(context_, request.data(), int(request.size())) < 0 ||
            !FlushFileBuffers(handle_))
            return Down();
        return true;
    }
    // Appends what the line has brought. False: the line is down.
    bool Read(Bytes& into) {
        uint8_t chunk[512];
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(handle_, chunk, sizeof chunk, &got, nullptr))
                return Down();
            if (got == 0)
                return true;
            into.insert(into.end(), chunk, chunk + got);
        }
    }
    bool Down() {
        if (up_)
            modbus_close(context_);
        up_ = false;
        return false;
    }

private:
    bool Connect() {
        if (modbus_connect(context_) != 0)
            return false;
        handle_ = fabricor_modbus_rtu_handle(context_);
        // Reads return at once with what is there; a write may take what its bytes need.
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.WriteTotalTimeoutConstant = 5000;
        if (!SetCommTimeouts(handle_, &timeouts)) {
            const DWORD problem = GetLastError();
            modbus_close(context_);
            SetLastError(problem);
            return false;
        }
        up_ = true;
        return true;
    }

    modbus_t* context_ = nullptr;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    bool up_ = false;
};
#else
class RtuLine {
public:
    RtuLine(const std::string& device, const GatewaySettings& settings) {
        context_ = modbus_new_rtu(device.c_str(), settings.baudRate, settings.parity, 8,
                                  settings.stopBits);
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
    bool Reopen() {
        if (!up_) {
            modbus_close(context_);
            up_ = modbus_connect(context_) == 0;
        }
        return up_;
    }
    // The port, non-blocking; -1 while the line is down.
    int fd() const { return up_ ? modbus_get_socket(context_) : -1; }

    // Sends the request and returns once its last character has left. False: the line is down.
    bool Send(uint8_t slave, const Bytes& pdu) {
        Bytes request;
        request.reserve(pdu.size() + 1);
        request.push_back(slave);
        request.insert(request.end(), pdu.begin(), pdu.end());
        if (modbus_send_raw_request(context_, request.data(), int(request.size())) < 0 ||
            ::tcdrain(fd()) != 0)
            return Down();
        return true;
    }
    // Appends what the line has brought. False: the line is down.
    bool Read(Bytes& into) {
        uint8_t chunk[512];
        for (;;) {
            const ssize_t got = ::read(fd(), chunk, sizeof chunk);
            if (got > 0) {
                into.insert(into.end(), chunk, chunk + got);
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            // A port without VMIN reads 0 bytes when nothing came.
            if (got == 0 || errno == EAGAIN || errno == EWOULDBLOCK)
                return true;
            return Down();
        }
    }
    bool Down() {
        if (up_)
            modbus_close(context_);
        up_ = false;
        return false;
    }

private:
    modbus_t* context_ = nullptr;
    bool up_ = false;
};
#endif

namespace {

std::string PeerName(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

constexpr size_t kKeptFromTheLine = 2 * 256; // two RTU frames

std::string Milliseconds(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", ms);
    return text;
}

} // namespace

GatewayServer::GatewayServer(GatewayOptions options)
    : options_(std::move(options)),
      timing_(TimingOf(options_.settings.baudRate, options_.settings.parity,
                       options_.settings.stopBits)) {}

GatewayServer::~GatewayServer() {
    for (auto& [id, client] : clients_)
        CloseSocket(client.fd);
    if (listenFd_ >= 0)
        CloseSocket(listenFd_);
}

std::string GatewayServer::Open() {
    line_ = std::make_unique<RtuLine>(options_.serialDevice, options_.settings);
    if (auto problem = line_->Open(); !problem.empty())
        return "cannot open " + options_.serialDevice + ": " + problem;

    if (!StartSockets())
        return "cannot start Windows sockets";
    listenFd_ = NewSocket();
    if (listenFd_ < 0)
        return "cannot make a socket: " + SocketProblem();
#ifndef _WIN32 // on Windows it would let another program take the same port
    int yes = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
#endif
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options_.listen.port);
    ::inet_pton(AF_INET, options_.listen.address.c_str(), &address.sin_addr);
    const std::string where = options_.listen.address + ":" + std::to_string(options_.listen.port);
    if (::bind(Native(listenFd_), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return "cannot listen on " + where + ": " + SocketProblem();
    if (::listen(Native(listenFd_), 16) != 0)
        return "cannot listen on " + where + ": " + SocketProblem();
    socklen_t length = sizeof address;
    ::getsockname(Native(listenFd_), reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    return {};
}

void GatewayServer::Say(const std::string& line) {
    if (options_.verbose)
        *options_.verbose << line << std::endl;
    if (options_.log)
        *options_.log << Timestamped(std::chrono::system_clock::now(), line) << std::flush;
}

void GatewayServer::Tally(const Pending& pending, const std::optional<Bytes>& answer, bool timedOut,
                          bool fromDevice) {
    const Decision& decision = pending.decision;
    TargetCounters* targets[2] = {};
    if (decision.row)
        targets[0] = &counters_.byRow[*decision.row];
    if (decision.kind == Decision::Kind::Forward)
        targets[1] = &counters_.byDevice[decision.slave];
    const auto now = std::chrono::system_clock::now();
    for (TargetCounters* target : targets) {
        if (!target)
            continue;
        ++target->requests;
        if (timedOut)
            ++target->timeOuts;
        else if (answer && answer->size() >= 2 && ((*answer)[0] & kExceptionBit))
            ++target->exceptionsByCode[(*answer)[1]];
        else if (answer)
            ++target->answers;
        if (fromDevice)
            target->lastAnswer = now;
    }
}

void GatewayServer::Accept() {
    for (;;) {
        sockaddr_in peer{};
        const int fd = AcceptSocket(listenFd_, peer);
        if (fd < 0)
            return;
        if (clients_.size() >= options_.maxClients) {
            CloseSocket(fd);
            Say(PeerName(peer) + ": refused, already " + std::to_string(clients_.size()) +
                " clients");
            continue;
        }
        int yes = 1;
        ::setsockopt(Native(fd), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&yes),
                     sizeof yes);
        Client client;
        client.fd = fd;
        client.peer = PeerName(peer);
        clients_[nextClient_++] = std::move(client);
    }
}

void GatewayServer::DropClient(uint64_t id, const std::string& why) {
    auto found = clients_.find(id);
    if (found == clients_.end())
        return;
    if (!why.empty())
        Say(found->second.peer + ": dropped, " + why);
    CloseSocket(found->second.fd);
    // Its requests still waiting would be answered to nobody.
    clients_.erase(found);
    std::erase(turns_, id);
}

void GatewayServer::ReadClient(uint64_t id) {
    Client& client = clients_.at(id);
    // One read per round: a client that never stops sending still leaves the others their turn.
    uint8_t chunk[4096];
    ssize_t got;
    do
        got = Receive(client.fd, chunk, sizeof chunk);
    while (got < 0 && Interrupted());
    if (got < 0 && WouldBlock())
        return;
    if (got <= 0) {
        DropClient(id, client.buffer.empty() ? "" : "disconnected in the middle of a request");
        return;
    }
    client.buffer.insert(client.buffer.end(), chunk, chunk + got);
    TakeRequests(id);
}

// Cuts the client's requests and answers at once those that need no line, unless one of its
// requests is on the line: its answers keep the order of its requests.
void GatewayServer::TakeRequests(uint64_t id) {
    for (;;) {
        CutRequests(id);
        auto found = clients_.find(id);
        if (found == clients_.end() || (current_ && current_->client == id))
            return;
        const size_t waiting = found->second.queue.size();
        AnswerWhatNeedsNoLine(id);
        found = clients_.find(id);
        if (found == clients_.end() || found->second.queue.size() == waiting)
            return;
    }
}

// Cuts complete requests from what the client sent, as long as it has room for them.
void GatewayServer::CutRequests(uint64_t id) {
    Client& client = clients_.at(id);
    const auto now = Clock::now();
    size_t used = 0;
    FrameStatus status = FrameStatus::NeedMore;
    while (client.queue.size() < options_.maxQueuedPerClient) {
        auto scan = ScanTcpFrame(client.buffer.data() + used, client.buffer.size() - used);
        status = scan.status;
        if (status == FrameStatus::Malformed) {
            DropClient(id, "malformed frame: " + scan.problem);
            return;
        }
        if (status == FrameStatus::NeedMore)
            break;
        used += scan.length;
        Pending pending;
        pending.frame = std::move(scan.frame);
        pending.received = now;
        const uint8_t function = pending.frame.pdu.empty() ? 0 : pending.frame.pdu[0];
        ++counters_.requestsByFunction[function];
        pending.decision = options_.settings.mode == OperationMode::Routing
                               ? DecideRouting(pending.frame.unit, pending.frame.pdu)
                               : DecideNat(options_.settings.rows, pending.frame.pdu);
        if (client.queue.empty())
            turns_.push_back(id);
        client.queue.push_back(std::move(pending));
    }
    client.buffer.erase(client.buffer.begin(), client.buffer.begin() + ptrdiff_t(used));
    // Only a frame begun and not finished counts; whole requests kept for later do not.
    if (status != FrameStatus::NeedMore || client.buffer.empty())
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

std::string GatewayServer::Describe(uint64_t id, const Pending& pending) const {
    auto found = clients_.find(id);
    return (found != clients_.end() ? found->second.peer : std::string("?")) + " unit " +
           std::to_string(pending.frame.unit) + " " + DescribePdu(pending.frame.pdu) + " -> ";
}

void GatewayServer::Answer(uint64_t id, const Pending& pending, const Bytes& pdu,
                           std::string line) {
    if (pdu.size() >= 2 && (pdu[0] & kExceptionBit))
        ++counters_.exceptionsByCode[pdu[1]];
    bool answered = false;
    auto found = clients_.find(id);
    if (found != clients_.end()) {
        const int fd = found->second.fd;
        const Bytes frame = EncodeTcpFrame(pending.frame.transaction, pending.frame.unit, pdu);
        const ssize_t sent = SendAll(fd, frame);
        answered = sent == ssize_t(frame.size());
        std::optional<int> unread;
        if (!answered) {
            DropClient(id, "cannot take its answer");
        } else if ((unread = Unsent(fd)) && size_t(*unread) > options_.maxUnreadAnswerBytes) {
            // A client that sends and never reads would have the line work for nobody.
            DropClient(id, "leaves its answers unread (" + std::to_string(*unread) + " bytes)");
        }
    }
    if (!answered)
        line += " (client gone)";
    const double ms =
        std::chrono::duration<double, std::milli>(Clock::now() - pending.received).count();
    if (answered)
        counters_.AddLatency(ms);
    Say(line + ", " + Milliseconds(ms));
}

// The exceptions at the head of a client's queue need no line: they are answered now, in order.
void GatewayServer::AnswerWhatNeedsNoLine(uint64_t id) {
    for (auto found = clients_.find(id); found != clients_.end() && !found->second.queue.empty();
         found = clients_.find(id)) {
        auto& queue = found->second.queue;
        if (queue.front().decision.kind != Decision::Kind::Exception)
            return;
        const Pending pending = std::move(queue.front());
        queue.pop_front();
        if (queue.empty())
            std::erase(turns_, id);
        const uint8_t function = pending.frame.pdu.empty() ? 0 : pending.frame.pdu[0];
        const uint8_t code = pending.decision.exception;
        Tally(pending, ExceptionPdu(function, code), false, false);
        Answer(id, pending, ExceptionPdu(function, code),
               Describe(id, pending) + "exception " + DescribeException(code));
    }
}

// Takes the next client's turn: its first request goes to the line.
void GatewayServer::StartNext() {
    while (!current_ && !turns_.empty()) {
        const uint64_t id = turns_.front();
        turns_.pop_front();
        Client& client = clients_.at(id);
        Transaction transaction;
        transaction.client = id;
        transaction.pending = std::move(client.queue.front());
        client.queue.pop_front();
        if (!client.queue.empty())
            turns_.push_back(id);
        const Decision& decision = transaction.pending.decision;
        if (decision.kind == Decision::Kind::Exception) {
            const uint8_t function = transaction.pending.frame.pdu[0];
            Tally(transaction.pending, ExceptionPdu(function, decision.exception), false, false);
            Answer(id, transaction.pending, ExceptionPdu(function, decision.exception),
                   Describe(id, transaction.pending) + "exception " +
                       DescribeException(decision.exception));
            continue;
        }
        transaction.line = Describe(id, transaction.pending) +
                           (decision.kind == Decision::Kind::Broadcast
                                ? std::string("RTU broadcast ")
                                : "RTU " + std::to_string(decision.slave) + " ") +
                           DescribePdu(decision.rtuPdu) + " -> ";
        // Whatever the line still brings is drained first, for at most a time-out.
        transaction.deadline =
            Clock::now() + std::chrono::milliseconds(options_.settings.timeOutMs);
        current_ = std::move(transaction);
        if (!line_->Reopen()) {
            Finish(std::nullopt, "serial line unusable");
            continue;
        }
        CutRequests(id); // room for one more of its requests
        AdvanceLine(Clock::now());
    }
}

void GatewayServer::ListenToLine(short events) {
    const size_t before = heard_.size();
    const bool read = line_->Read(heard_);
    // A port whose far end is gone says so by hanging up, and reads nothing.
    if (!read || (heard_.size() == before && (events & (POLLHUP | POLLERR | POLLNVAL)))) {
        line_->Down();
        if (current_)
            Finish(std::nullopt, "serial line unusable");
        return;
    }
    if (heard_.size() > before)
        lastActivity_ = Clock::now();
    // Between requests, what the line brings is only kept to drain it.
    if (!(current_ && current_->sent) && heard_.size() > kKeptFromTheLine) {
        heard_.erase(heard_.begin(), heard_.end() - ptrdiff_t(kKeptFromTheLine));
        lineDirty_ = true;
    }
}

std::optional<GatewayServer::Clock::time_point> GatewayServer::LineWakeUp() const {
    if (!current_)
        return std::nullopt;
    if (current_->sent)
        return current_->deadline;
    auto quiet = std::max(quietUntil_,
                          lastActivity_ + std::chrono::microseconds(int64_t(timing_.interFrameUs)));
    return std::min(quiet, current_->deadline);
}

void GatewayServer::AdvanceLine(Clock::time_point now) {
    if (!current_)
        return;
    Transaction& transaction = *current_;
    const Decision& decision = transaction.pending.decision;
    const RtuRequest request{decision.slave, decision.rtuPdu};
    bool owing = owed_ && now < owedUntil_;
    if (!transaction.sent) {
        const bool dirty = lineDirty_ || !heard_.empty();
        const auto wakeUp = *LineWakeUp();
        if (now < wakeUp && (dirty || now < quietUntil_))
            return;
        // The late answer the last time-out left owing, if it came, is not owed any more.
        if (owing && JudgeLine(*owed_, nullptr, heard_.data(), heard_.size()).kind !=
                         LineVerdict::Kind::Wait)
            owed_.reset();
        transaction.passedOver = 0;
        heard_.clear();
        lineDirty_ = false;
        if (!line_->Send(request.slave, request.pdu)) {
            Finish(std::nullopt, "serial line unusable");
            return;
        }
        if (decision.kind == Decision::Kind::Broadcast) {
            // The devices get the turnaround delay to act on it before anything else comes.
            quietUntil_ = Clock::now() + std::chrono::milliseconds(100);
            Finish(std::nullopt, "broadcast, no answer");
            return;
        }
        transaction.sent = true;
        // The whole answer must be in within the time-out and its own transmission time.
        transaction.deadline =
            Clock::now() + std::chrono::milliseconds(options_.settings.timeOutMs) +
            std::chrono::microseconds(
                int64_t(double(AnswerFrameLength(request.pdu)) * timing_.characterUs));
        return;
    }
    for (;;) {
        const auto verdict =
            JudgeLine(request, owing ? &*owed_ : nullptr, heard_.data(), heard_.size());
        if (verdict.kind == LineVerdict::Kind::Answer) {
            const auto* frame = heard_.data() + verdict.offset;
            Bytes answer(frame + 1, frame + verdict.length - 2);
            transaction.passedOver += heard_.size() - verdict.length;
            lineDirty_ = heard_.size() > verdict.offset + verdict.length;
            heard_.clear();
            Finish(answer, "");
            return;
        }
        if (verdict.kind == LineVerdict::Kind::Wait)
            break;
        // The answer to the request that timed out came late: it answers nobody now, and what
        // follows it may be this request's own.
        transaction.passedOver += verdict.offset + verdict.length;
        heard_.erase(heard_.begin(), heard_.begin() + ptrdiff_t(verdict.offset + verdict.length));
        owed_.reset();
        owing = false;
    }
    // An answer is at most one RTU frame long: older bytes cannot start one any more.
    if (heard_.size() > kKeptFromTheLine) {
        transaction.passedOver += heard_.size() - kKeptFromTheLine;
        heard_.erase(heard_.begin(), heard_.end() - ptrdiff_t(kKeptFromTheLine));
    }
    if (now >= transaction.deadline) {
        ++counters_.timeOuts;
        // A device that said nothing at all may still answer late, for a time-out more: the
        // next request's answer cannot be told from that one when they look the same.
        if (heard_.empty() && transaction.passedOver == 0) {
            owed_ = request;
            owedUntil_ = now + std::chrono::milliseconds(options_.settings.timeOutMs);
        }
        lineDirty_ = true;
        lastActivity_ = now;
        transaction.passedOver += heard_.size();
        Finish(std::nullopt, "no answer");
    }
}

void GatewayServer::Finish(const std::optional<Bytes>& rtuAnswer, const std::string& outcome) {
    Transaction transaction = std::move(*current_);
    current_.reset();
    const Pending& pending = transaction.pending;
    const uint8_t function = pending.frame.pdu.empty() ? 0 : pending.frame.pdu[0];
    std::string line = transaction.line;
    std::optional<Bytes> answer;
    if (rtuAnswer) {
        answer = AnswerForClient(pending.frame.pdu, *rtuAnswer);
        if ((*answer)[0] & kExceptionBit)
            line += "RTU exception " + DescribeException((*answer)[1]);
        else
            line += "answered, " + std::to_string(answer->size()) + " bytes";
    } else if (outcome == "no answer") {
        answer = ExceptionPdu(function, kGatewayTargetFailed);
        line += outcome + ": exception " + DescribeException(kGatewayTargetFailed);
    } else if (pending.decision.kind == Decision::Kind::Broadcast) {
        line += outcome == "serial line unusable" ? outcome + ", no answer" : outcome;
    } else {
        answer = ExceptionPdu(function, kGatewayPathUnavailable);
        line += outcome + ": exception " + DescribeException(kGatewayPathUnavailable);
    }
    Tally(pending, answer, !rtuAnswer && outcome == "no answer", rtuAnswer.has_value());
    if (transaction.passedOver)
        line += " (" + std::to_string(transaction.passedOver) + " bytes from the line passed over)";
    if (answer) {
        Answer(transaction.client, pending, *answer, line);
    } else {
        const double ms =
            std::chrono::duration<double, std::milli>(Clock::now() - pending.received).count();
        counters_.AddLatency(ms);
        Say(line + ", " + Milliseconds(ms));
    }
    if (clients_.count(transaction.client))
        TakeRequests(transaction.client);
}

void GatewayServer::Run(int stopFd, int reportFd, const std::function<void()>& report) {
#ifdef _WIN32
    (void)reportFd;
    (void)report;
#endif
    std::vector<pollfd> polled;
    std::vector<uint64_t> ids;
    for (;;) {
        StartNext();
        polled.clear();
        ids.clear();
        polled.push_back(Watch(stopFd));
        polled.push_back(Watch(listenFd_));
#ifndef _WIN32
        // Windows has no SIGUSR1 and no pipe to poll with sockets: no report there.
        polled.push_back({line_->fd(), POLLIN, 0});
        polled.push_back({reportFd, POLLIN, 0});
#endif
        for (const auto& [id, client] : clients_) {
            // A client with enough requests waiting is not read until one is served, so one
            // that floods the gateway cannot fill its memory.
            if (client.queue.size() >= options_.maxQueuedPerClient)
                continue;
            polled.push_back(Watch(client.fd));
            ids.push_back(id);
        }
        // Wake up for the line, or when an unfinished frame runs out of time.
        std::optional<Clock::time_point> wakeUp = LineWakeUp();
        for (const auto& [id, client] : clients_)
            if (client.unfinishedSince) {
                const auto at = *client.unfinishedSince + options_.unfinishedFrameLimit;
                wakeUp = wakeUp ? std::min(*wakeUp, at) : at;
            }
        int wait = -1;
        if (wakeUp) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*wakeUp - Clock::now()).count();
            wait = int(std::clamp<int64_t>(left, 0, 60000));
        }
#ifdef _WIN32
        // The line is looked at every millisecond while a request is on it, else every 10 ms.
        const int lineWait = current_ ? 1 : 10;
        wait = wait < 0 ? lineWait : std::min(wait, lineWait);
        constexpr size_t kFirstClient = 2;
#else
        constexpr size_t kFirstClient = 4;
#endif
        if (PollSockets(polled, wait) < 0 && !Interrupted())
            return;
        if (polled[0].revents)
            return;
        if (polled[1].revents & POLLIN)
            Accept();
#ifdef _WIN32
        if (line_->up())
            ListenToLine(0);
#else
        if (polled[2].fd >= 0 && polled[2].revents)
            ListenToLine(polled[2].revents);
        if (polled[3].fd >= 0 && polled[3].revents) {
            // One read: it cannot block after poll, and several signals make one report.
            char drained[64];
            [[maybe_unused]] auto ignored = ::read(reportFd, drained, sizeof drained);
            if (report)
                report();
        }
#endif
        for (size_t i = kFirstClient; i < polled.size(); ++i)
            if (polled[i].revents && clients_.count(ids[i - kFirstClient]))
                ReadClient(ids[i - kFirstClient]);
        const auto now = Clock::now();
        DropStaleClients(now);
        AdvanceLine(now);
    }
}

} // namespace fabricor::gateway
