#include "cli/probe_command.h"

#include "base/folders.h"
#include "cli/options.h"
#include "gateway/gateway_project.h"
#include "gateway/probe_client.h"
#include "platform/files.h"

#include <chrono>
#include <cstdio>
#include <ostream>
#include <thread>

namespace fabricor::cli {

namespace {

using namespace gateway;

void ProbeHelp(std::ostream& out) {
    out << "Proves on site or on the bench that every row of PROJECT's translate table reaches\n"
           "its field device: a Modbus TCP client that reads each row through the device (or\n"
           "'fabricor-cli gateway') with the function of its data type, then says per device\n"
           "why rows fail. It only reads; it never writes.\n"
           "\n"
           "NAT mode: every row of the table, in table order, whole rows split into the reads\n"
           "Modbus allows (125 registers, 2000 coils or inputs). Rows the table itself never\n"
           "serves (N° Point 0, a range past 65535, a range an earlier row already holds) are\n"
           "listed, not sent. Routing mode: the reads --rows names.\n"
           "\n"
           "Per read: row, mnemonic, data type, TCP range, RTU device and range, status (ok,\n"
           "an exception with its code and name, time-out, no connection), time, values.\n"
           "\n"
           "Options:\n"
           "  --host HOST[:PORT]   the device (default: the project's IP address and TCP port)\n"
           "  --rows LIST          Routing mode: UNIT:KIND:ADDRESS:COUNT items, comma\n"
           "                       separated; KIND 1 to 4 or coil, input, holding, inputreg\n"
           "  --repeat N           read the whole table N times (default 1)\n"
           "  --interval MS        wait between two passes (default 1000)\n"
           "  --timeout MS         wait for each answer (default: the project's time-out plus\n"
           "                       1000 ms, so the device's own time-out answer comes first)\n"
           "  --format FORMAT      text (default), csv or json (one document with every read\n"
           "                       of the last pass and the diagnosis)\n"
           "  --help               show this help\n"
           "\n"
           "Exit status: 0 when every read answered (in every pass); 1 when any failed; 2 on a\n"
           "usage error, a project that cannot be read, or no connection at all.\n";
}

std::optional<long> Number(const std::string& text, long least, long most) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const long value = std::stol(text);
    if (value < least || value > most)
        return std::nullopt;
    return value;
}

std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\')
            out += '\\', out += char(c);
        else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else
            out += char(c);
    }
    return out + "\"";
}

const char* StatusWord(ProbeStatus status) {
    switch (status) {
    case ProbeStatus::Pending:
        return "pending";
    case ProbeStatus::Ok:
        return "ok";
    case ProbeStatus::Exception:
        return "exception";
    case ProbeStatus::TimeOut:
        return "time-out";
    case ProbeStatus::NoConnection:
        return "no connection";
    case ProbeStatus::NotServed:
        return "not served";
    }
    return "";
}

std::string RangeText(uint32_t first, uint32_t count) {
    return count <= 1 ? std::to_string(first)
                      : std::to_string(first) + "-" + std::to_string(first + count - 1);
}

void PrintTextLine(std::ostream& out, const ProbeRequest& request, const ProbeResult& result) {
    std::string values;
    for (size_t i = 0; i < result.values.size() && i < 8; ++i)
        values += (i ? " " : "") + std::to_string(result.values[i]);
    if (result.values.size() > 8)
        values += " ...";
    const std::string status = StatusText(result);
    char line[512];
    std::snprintf(line, sizeof line, "%4s  %-12.12s %-16s %-11s %3u  %-11s %-38s %9s  %s\n",
                  request.row ? std::to_string(request.row).c_str() : "-", request.mnemonic.c_str(),
                  KindWord(request.kind).c_str(),
                  RangeText(request.tcpAddress, request.count).c_str(), request.rtuDevice,
                  RangeText(request.rtuAddress, request.count).c_str(), status.c_str(),
                  result.status == ProbeStatus::NotServed
                      ? ""
                      : (std::to_string(int(result.ms * 10 + 0.5) / 10) + "." +
                         std::to_string(int(result.ms * 10 + 0.5) % 10) + " ms")
                            .c_str(),
                  values.c_str());
    std::string text = line;
    text.erase(text.find_last_not_of(" \n") + 1);
    out << text << "\n";
}

