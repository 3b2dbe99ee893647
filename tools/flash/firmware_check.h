#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fabricor::flash {

struct FirmwareCheck {
    std::string error;                // empty when the firmware may be sent
    std::vector<std::string> records; // the lines to send, without line ends
    size_t dataRecords = 0;
    bool ok() const { return error.empty(); }
};

// Checks a Motorola S-record text before anything reaches the device: every line a well-formed
// record with a correct checksum, nothing intruding on configuration bank 1 (the merge's bank
// window, see WindowPlace), and the bank covered byte for byte, each byte once.
FirmwareCheck CheckFirmware(std::string_view text);

} // namespace fabricor::flash
