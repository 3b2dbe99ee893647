#pragma once

#include "base/status.h"
#include "platform/serial_port.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace fabricor::flash {

inline constexpr int kDefaultBaudRate = 115200;
// How long the line may take no data before the transfer stops.
inline constexpr std::chrono::milliseconds kDefaultWriteTimeout{10000};

// Which device file stands for COM1..COM8 (index 0..7): /dev/ttyS0../dev/ttyS7 (on Windows the
// ports themselves) unless the settings file beside the tool names another, e.g. a
// pseudo-terminal:
//   [ports]
//   COM3=/dev/pts/7
std::string DeviceForPort(const std::filesystem::path& settingsFile, int portIndex);

// The line speed from [serial] baud=..., the default when absent; 0 for a speed the tool cannot
// set.
int BaudRate(const std::filesystem::path& settingsFile);

// The time limit from [serial] write_timeout_ms=..., the default when absent; nothing for a
// value that is not a positive number of milliseconds.
std::optional<std::chrono::milliseconds> WriteTimeout(const std::filesystem::path& settingsFile);

} // namespace fabricor::flash
