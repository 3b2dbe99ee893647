#pragma once

#include "base/status.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace fabricor::flash {

inline constexpr const char* kToolSettingsFileName = "Progwerk.ini";
inline constexpr int kDefaultBaudRate = 115200;
// How long the line may take no data before the transfer stops.
inline constexpr std::chrono::milliseconds kDefaultWriteTimeout{10000};

// Which device file stands for COM1..COM8 (index 0..7): /dev/ttyS0../dev/ttyS7 unless the
// settings file beside the tool names another, e.g. a pseudo-terminal:
//   [ports]
//   COM3=/dev/pts/7
std::string DeviceForPort(const std::filesystem::path& settingsFile, int portIndex);

// The line speed from [serial] baud=..., the default when absent; 0 for a speed the tool cannot
// set.
int BaudRate(const std::filesystem::path& settingsFile);

// The time limit from [serial] write_timeout_ms=..., the default when absent; nothing for a
// value that is not a positive number of milliseconds.
std::optional<std::chrono::milliseconds> WriteTimeout(const std::filesystem::path& settingsFile);

// A serial line opened raw (8 data bits, no parity, one stop bit, no flow control).
class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // The line stays non-blocking: no write or wait may outlast the caller's time slice.
    Status Open(const std::string& device, int baudRate);
    // Writes what the line accepts until `deadline`; `written` is how much (0: none yet).
    Status WriteSome(std::string_view bytes, std::chrono::steady_clock::time_point deadline,
                     size_t& written);
    // Bytes written but not yet gone out of the port; nothing where the line cannot tell.
    std::optional<int> Pending() const;
    // Waits for the port's output to leave (for lines that cannot tell what is pending).
    Status Drain();
    // Throws away what has not left yet, so closing never waits for a line that takes nothing.
    void Discard();
    const std::string& device() const { return device_; }

private:
    int fd_ = -1;
    std::string device_;
};

} // namespace fabricor::flash
