#include "gateway/probe.h"

#include "gateway/gateway_rules.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace fabricor::gateway {

namespace {

constexpr uint8_t kHighestDevice = 247;

std::string Range(uint32_t first, uint32_t count) {
    if (count <= 1)
        return std::to_string(first);
    return std::to_string(first) + "-" + std::to_string(first + count - 1);
}

// "rows 3, 4 and 9"; long lists end in "and N more".
std::string RowList(const std::vector<ProbeRequest>& plan, const std::vector<size_t>& requests) {
    std::vector<size_t> rows;
    for (size_t index : requests)
        if (plan[index].row && (rows.empty() || rows.back() != plan[index].row))
            rows.push_back(plan[index].row);
    if (rows.empty())
        return std::to_string(requests.size()) + (requests.size() == 1 ? " read" : " reads");
    constexpr size_t kShown = 8;
    std::string text = rows.size() == 1 ? "row " : "rows ";
    for (size_t i = 0; i < rows.size() && i < kShown; ++i) {
        if (i)
            text += i + 1 == rows.size() ? " and " : ", ";
        text += std::to_string(rows[i]);
    }
    if (rows.size() > kShown)
        text += " and " + std::to_string(rows.size() - kShown) + " more";
    return text;
}

bool TimedOut(const ProbeResult& result) {
    return result.status == ProbeStatus::TimeOut;
}
bool NoAddress(const ProbeResult& result) {
    return result.status == ProbeStatus::Exception && result.exception == kIllegalDataAddress;
}

// What one device did, over the requests sent to it.
struct DeviceOutcome {
    int device = 0;
    std::vector<size_t> ok, timedOut, noAddress, otherException;
};

// What the whole run did.
struct RunOutcome {
    const std::vector<ProbeRequest>& plan;
    const std::vector<ProbeResult>& results;
    OperationMode mode;
    std::vector<size_t> sent, ok, noConnection, noAddress, notServed;
    std::map<int, DeviceOutcome> devices;
};

// The diagnosis, one rule a cause, in the order a person should look at them. A rule that
// explains a request keeps the later ones from explaining it again.
struct Rule {
    ProbeCause cause;
    void (*apply)(const RunOutcome&, std::vector<ProbeFinding>&);
};

void NoConnectionRule(const RunOutcome& run, std::vector<ProbeFinding>& findings) {
    if (run.noConnection.empty())
        return;
    const auto& first = run.results[run.noConnection.front()];
    std::string text = run.noConnection.size() == run.sent.size()
                           ? "no connection to the device: is it on, are the IP address and "
                             "TCP port right, is a firewall in the way?"
                           : "the connection broke off for " + RowList(run.plan, run.noConnection);
    if (!first.problem.empty())
        text += " (" + first.problem + ")";
    findings.push_back({ProbeCause::NoConnection, -1, text, run.noConnection});
}

// Exception 2 for every read and not one answer: the device's table is not this project's.
void WrongTableRule(const RunOutcome& run, std::vector<ProbeFinding>& findings) {
    if (run.mode != OperationMode::Nat || run.noAddress.empty() || !run.ok.empty())
        return;
    findings.push_back({ProbeCause::WrongTable, -1,
                        "no row serves these requests in the device's table (" +
                            RowList(run.plan, run.noAddress) +
                            "): the device holds another table than this project?",
                        run.noAddress});
}

void SilentRule(const RunOutcome& run, std::vector<ProbeFinding>& findings) {
    for (const auto& [device, outcome] : run.devices) {
        if (outcome.timedOut.empty())
            continue;
        const bool none =
            outcome.ok.empty() && outcome.noAddress.empty() && outcome.otherException.empty();
        if (none)
            findings.push_back({ProbeCause::Silent, device,
                                "device " + std::to_string(device) +
                                    " does not answer: address, baud rate, parity or wiring (" +
                                    RowList(run.plan, outcome.timedOut) + ")",
                                outcome.timedOut});
        else
            findings.push_back({ProbeCause::Intermittent, device,
                                "device " + std::to_string(device) +
                                    " answers some reads but not " +
                                    RowList(run.plan, outcome.timedOut) +
                                    ": noise on the line, wiring, or a time-out too short",
                                outcome.timedOut});
    }
}

void NoRegisterRule(const RunOutcome& run, std::vector<ProbeFinding>& findings) {
    const bool wrongTable = std::any_of(findings.begin(), findings.end(), [](const auto& f) {
        return f.cause == ProbeCause::WrongTable;
    });
    if (wrongTable)
        return;
    for (const auto& [device, outcome] : run.devices) {
        if (outcome.noAddress.empty())
            continue;
        std::string objects;
        size_t shown = 0;
        for (size_t index : outcome.noAddress) {
            const auto& request = run.plan[index];
            if (shown++ == 6) {
                objects += " and more";
                break;
            }
            objects +=
                (objects.empty() ? "" : ", ") + ReferenceOf(request.kind, request.rtuAddress);
        }
        const auto& first = run.plan[outcome.noAddress.front()];
        findings.push_back({ProbeCause::NoRegister, device,
                            "device " + std::to_string(device) + " has no " + KindWord(first.kind) +
                                " " + objects + ": check Address RTU (" +
                                RowList(run.plan, outcome.noAddress) + ")",
                            outcome.noAddress});
    }
}

void ExceptionRule(const RunOutcome& run, std::vector<ProbeFinding>& findings) {
    for (const auto& [device, outcome] : run.devices) {
        std::map<uint8_t, std::vector<size_t>> byCode;
        for (size_t index : outcome.otherException)
            byCode[run.results[index].exception].push_back(index);
        for (const auto& [code, requests] : byCode) {
            std::string text = "device " + std::to_string(device) + " answers exception " +
                               DescribeException(code);
            if (code == kIllegalFunction)
                text += ": it does not read this data type (check Data Type)";
            else if (code == kIllegalDataValue)
                text += ": it takes fewer objects in one read (check N° Point)";
            else if (code == kGatewayPathUnavailable)
                text += ": the gateway has no path to it";
            findings.push_back({ProbeCause::Exception, device,
                                text + " (" + RowList(run.plan, requests) + ")", requests});
        }
    }
}

void NotServedRule(const RunOutcome& run, std::vector<ProbeFinding>& findings) {
    for (size_t index : run.notServed)
        findings.push_back(
            {ProbeCause::NotServed,
             run.plan[index].rtuDevice,
             RowList(run.plan, {index}) + " is never served: " + run.plan[index].notServed,
             {index}});
}

constexpr Rule kRules[] = {
    {ProbeCause::NoConnection, NoConnectionRule},
    {ProbeCause::WrongTable, WrongTableRule},
    {ProbeCause::Silent, SilentRule},
    {ProbeCause::NoRegister, NoRegisterRule},
    {ProbeCause::Exception, ExceptionRule},
    {ProbeCause::NotServed, NotServedRule},
};

ProbeRequest RequestOf(const TMyRec& row, size_t number) {
    ProbeRequest request;
    request.row = number;
    request.unit = row.RtuAddDev;
    request.kind = row.DataType;
    request.tcpAddress = row.TcpAddress;
    request.count = row.NPoint;
    request.rtuDevice = row.RtuAddDev;
    request.rtuAddress = row.RtuAddress;
    request.mnemonic = row.Mnemonic;
    return request;
}

// Appends `request` cut into reads Modbus allows.
void AppendSplit(ProbeRequest request, std::vector<ProbeRequest>& plan) {
    const uint16_t most = MaxReadCount(request.kind);
    uint32_t left = request.count;
    do {
        ProbeRequest part = request;
        part.count = uint16_t(std::min<uint32_t>(left, most));
        plan.push_back(part);
        left -= part.count;
        request.tcpAddress = uint16_t(request.tcpAddress + part.count);
        request.rtuAddress = uint16_t(request.rtuAddress + part.count);
    } while (left > 0);
}

} // namespace

