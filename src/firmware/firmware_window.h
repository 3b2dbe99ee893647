#pragma once

#include "base/byte_stream.h"
#include "image/configuration_image.h"

#include <cstdint>
#include <optional>
#include <string>

namespace fabricor {

// No S-record line is longer than this (255 bytes after the count, as digit pairs, and the
// head); a longer line is refused as soon as it is seen, so a line of any length costs nothing.
inline constexpr size_t kMaxSRecordLine = 600;

// The configuration image read back from a firmware's records of the bank window
// 0x388000..0x38BFFF, and, when a base firmware is given, whether every line outside the window
// is the base firmware's, in the same order.
struct FirmwareWindow {
    bool ok = false;
    std::string error; // "line 12: bad checksum", "... incomplete ..."; empty when ok
    ConfigurationImage image{};
    int64_t lines = 0;
    int64_t windowRecords = 0;
    // With a base firmware: the first line outside the window that is not the base's; empty
    // when they agree.
    std::string outsideDifference;
};

// Reads `firmware` once, front to back, holding one line at a time. Lines end in LF; one CR
// before it is no part of the line. A window record must be an S2 record lying wholly inside
// the window; every window byte must come from exactly one record. An S1, S2 or S3 record that
// reaches into the window from outside, a record of the window that is not a record (bad
// checksum, truncated), a blank line or an overlong line is refused with its line number.
FirmwareWindow ReadFirmwareWindow(ByteSource& firmware, ByteSource* base = nullptr);

// The same on files; an unreadable file gives the error, naming it.
FirmwareWindow ReadFirmwareWindowFile(const std::string& firmwarePath,
                                      const std::optional<std::string>& basePath = std::nullopt);

} // namespace fabricor
