#pragma once

#include "documents/pargen.h"
#include "documents/var.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fabricor::gateway {

// What the gateway takes from a project: the serial settings, the mode and the table exactly as
// the translate table editor would save it.
struct GatewaySettings {
    OperationMode mode = OperationMode::Nat;
    int32_t tcpPort = 502;
    int baudRate = 9600;
    char parity = 'N'; // 'N', 'E' or 'O', as libmodbus names them
    int stopBits = 1;
    int timeOutMs = 1000;
    std::vector<TMyRec> rows;
};

struct GatewayProject {
    // The lines 'fabricor-cli check' prints: the project would not save cleanly.
    std::vector<std::string> problems;
    // What the gateway cannot serve as the device would, in a project that may save cleanly.
    std::vector<std::string> refusals;
    // NAT Mode: what of the table no request can reach ("row 7: ..."), to say before serving.
    std::vector<std::string> warnings;
    GatewaySettings settings;
    // The device's own IP address as the general parameters give it ("10.0.0.7"), where the
    // probe and Test Device reach it unless told otherwise.
    std::string deviceAddress;
};

// Reads a project folder. A project that would not save cleanly is refused with the check's
// own lines. So are, with a line each, settings the device would not run as given: no baud rate,
// a time-out outside 1 to 65535 ms, two stop bits with a parity, and rows after an empty Address
// TCP (they never reach the device). In NAT Mode, the rows no request can reach are warnings:
// those of the table analysis, and rows for RTU address 0 or 248 and up, which the gateway
// answers itself with exception 0x0A.
GatewayProject LoadGatewayProject(const std::string& projectFolder);

// "ADDRESS:PORT" with a dotted IPv4 address and a port 0 to 65535 (0: any free port).
struct ListenAddress {
    std::string address;
    uint16_t port = 0;
};
std::optional<ListenAddress> ParseListenAddress(const std::string& text);

} // namespace fabricor::gateway