uint16_t MaxReadCount(uint8_t kind) {
    return kind == 1 || kind == 2 ? 2000 : 125;
}

uint8_t ReadFunctionOf(uint8_t kind) {
    static constexpr uint8_t functions[] = {kReadCoils, kReadDiscreteInputs, kReadHoldingRegisters,
                                            kReadInputRegisters};
    return kind >= 1 && kind <= 4 ? functions[kind - 1] : 0;
}

std::string KindWord(uint8_t kind) {
    static const char* const words[] = {"coil", "discrete input", "holding register",
                                        "input register"};
    return kind >= 1 && kind <= 4 ? words[kind - 1] : "object";
}

std::string ReferenceOf(uint8_t kind, uint32_t address) {
    static constexpr uint32_t bases[] = {0, 1, 4, 3};
    const uint32_t base = kind >= 1 && kind <= 4 ? bases[kind - 1] : 0;
    // Five digits while they hold the address, six past 9998.
    const uint32_t scale = address + 1 <= 9999 ? 10000 : 100000;
    char text[16];
    std::snprintf(text, sizeof text, scale == 10000 ? "%05u" : "%06u", base * scale + address + 1);
    return text;
}

std::string StatusText(const ProbeResult& result) {
    switch (result.status) {
    case ProbeStatus::Pending:
        return "pending";
    case ProbeStatus::Ok:
        return "ok";
    case ProbeStatus::Exception:
        return "exception " + DescribeException(result.exception);
    case ProbeStatus::TimeOut:
        return result.exception ? "time-out (0x0B from the gateway)" : "time-out";
    case ProbeStatus::NoConnection:
        return "no connection";
    case ProbeStatus::NotServed:
        return "not served";
    }
    return {};
}

