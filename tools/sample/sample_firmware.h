#pragma once

#include <string>

namespace fabricor::sample {

// The header text every sample carries, so nobody mistakes it for a device's firmware.
inline constexpr const char* kSampleHeader =
    "SAMPLE SX30418 FIRMWARE FOR TRYING FABRICOR - NOT FOR A DEVICE";

// A base firmware for a fresh machine: an S0 header, S2 records of sample code from 0x380000,
// the configuration window 0x388000..0x38BFFF filled with 0xFF (erased), more sample code up to
// 0x38DFFF and an S8 end record. 32 data bytes a record, CR LF line ends.
std::string SampleFirmwareText();

} // namespace fabricor::sample
