#include "cli/gateway_command.h"

#include "base/folders.h"
#include "cli/options.h"
#include "cli/signal_pipes.h"
#include "gateway/gateway_server.h"

#include <chrono>
#include <fstream>
#include <ostream>
#include <sstream>

namespace fabricor::cli {

namespace {

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
           "behaviour are not. Before serving, a line beginning 'warning: ' names each row\n"
           "no request can reach: N° Point 0, a range past 65535, a row whose whole range\n"
           "lies within an earlier row's of its data type, an RTU device 0 or above 247.\n"
           "\n"
           "Options:\n"
#ifdef _WIN32
           "  --serial DEVICE             the serial port of the RTU line, e.g. COM3\n"
#else
           "  --serial DEVICE             the serial port of the RTU line, e.g. /dev/ttyUSB0\n"
#endif
           "  --listen ADDRESS:PORT       where to listen (default 127.0.0.1 and the project's\n"
           "                              TCP port; port 0 takes any free port)\n"
           "  --log FILE                  every line it says, the lines of --verbose included,\n"
           "                              appended to FILE as it goes (made when missing), each\n"
           "                              after its local date and time to the millisecond\n"
           "  --verbose                   one line per request: the TCP request, what it became\n"
           "                              on the line (or the exception), the time it took\n"
           "  --help                      show this help\n"
           "\n"
           "Its counters: requests by function, exceptions by code, time-outs and latency;\n"
           "then for every table row and every RTU device that got a request: requests,\n"
           "answers, exceptions by code, time-outs and the time of the last answer seen.\n"
#ifdef _WIN32
           "Ctrl-C or Ctrl-Break stops it; it then prints its counters and exits with 0.\n"
#else
           "SIGUSR1 prints them (and logs them) while it serves.\n"
           "Ctrl-C or SIGTERM stops it; it then prints its counters and exits with 0.\n"
#endif
           "Exit status: 0 after a stop; 1 when the project is refused or the serial port or\n"
           "the listening address or the log cannot be used; 2 on a usage error.\n";
}

const char* ModeName(OperationMode mode) {
    return mode == OperationMode::Routing ? "Routing Mode" : "NAT Mode";
}

int RunGateway(const ParsedArguments& parsed, std::ostream& out, std::ostream& err,
               TerminalProgress&) {
    const bool verbose = parsed.flags.count("verbose") > 0;
    if (!parsed.values.count("serial"))
        return UsageError(kGatewayCommand, err, "--serial DEVICE is missing");
    std::optional<gateway::ListenAddress> listen;
    if (parsed.values.count("listen")) {
        listen = gateway::ParseListenAddress(parsed.values.at("listen"));
        if (!listen)
            return UsageError(kGatewayCommand, err, "--listen takes ADDRESS:PORT, an IPv4 address and a port "
                                   "0 to 65535, not '" +
                                       parsed.values.at("listen") + "'");
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

    // A log is only ever added to, line by line as things happen: unlike a document it is not
    // replaced whole, so it is appended to in place rather than written beside and renamed.
    std::ofstream log;
    if (parsed.values.count("log")) {
        const std::string& path = parsed.values.at("log");
        if (ProjectDocumentAt(project, path)) {
            err << "fabricor-cli gateway: the log " << path << " would be a project document\n";
            return kExitFailure;
        }
        log.open(path, std::ios::app | std::ios::binary);
        if (!log) {
            err << "fabricor-cli gateway: cannot open the log " << path << "\n";
            return kExitFailure;
        }
    }
    // What the gateway says for the record: to the output and, stamped, to the log.
    auto say = [&](const std::string& text) {
        out << text << std::flush;
        if (log.is_open())
            log << gateway::Timestamped(std::chrono::system_clock::now(),
                                        text.ends_with('\n') ? text.substr(0, text.size() - 1)
                                                             : text)
                << std::flush;
    };

    gateway::GatewayOptions options;
    options.settings = loaded.settings;
    options.serialDevice = parsed.values.at("serial");
    options.listen = *listen;
    if (verbose)
        options.verbose = &out;
    if (log.is_open())
        options.log = &log;
    gateway::GatewayServer server(options);
    if (auto problem = server.Open(); !problem.empty()) {
        err << "fabricor-cli gateway: " << problem << "\n";
        return kExitFailure;
    }

    SignalPipes signals;
    if (!signals.ok()) {
        err << "fabricor-cli gateway: cannot make a pipe\n";
        return kExitFailure;
    }

    const auto& s = loaded.settings;
    std::ostringstream start;
    start << "Gateway for " << project << " (" << ModeName(s.mode) << ", " << s.rows.size()
          << (s.rows.size() == 1 ? " table row" : " table rows") << ") listening on "
          << listen->address << ":" << server.port() << "; RTU master on " << options.serialDevice
          << " at " << s.baudRate << " baud, 8" << s.parity << s.stopBits << ", time-out "
          << s.timeOutMs << " ms. Ctrl-C stops it.\n";
    for (const auto& warning : loaded.warnings)
        say("warning: " + warning + "\n");
    say(start.str());
    server.Run(signals.stopFd(), signals.reportFd(),
               [&] { say(gateway::FormatCounters(server.counters(), s.rows)); });
    say("Stopped.\n" + gateway::FormatCounters(server.counters(), s.rows));
    return kExitOk;
}

} // namespace

const Command kGatewayCommand = {
    .name = "gateway",
    .summary = kGatewaySummary,
    .usage = kGatewayUsage,
    .help = GatewayHelp,
    .valueOptions = {"serial", "listen", "log"},
    .flagOptions = {"verbose"},
    .positionals = {1, 1, "SOURCE is missing", "only one SOURCE is served"},
    .run = RunGateway,
};

} // namespace fabricor::cli
