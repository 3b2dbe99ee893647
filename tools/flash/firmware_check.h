#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fabricor::flash {

// Configuration bank 1, which a firmware must fill completely before it may go to a device.
inline constexpr uint32_t kConfigurationFirst = 0x388000;
inline constexpr uint32_t kConfigurationLast = 0x38BFFF;

struct FirmwareCheck {
    std::string error;                // empty when the firmware may be sent
    std::vector<std::string> records; // the lines to send, without line ends
    size_t dataRecords = 0;
    bool ok() const { return error.empty(); }
};

// Checks a Motorola S-record text before anything reaches the device: every line a well-formed
// record with a correct checksum, and the configuration window covered byte for byte.
FirmwareCheck CheckFirmware(std::string_view text);

} // namespace fabricor::flash
