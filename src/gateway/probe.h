#pragma once

#include "documents/pargen.h"
#include "documents/var.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Commissioning: which reads prove that every row of a table reaches its field device, and what
// their outcomes say in a person's terms. No sockets here (probe_client holds the Modbus TCP
// client), so the rules are tested without a network.
namespace fabricor::gateway {

// One read the probe sends: a whole row, or the part of a row one Modbus request may carry.
struct ProbeRequest {
    size_t row = 0;   // table row counted from 1; 0 for a --rows request in Routing Mode
    uint8_t unit = 1; // TCP unit identifier: the RTU device in Routing Mode
    uint8_t kind = 3; // data type 1 to 4, as DATA_TYPE codes it
    uint16_t tcpAddress = 0;
    uint16_t count = 0;
    uint8_t rtuDevice = 0;
    uint16_t rtuAddress = 0;
    std::string mnemonic;
    // Why the device cannot serve this row from its table, so it is never sent; else empty.
    std::string notServed;
};

enum class ProbeStatus { Pending, Ok, Exception, TimeOut, NoConnection, NotServed };

struct ProbeResult {
    ProbeStatus status = ProbeStatus::Pending;
    // The exception answered; with TimeOut, 0x0B when the gateway said its device did not answer.
    uint8_t exception = 0;
    double ms = 0;
    std::vector<uint16_t> values; // registers, or 0 and 1 for coils and inputs
    std::string problem;          // NoConnection: what the connection said
};

// NAT Mode: every row in table order, split into requests Modbus allows (2000 bits, 125
// registers). A row the table itself keeps from being served carries the reason: it maps
// nothing, an earlier row of its kind holds its whole range, its range runs past 65535, or its
// device address is 0 or above 247.
std::vector<ProbeRequest> PlanNatProbe(const std::vector<TMyRec>& rows);

// Routing Mode: "UNIT:KIND:ADDRESS:COUNT" items separated by commas; KIND is 1 to 4 or coil,
// input, holding, inputreg. Nothing when one item is wrong; `problem` then says which.
std::optional<std::vector<ProbeRequest>> ParseRoutingRows(const std::string& text,
                                                          std::string& problem);

// The most objects one read of data type `kind` may ask for.
uint16_t MaxReadCount(uint8_t kind);
// The Modbus function that reads data type `kind`: 1, 2, 3 or 4.
uint8_t ReadFunctionOf(uint8_t kind);

// "coil", "discrete input", "holding register", "input register".
std::string KindWord(uint8_t kind);
// The object's conventional reference number: holding register address 99 is 40100.
std::string ReferenceOf(uint8_t kind, uint32_t address);
// "ok", "exception 0x02 (illegal data address)", "time-out", "no connection", "not served".
std::string StatusText(const ProbeResult& result);

// ---- Diagnosis ----

enum class ProbeCause {
    NoConnection, // nothing reached the gateway
    WrongTable,   // the gateway serves none of the project's rows (exception 2 everywhere)
    Silent,       // every read of a device timed out
    NoRegister,   // a device answers, but exception 2 for some objects
    Intermittent, // a device answers some reads and times out on others
    Exception,    // other exceptions of a device
    NotServed,    // rows the table itself keeps from being served
};

struct ProbeFinding {
    ProbeCause cause;
    int device = -1; // the RTU device it is about, -1 for none
    std::string text;
    std::vector<size_t> requests; // indices into the plan
};

// Findings grouped by likely cause, most telling first. `results[i]` answers `plan[i]`; pending
// ones are left out.
std::vector<ProbeFinding> DiagnoseProbe(const std::vector<ProbeRequest>& plan,
                                        const std::vector<ProbeResult>& results,
                                        OperationMode mode);

// The cause of a finding in a few words: "does not answer" (of a device).
std::string ShortCause(ProbeCause cause);

// "1998 reads ok · 2 failing: device 7 does not answer (2)".
std::string ProbeSummary(const std::vector<ProbeResult>& results,
                         const std::vector<ProbeFinding>& findings);

// ---- What the probe writes ----

// One CSV line a request: row, mnemonic, kind, TCP range, device, RTU range, status, ms, values.
std::string ProbeCsvHeader();
std::string ProbeCsvLine(const ProbeRequest& request, const ProbeResult& result);

} // namespace fabricor::gateway
