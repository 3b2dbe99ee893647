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

// What a data record (S1, S2 or S3) is to the configuration window 0x388000..0x38BFFF, one
// answer for the merge, the flash tool's check, verify and decode. A record touches the window
// when its address or any of its bytes lies in it.
enum class WindowPlace {
    Outside,  // touches nothing of the window
    Window,   // an S2 record whose bytes all lie in the window: the configuration's, which the
              // merge replaces
    Intrudes, // any other record that touches the window: an S1 or S3 record there, or an S2
              // record across the window's edge. No base or firmware may hold one: keeping it
              // would put a second value on a window byte, dropping it would lose the base's
              // bytes beyond the edge.
};
WindowPlace PlaceInWindow(int type, uint32_t address, size_t dataBytes);
// Why an intruding record is refused: "an S3 record at 0x388010 lies in the configuration window
// 0x388000..0x38BFFF", "the record at 0x38BFF0 of 32 bytes crosses the edge of ...".
std::string IntrusionText(int type, uint32_t address, size_t dataBytes);

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
// before it is no part of the line. Every window byte must come from exactly one window record
// (see WindowPlace). A record that intrudes, a record near the window that is not a record (bad
// checksum, truncated), a blank line or an overlong line is refused with its line number. With
// a base firmware, a base record that intrudes is compared as a line outside the window, so a
// firmware that lacks it is a difference naming the base's bytes outside the window it lost.
FirmwareWindow ReadFirmwareWindow(ByteSource& firmware, ByteSource* base = nullptr);

// The same on files; an unreadable file gives the error, naming it.
FirmwareWindow ReadFirmwareWindowFile(const std::string& firmwarePath,
                                      const std::optional<std::string>& basePath = std::nullopt);

} // namespace fabricor