std::vector<ProbeRequest> PlanNatProbe(const std::vector<TMyRec>& rows) {
    std::vector<ProbeRequest> plan;
    plan.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[i];
        ProbeRequest request = RequestOf(row, i + 1);
        if (row.NPoint == 0)
            request.notServed = "N° Point is 0, it maps nothing";
        else if (uint32_t(row.TcpAddress) + row.NPoint > 65536u)
            request.notServed = "its Address TCP range runs past 65535";
        else if (uint32_t(row.RtuAddress) + row.NPoint > 65536u)
            request.notServed = "its Address RTU range runs past 65535";
        else if (row.RtuAddDev == 0 || row.RtuAddDev > kHighestDevice)
            request.notServed = "device address " + std::to_string(row.RtuAddDev) +
                                " names no device that answers (1 to 247)";
        else if (auto first = FindRow(rows, row.DataType, row.TcpAddress, row.NPoint);
                 first && *first < i)
            request.notServed = "row " + std::to_string(*first + 1) + " holds its whole " +
                                "Address TCP range and serves it first";
        if (!request.notServed.empty())
            plan.push_back(request);
        else
            AppendSplit(request, plan);
    }
    return plan;
}

std::optional<std::vector<ProbeRequest>> ParseRoutingRows(const std::string& text,
                                                          std::string& problem) {
    std::vector<ProbeRequest> plan;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string item = text.substr(start, end - start);
        start = end + 1;
        std::vector<std::string> parts;
        for (size_t from = 0;;) {
            const size_t colon = item.find(':', from);
            parts.push_back(item.substr(from, colon - from));
            if (colon == std::string::npos)
                break;
            from = colon + 1;
        }
        auto number = [](const std::string& word, long most) -> std::optional<long> {
            if (word.empty() || word.size() > 5 ||
                word.find_first_not_of("0123456789") != std::string::npos)
                return std::nullopt;
            const long value = std::stol(word);
            return value <= most ? std::optional<long>(value) : std::nullopt;
        };
        static const std::map<std::string, uint8_t> kinds = {
            {"coil", 1}, {"input", 2}, {"holding", 3}, {"inputreg", 4},
            {"1", 1},    {"2", 2},     {"3", 3},       {"4", 4}};
        std::optional<long> unit, address, count;
        if (parts.size() == 4) {
            unit = number(parts[0], kHighestDevice);
            address = number(parts[2], 65535);
            count = number(parts[3], 65535);
        }
        if (!unit || *unit == 0 || !kinds.count(parts[1]) || !address || !count || *count == 0 ||
            *address + *count > 65536) {
            problem = "'" + item +
                      "' is not UNIT:KIND:ADDRESS:COUNT (unit 1 to 247; kind 1 to 4 or coil, "
                      "input, holding, inputreg; a range within 0 to 65535)";
            return std::nullopt;
        }
        ProbeRequest request;
        request.unit = request.rtuDevice = uint8_t(*unit);
        request.kind = kinds.at(parts[1]);
        request.tcpAddress = request.rtuAddress = uint16_t(*address);
        request.count = uint16_t(*count);
        AppendSplit(request, plan);
    }
    return plan;
}