void PrintJson(std::ostream& out, const std::string& project, const std::string& host,
               uint16_t port, const std::vector<ProbeRequest>& plan,
               const std::vector<ProbeResult>& results, const std::vector<ProbeFinding>& findings) {
    out << "{\n  \"project\": " << JsonText(project) << ",\n  \"host\": " << JsonText(host)
        << ",\n  \"port\": " << port << ",\n  \"reads\": [";
    for (size_t i = 0; i < plan.size(); ++i) {
        const auto& request = plan[i];
        const auto& result = results[i];
        out << (i ? ",\n" : "\n") << "    {\"row\": " << request.row
            << ", \"mnemonic\": " << JsonText(request.mnemonic)
            << ", \"kind\": " << int(request.kind) << ", \"tcp_address\": " << request.tcpAddress
            << ", \"count\": " << request.count << ", \"device\": " << int(request.rtuDevice)
            << ", \"rtu_address\": " << request.rtuAddress << ", \"status\": \""
            << StatusWord(result.status) << "\", \"text\": "
            << JsonText(result.status == ProbeStatus::NotServed ? request.notServed
                                                                : StatusText(result));
        if (result.exception)
            out << ", \"exception\": " << int(result.exception);
        char ms[32];
        std::snprintf(ms, sizeof ms, "%.3f", result.ms);
        out << ", \"ms\": " << ms << ", \"values\": [";
        for (size_t v = 0; v < result.values.size(); ++v)
            out << (v ? ", " : "") << result.values[v];
        out << "]}";
    }
    out << "\n  ],\n  \"diagnosis\": [";
    for (size_t i = 0; i < findings.size(); ++i)
        out << (i ? ",\n" : "\n") << "    " << JsonText(findings[i].text);
    out << (findings.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

int RunProbe(const ParsedArguments& parsed, std::ostream& out, std::ostream& err,
             TerminalProgress&) {
    const std::string format = parsed.values.count("format") ? parsed.values.at("format") : "text";
    if (format != "text" && format != "csv" && format != "json")
        return UsageError(kProbeCommand, err, "--format takes text, csv or json, not '" + format + "'");
    long repeat = 1, interval = 1000;
    std::optional<long> timeOut;
    if (parsed.values.count("repeat")) {
        auto value = Number(parsed.values.at("repeat"), 1, 1000000);
        if (!value)
            return UsageError(kProbeCommand, err, "--repeat takes a number of passes from 1");
        repeat = *value;
    }
    if (parsed.values.count("interval")) {
        auto value = Number(parsed.values.at("interval"), 0, 86400000);
        if (!value)
            return UsageError(kProbeCommand, err, "--interval takes milliseconds from 0");
        interval = *value;
    }
    if (parsed.values.count("timeout")) {
        timeOut = Number(parsed.values.at("timeout"), 1, 600000);
        if (!timeOut)
            return UsageError(kProbeCommand, err, "--timeout takes milliseconds from 1 to 600000");
    }
    std::string host;
    std::optional<uint16_t> port;
    if (parsed.values.count("host")) {
        host = parsed.values.at("host");
        if (const auto colon = host.rfind(':'); colon != std::string::npos) {
            auto value = Number(host.substr(colon + 1), 1, 65535);
            if (!value || colon == 0)
                return UsageError(kProbeCommand, err, "--host takes HOST or HOST:PORT with a port 1 to 65535, "
                                       "not '" +
                                           host + "'");
            port = uint16_t(*value);
            host.resize(colon);
        }
    }

    const std::string& project = parsed.positional.front();
    if (!FolderExists(project)) {
        err << "fabricor-cli probe: " << project << " is not a project folder\n";
        return kExitUsage;
    }
    const auto loaded = LoadGatewayProject(project);
    if (!loaded.problems.empty()) {
        err << "fabricor-cli probe: " << project << " would not save cleanly:\n";
        for (const auto& line : loaded.problems)
            err << line << "\n";
        return kExitUsage;
    }
    const auto& settings = loaded.settings;
    if (host.empty())
        host = loaded.deviceAddress;
    if (!port) {
        if (settings.tcpPort < 1 || settings.tcpPort > 65535) {
            err << "fabricor-cli probe: pargen.xml TCP_PORT " << settings.tcpPort
                << " is no TCP port; give one with --host HOST:PORT\n";
            return kExitUsage;
        }
        port = uint16_t(settings.tcpPort);
    }

    std::vector<ProbeRequest> plan;
    if (settings.mode == OperationMode::Nat) {
        if (parsed.values.count("rows"))
            return UsageError(kProbeCommand, err, "--rows is for Routing Mode; in NAT Mode every row of the "
                                   "table is read");
        plan = PlanNatProbe(settings.rows);
        if (plan.empty()) {
            err << "fabricor-cli probe: " << project << " has no row in its translate table\n";
            return kExitUsage;
        }
    } else {
        if (!parsed.values.count("rows"))
            return UsageError(kProbeCommand, err, "the project is in Routing Mode: name the reads with --rows "
                                   "UNIT:KIND:ADDRESS:COUNT");
        std::string problem;
        auto named = ParseRoutingRows(parsed.values.at("rows"), problem);
        if (!named)
            return UsageError(kProbeCommand, err, "--rows: " + problem);
        plan = std::move(*named);
    }

    ProbeClient client(host, *port, int(timeOut.value_or(settings.timeOutMs + 1000)));
    std::vector<ProbeResult> results(plan.size());
    std::vector<size_t> failedBefore(plan.size(), 0);
    if (format == "text")
        out << "Probe of " << project << " at " << host << ":" << *port << " ("
            << (settings.mode == OperationMode::Nat ? "NAT Mode" : "Routing Mode") << ", "
            << plan.size() << (plan.size() == 1 ? " read" : " reads")
            << (repeat > 1 ? ", " + std::to_string(repeat) + " passes" : std::string()) << ")\n";
    if (format == "csv")
        out << "pass," << ProbeCsvHeader();
    for (long pass = 1; pass <= repeat; ++pass) {
        if (pass > 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(interval));
        if (format == "text") {
            if (repeat > 1)
                out << "Pass " << pass << " of " << repeat << "\n";
            out << " row  mnemonic     kind             TCP         dev  RTU         status       "
                   "                               time  values\n";
        }
        RunProbePass(client, plan, [&](size_t index, const ProbeResult& result) {
            if (pass < repeat && result.status != ProbeStatus::Ok &&
                result.status != ProbeStatus::NotServed)
                ++failedBefore[index];
            results[index] = result;
            if (format == "text")
                PrintTextLine(out, plan[index], result);
            else if (format == "csv")
                out << pass << "," << ProbeCsvLine(plan[index], result);
            out.flush();
        });
    }

    const auto findings = DiagnoseProbe(plan, results, settings.mode);
    size_t failing = 0, unreachable = 0, sent = 0;
    for (const auto& result : results) {
        failing += result.status != ProbeStatus::Ok;
        sent += result.status != ProbeStatus::NotServed;
        unreachable += result.status == ProbeStatus::NoConnection;
    }
    // A read that failed in any pass did not always answer.
    for (size_t i = 0; i < plan.size(); ++i)
        failing += failedBefore[i] && results[i].status == ProbeStatus::Ok;
    std::vector<std::string> intermittent;
    for (size_t i = 0; i < plan.size(); ++i)
        if (failedBefore[i] && results[i].status == ProbeStatus::Ok)
            intermittent.push_back("row " + std::to_string(plan[i].row) + " failed in " +
                                   std::to_string(failedBefore[i]) + " of " +
                                   std::to_string(repeat) +
                                   " passes: noise, wiring or a "
                                   "time-out too short");
    if (format == "json") {
        auto all = findings;
        for (const auto& line : intermittent)
            all.push_back({ProbeCause::Intermittent, -1, line, {}});
        PrintJson(out, project, host, *port, plan, results, all);
    } else if (format == "text") {
        if (findings.empty() && intermittent.empty())
            out << "Every read answered.\n";
        else
            out << "Diagnosis (" << ProbeSummary(results, findings) << "):\n";
        for (const auto& finding : findings)
            out << "  " << finding.text << "\n";
        for (const auto& line : intermittent)
            out << "  " << line << "\n";
    }
    if (sent && unreachable == sent) {
        if (format != "text")
            err << "fabricor-cli probe: no connection to " << host << ":" << *port << "\n";
        return kExitUsage;
    }
    return failing ? kExitFailure : kExitOk;
}

} // namespace

const Command kProbeCommand = {
    .name = "probe",
    .summary = kProbeSummary,
    .usage = kProbeUsage,
    .help = ProbeHelp,
    .valueOptions = {"host", "rows", "repeat", "interval", "timeout", "format"},
    .positionals = {1, 1, "PROJECT is missing", "only one PROJECT is probed"},
    .run = RunProbe,
};

} // namespace fabricor::cli
