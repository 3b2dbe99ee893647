#pragma once

#include "documents/var.h"
#include "gateway/gateway_rules.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The field devices a translate table names, played on an RTU line (fabricor-cli simulate):
// which device answers, which objects it has, what they hold. No serial line here; the command
// reads and writes the frames.
namespace fabricor::gateway {

// What an object holds until a value file or a write says otherwise, so that a reading shows
// which device and which address answered: holding register A of device D holds
// (1000 D + A) mod 65536, input register A (30000 + 1000 D + A) mod 65536; coil A is on when
// A + D is odd, discrete input A when A + D is a multiple of 3. `kind` is a row's DATA_TYPE.
uint16_t PatternValue(uint8_t device, uint8_t kind, uint16_t address);

// One value of a value file.
struct PresetValue {
    uint8_t device = 0;
    uint8_t kind = 0; // 1 to 4
    uint16_t address = 0;
    uint16_t value = 0;
    size_t line = 0; // in the file, from 1
};

struct ValuesFile {
    std::vector<PresetValue> values;
    std::vector<std::string> problems; // "line 3: ..."
};

// Lines "device,kind,address,value" (comma, semicolon or tab): device 1 to 247; kind a data type
// code 1 to 4 or its name ("Holding Register", any case); address 0 to 65535 and value 0 to 65535
// (0 or 1 for coils and discrete inputs) as integer text, hexadecimal with "0x" or "$" too.
// Fields may be quoted. A first line beginning with "device" is a header; empty lines and lines
// beginning with '#' are skipped.
ValuesFile ParseValuesCsv(std::string_view text);

// What becomes of one request frame on the line.
struct SimulatedReply {
    enum class Kind {
        NotOurs,   // for a device the table does not name: silence
        Silent,    // for a device that plays dead
        Broadcast, // to address 0: writes kept by every device concerned, no answer
        Answer,    // `pdu` goes back: the data or an exception
    };
    Kind kind = Kind::NotOurs;
    Bytes pdu;
};

class FieldDevices {
public:
    // Every row with an RTU device 1 to 247 adds its N_POINT objects of its data type from its
    // RTU address (up to 65535) to that device. Rows for address 0 or 248 and up play nothing.
    explicit FieldDevices(const std::vector<TMyRec>& rows);

    // The devices played, in increasing order.
    std::vector<uint8_t> Devices() const;
    bool Plays(uint8_t device) const { return devices_.count(device) > 0; }
    // How many objects of the kind the device has.
    size_t CountOf(uint8_t device, uint8_t kind) const;
    bool Has(uint8_t device, uint8_t kind, uint32_t address, uint32_t quantity = 1) const;

    // These devices read every request and answer none.
    void Silence(const std::set<uint8_t>& devices) { silent_ = devices; }

    // Takes the values of a file; a value for an object the table does not map is a problem
    // ("line 4: device 3 has no Holding Register 100 in the table"), and nothing is taken then.
    std::vector<std::string> Preset(const std::vector<PresetValue>& values);

    uint16_t Value(uint8_t device, uint8_t kind, uint16_t address) const;

    // A request's answer: functions 1 to 6, 15 and 16 on the objects the device has. Another
    // function: illegal function; a quantity or byte count Modbus does not allow: illegal data
    // value; an object the device does not have: illegal data address. Writes are kept.
    SimulatedReply Reply(uint8_t device, const Bytes& pdu);

private:
    static uint32_t KeyOf(uint8_t device, uint8_t kind) { return uint32_t(device) << 8 | kind; }
    static uint32_t KeyOf(uint8_t device, uint8_t kind, uint16_t address) {
        return KeyOf(device, kind) << 16 | address;
    }
    Bytes Serve(uint8_t device, const Bytes& pdu);

    std::set<uint8_t> devices_;
    std::set<uint8_t> silent_;
    // By device and kind: which of the 65536 addresses the device has.
    std::map<uint32_t, std::vector<bool>> mapped_;
    // What values and writes have set, by device, kind and address.
    std::unordered_map<uint32_t, uint16_t> kept_;
};

// Cutting request frames from what the line brings.
struct RtuRequestScan {
    enum class Status {
        NeedMore, // not enough bytes yet
        Frame,    // a whole frame with a good CRC of `length` bytes at the start
        Skip,     // the first byte begins no frame: drop it and look again
        Unknown,  // a function whose length the request does not tell: wait for the line's
                  // silence and take everything as one frame
    };
    Status status = Status::NeedMore;
    size_t length = 0;
};
RtuRequestScan ScanRtuRequest(const uint8_t* data, size_t size);

} // namespace fabricor::gateway