std::vector<ProbeFinding> DiagnoseProbe(const std::vector<ProbeRequest>& plan,
                                        const std::vector<ProbeResult>& results,
                                        OperationMode mode) {
    RunOutcome run{plan, results, mode, {}, {}, {}, {}, {}, {}};
    for (size_t i = 0; i < plan.size() && i < results.size(); ++i) {
        const auto& result = results[i];
        if (result.status == ProbeStatus::Pending)
            continue;
        if (result.status == ProbeStatus::NotServed) {
            run.notServed.push_back(i);
            continue;
        }
        run.sent.push_back(i);
        if (result.status == ProbeStatus::NoConnection) {
            run.noConnection.push_back(i);
            continue;
        }
        auto& device = run.devices[plan[i].rtuDevice];
        device.device = plan[i].rtuDevice;
        if (result.status == ProbeStatus::Ok) {
            run.ok.push_back(i);
            device.ok.push_back(i);
        } else if (TimedOut(result)) {
            device.timedOut.push_back(i);
        } else if (NoAddress(result)) {
            run.noAddress.push_back(i);
            device.noAddress.push_back(i);
        } else {
            device.otherException.push_back(i);
        }
    }
    std::vector<ProbeFinding> findings;
    for (const auto& rule : kRules)
        rule.apply(run, findings);
    return findings;
}

std::string ShortCause(ProbeCause cause) {
    switch (cause) {
    case ProbeCause::NoConnection:
        return "no connection";
    case ProbeCause::WrongTable:
        return "another table in the device";
    case ProbeCause::Silent:
        return "does not answer";
    case ProbeCause::NoRegister:
        return "no such object: check Address RTU";
    case ProbeCause::Intermittent:
        return "answers now and then";
    case ProbeCause::Exception:
        return "refuses the read";
    case ProbeCause::NotServed:
        return "never served by the table";
    }
    return {};
}

std::string ProbeSummary(const std::vector<ProbeResult>& results,
                         const std::vector<ProbeFinding>& findings) {
    size_t ok = 0, failing = 0;
    for (const auto& result : results) {
        if (result.status == ProbeStatus::Ok)
            ++ok;
        else if (result.status != ProbeStatus::Pending)
            ++failing;
    }
    std::string text = std::to_string(ok) + (ok == 1 ? " read ok" : " reads ok");
    if (failing) {
        text += " · " + std::to_string(failing) + " failing:";
        for (size_t i = 0; i < findings.size(); ++i) {
            const auto& finding = findings[i];
            text += (i ? "; " : " ") +
                    (finding.device >= 0 && finding.cause != ProbeCause::NotServed
                         ? "device " + std::to_string(finding.device) + ": "
                         : std::string()) +
                    ShortCause(finding.cause) + " (" + std::to_string(finding.requests.size()) +
                    ")";
        }
    }
    return text;
}

std::string ProbeCsvHeader() {
    return "row,mnemonic,kind,tcp,device,rtu,status,exception,ms,values\r\n";
}

std::string ProbeCsvLine(const ProbeRequest& request, const ProbeResult& result) {
    auto quoted = [](const std::string& text) {
        std::string out = "\"";
        for (char c : text)
            out += c == '"' ? std::string("\"\"") : std::string(1, c);
        return out + "\"";
    };
    std::string values;
    for (size_t i = 0; i < result.values.size(); ++i)
        values += (i ? " " : "") + std::to_string(result.values[i]);
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.1f", result.ms);
    return std::to_string(request.row) + "," + quoted(request.mnemonic) + "," +
           KindWord(request.kind) + "," + Range(request.tcpAddress, request.count) + "," +
           std::to_string(request.rtuDevice) + "," + Range(request.rtuAddress, request.count) +
           "," + quoted(StatusText(result)) + "," +
           (result.exception ? std::to_string(result.exception) : std::string()) + "," +
           (result.status == ProbeStatus::Pending || result.status == ProbeStatus::NotServed
                ? std::string()
                : std::string(ms)) +
           "," + values + "\r\n";
}

} // namespace fabricor::gateway
