#include "cli/gateway_command.h"

#include "base/folders.h"
#include "cli/options.h"
#include "gateway/gateway_server.h"

#ifdef _WIN32
#include <winsock2.h> // before windows.h

#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <ostream>

namespace fabricor::cli {

namespace {

constexpr const char* kGatewayUsage =
    "Usage: fabricor-cli gateway SOURCE --serial DEVICE [--listen ADDRESS:PORT] [--verbose]\n";

void GatewayHelp(std::ostream& out) {
    out << kGatewayUsage
        << "\n"
           "Lets this computer play the device on the bench: it listens for Modbus TCP on\n"
           "ADDRESS:PORT and is the Modbus RTU master on the serial port DEVICE, with the\n"
           "project's baud rate, parity, stop bits (8 data bits) and time-out.\n"
           "\n"
           "SOURCE is a project folder, and only that: a firmware or an image cannot be read\n"
           "back yet. A project that would not save cleanly is refused with the lines\n"
           "'fabricor-cli check' prints; so are settings the device would not run as given\n"
           "(no baud rate, a time-out outside 1 to 65535 ms, two stop bits with a parity).\n"
           "\n"
           "NAT mode: each request is served by the first row of the translate table of its\n"
           "kind that holds the whole requested range. Routing mode: the unit identifier is\n"
           "the RTU address and the request goes through unchanged (unit 0: a broadcast\n"
           "write, answered to nobody; a read of unit 0 gets exception 0x0A). Only the table\n"
           "is served: the device's system data offset, SNMP and the rest of its own\n"
           "behaviour are not.\n"
           "\n"
           "Options:\n"
#ifdef _WIN32
           "  --serial DEVICE             the serial port of the RTU line, e.g. COM3\n"
#else
           "  --serial DEVICE             the serial port of the RTU line, e.g. /dev/ttyUSB0\n"
#endif
           "  --listen ADDRESS:PORT       where to listen (default 127.0.0.1 and the project's\n"
           "                              TCP port; port 0 takes any free port)\n"
           "  --verbose                   one line per request: the TCP request, what it became\n"
           "                              on the line (or the exception), the time it took\n"
           "  --help                      show this help\n"
           "\n"
#ifdef _WIN32
           "Ctrl-C or Ctrl-Break stops it; it then prints its counters and exits with 0.\n"
#else
           "Ctrl-C or SIGTERM stops it; it then prints its counters and exits with 0.\n"
#endif
           "Exit status: 0 after a stop; 1 when the project is refused or the serial port or\n"
           "the listening address cannot be used; 2 on a usage error.\n";
}

int UsageError(std::ostream& err, const std::string& problem) {
    err << "fabricor-cli gateway: " << problem << "\n"
        << kGatewayUsage << "Run 'fabricor-cli gateway --help' for more.\n";
    return kExitUsage;
}

int stopWrite = -1;

#ifdef _WIN32
// Ctrl-C, Ctrl-Break or a closed console stop the gateway: the loop waits on sockets only, so
// the stop is a byte sent over a loopback connection of the process's own. The gateway has
// started Windows sockets by then.
BOOL WINAPI StopOnConsoleEvent(DWORD) {
    const char byte = 1;
    ::send(SOCKET(intptr_t(stopWrite)), &byte, 1, 0);
    return TRUE;
}

class StopOnInterrupt {
public:
    StopOnInterrupt() {
        const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        SOCKET writer = INVALID_SOCKET, reader = INVALID_SOCKET;
        if (listener != INVALID_SOCKET &&
            ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(listener, 1) == 0 &&
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
            (writer = ::socket(AF_INET, SOCK_STREAM, 0)) != INVALID_SOCKET &&
            ::connect(writer, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            reader = ::accept(listener, nullptr, nullptr);
        if (listener != INVALID_SOCKET)
            ::closesocket(listener);
        if (reader == INVALID_SOCKET) {
            if (writer != INVALID_SOCKET)
                ::closesocket(writer);
            return;
        }
        readFd_ = int(intptr_t(reader));
        stopWrite = int(intptr_t(writer));
        SetConsoleCtrlHandler(StopOnConsoleEvent, TRUE);
    }
    ~StopOnInterrupt() {
        if (readFd_ == -1)
            return;
        SetConsoleCtrlHandler(StopOnConsoleEvent, FALSE);
        ::closesocket(SOCKET(intptr_t(stopWrite)));
        ::closesocket(SOCKET(intptr_t(readFd_)));
        stopWrite = -1;
    }
    StopOnInterrupt(const StopOnInterrupt&) = delete;
    StopOnInterrupt& operator=(const StopOnInterrupt&) = delete;
    // What the gateway waits on; -1 when it could not be made.
    int fd() const { return readFd_; }

private:
    int readFd_ = -1;
};
#else
void StopOnSignal(int) {
    const char byte = 1;
    const int saved = errno;
    [[maybe_unused]] auto ignored = ::write(stopWrite, &byte, 1);
    errno = saved;
}

// SIGINT or SIGTERM stop the gateway: the handler writes to a pipe the loop waits on.
class StopOnInterrupt {
public:
    StopOnInterrupt() {
        if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        stopWrite = pipe_[1];
        struct sigaction stop {};
        stop.sa_handler = StopOnSignal;
        stop.sa_flags = SA_RESTART;
        sigemptyset(&stop.sa_mask);
        ::sigaction(SIGINT, &stop, &oldInt_);
        ::sigaction(SIGTERM, &stop, &oldTerm_);
    }
    ~StopOnInterrupt() {
        if (pipe_[0] == -1)
            return;
        ::sigaction(SIGINT, &oldInt_, nullptr);
        ::sigaction(SIGTERM, &oldTerm_, nullptr);
        stopWrite = -1;
        ::close(pipe_[0]);
        ::close(pipe_[1]);
    }
    StopOnInterrupt(const StopOnInterrupt&) = delete;
    StopOnInterrupt& operator=(const StopOnInterrupt&) = delete;
    // What the gateway waits on; -1 when it could not be made.
    int fd() const { return pipe_[0]; }

private:
    int pipe_[2] = {-1, -1};
    struct sigaction oldInt_ {
    }, oldTerm_{};
};
#endif

const char* ModeName(OperationMode mode) {
    return mode == OperationMode::Routing ? "Routing Mode" : "NAT Mode";
}

} // namespace

int GatewayCommand(const Arguments& args, std::ostream& out, std::ostream& err, TerminalProgress&) {
    std::vector<std::string> words;
    bool verbose = false;
    for (const auto& word : args) {
        if (word == "--verbose")
            verbose = true;
        else
            words.push_back(word);
    }
    ParsedArguments parsed = ParseArguments(words, {"serial", "listen"});
    if (parsed.help) {
        GatewayHelp(out);
        return kExitOk;
    }
    if (!parsed.error.empty())
        return UsageError(err, parsed.error);
    if (parsed.positional.size() != 1)
        return UsageError(err, parsed.positional.empty() ? "SOURCE is missing"
                                                         : "only one SOURCE is served");
    if (!parsed.values.count("serial"))
        return UsageError(err, "--serial DEVICE is missing");
    std::optional<gateway::ListenAddress> listen;
    if (parsed.values.count("listen")) {
        listen = gateway::ParseListenAddress(parsed.values["listen"]);
        if (!listen)
            return UsageError(err, "--listen takes ADDRESS:PORT, an IPv4 address and a port "
                                   "0 to 65535, not '" +
                                       parsed.values["listen"] + "'");
    }

    const std::string& project = parsed.positional.front();
    if (!FolderExists(project)) {
        err << "fabricor-cli gateway: " << project << " is not a project folder\n";
        return kExitFailure;
    }
    auto loaded = gateway::LoadGatewayProject(project);
    if (!loaded.problems.empty() || !loaded.refusals.empty()) {
        const bool saves = loaded.problems.empty();
        err << "fabricor-cli gateway: " << project
            << (saves ? " cannot be served as the device would run it:\n"
                      : " would not save cleanly:\n");
        for (const auto& line : saves ? loaded.refusals : loaded.problems)
            err << line << "\n";
        return kExitFailure;
    }
    if (!listen) {
        const int32_t port = loaded.settings.tcpPort;
        if (port < 1 || port > 65535) {
            err << "fabricor-cli gateway: pargen.xml TCP_PORT " << port
                << " is no TCP port; give one with --listen\n";
            return kExitFailure;
        }
        listen = gateway::ListenAddress{"127.0.0.1", uint16_t(port)};
    }

    gateway::GatewayOptions options;
    options.settings = loaded.settings;
    options.serialDevice = parsed.values["serial"];
    options.listen = *listen;
    if (verbose)
        options.verbose = &out;
    gateway::GatewayServer server(options);
    if (auto problem = server.Open(); !problem.empty()) {
        err << "fabricor-cli gateway: " << problem << "\n";
        return kExitFailure;
    }

    StopOnInterrupt stop;
    if (stop.fd() == -1) {
        err << "fabricor-cli gateway: cannot make a pipe\n";
        return kExitFailure;
    }

    const auto& s = loaded.settings;
    out << "Gateway for " << project << " (" << ModeName(s.mode) << ", " << s.rows.size()
        << (s.rows.size() == 1 ? " table row" : " table rows") << ") listening on "
        << listen->address << ":" << server.port() << "; RTU master on " << options.serialDevice
        << " at " << s.baudRate << " baud, 8" << s.parity << s.stopBits << ", time-out "
        << s.timeOutMs << " ms. Ctrl-C stops it." << std::endl;
    server.Run(stop.fd());

    out << "Stopped.\n" << gateway::FormatCounters(server.counters()) << std::flush;
    return kExitOk;
}

} // namespace fabricor::cli
