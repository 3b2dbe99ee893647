#include "gateway/gateway_project.h"

#include "documents/integer_text.h"
#include "platform/files.h"
#include "rules/project_check.h"
#include "rules/translate_analysis.h"
#include "rules/translate_rules.h"

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

namespace fabricor::gateway {

GatewayProject LoadGatewayProject(const std::string& projectFolder) {
    GatewayProject project;
    // Checked and served from the same reading: a document saved in between cannot slip past.
    const SavedProject saved = ReadSavedProject(projectFolder);
    const auto& general = saved.general;
    const auto parameters = DecodeGeneralParameters(general);
    auto& settings = project.settings;
    // Where the device is, even for a project that would not save cleanly: Test Device shows it.
    if (general.outcome == ReadOutcome::Read) {
        settings.tcpPort = parameters.port;
        project.deviceAddress = parameters.ip[0] + "." + parameters.ip[1] + "." +
                                parameters.ip[2] + "." + parameters.ip[3];
    }
    project.problems = CheckProjectDocuments(saved);
    if (!project.problems.empty())
        return project;
    settings.mode = parameters.mode;
    if (auto rate = BaudRateAt(parameters.baudIndex))
        settings.baudRate = *rate;
    else
        project.refusals.push_back("pargen.xml BAUD: no baud rate selected");
    settings.parity = ParityCodingOf(parameters.parity).letter;
    settings.stopBits = parameters.twoStopBits ? 2 : 1;
    // The dialog gives two stop bits no parity, but the image takes both as written: the line
    // would not run as the device is told to.
    const auto& parityText = general[GeneralParameter::PARITY];
    if (parameters.twoStopBits && DecodeParity(parityText) != Parity::None)
        project.refusals.push_back("pargen.xml PARITY " + parityText.value_or("") +
                                   " with STOP_BIT 1: two stop bits come only with no parity");
    // The device keeps only the low 16 bits of the time-out, and 0 would never wait: refuse both
    // rather than wait for something else than the device will.
    auto timeOut = ParseIntegerText(parameters.timeOut);
    if (!timeOut || *timeOut < 1 || *timeOut > 65535)
        project.refusals.push_back("pargen.xml TIME_OUT " + parameters.timeOut +
                                   ": the gateway needs a time-out from 1 to 65535 ms");
    else
        settings.timeOutMs = *timeOut;

    // Checked above: confirming refuses nothing.
    const SavedTable& table = saved.rows;
    // The editor ends the table at the first empty Address TCP and the image builder stops
    // there: the rows after it would never reach the device, so they are not served either.
    if (table.rowsCut > 0) {
        const size_t after = table.rowsCut - 1;
        project.refusals.push_back("var.xml row " + std::to_string(table.records.size() + 1) +
                                   ": Address TCP is empty, which ends the table there; " +
                                   (after == 1
                                        ? std::string("the row after it")
                                        : "the " + std::to_string(after) + " rows after it") +
                                   " would not reach the device");
    }
    settings.rows = table.Confirmed().value_or(std::vector<TMyRec>{});
    if (settings.mode == OperationMode::Nat) {
        project.warnings = UnreachableRows(settings.rows);
        for (size_t i = 0; i < settings.rows.size(); ++i) {
            const int device = settings.rows[i].RtuAddDev;
            if (device == 0 || device > 247)
                project.warnings.push_back(
                    "row " + std::to_string(i + 1) + ": RTU device " + std::to_string(device) +
                    (device == 0 ? " is the broadcast address, which answers nobody"
                                 : " is no device address (1 to 247)") +
                    ": the gateway answers the row's requests with exception 0x0A");
        }
        // In row order, each line being "row N: ...".
        std::stable_sort(project.warnings.begin(), project.warnings.end(),
                         [](const std::string& a, const std::string& b) {
                             return std::stoul(a.substr(4)) < std::stoul(b.substr(4));
                         });
    }
    return project;
}

std::optional<ListenAddress> ParseListenAddress(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        return std::nullopt;
    ListenAddress listen;
    listen.address = text.substr(0, colon);
    in_addr parsed{};
    if (::inet_pton(AF_INET, listen.address.c_str(), &parsed) != 1)
        return std::nullopt;
    long port = 0;
    for (size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9' || i - colon > 5)
            return std::nullopt;
        port = port * 10 + (text[i] - '0');
    }
    if (port > 65535)
        return std::nullopt;
    listen.port = uint16_t(port);
    return listen;
}

} // namespace fabricor::gateway
