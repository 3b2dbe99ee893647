#pragma once

#include "base/status.h"

#include <filesystem>
#include <string>

namespace fabricor::flash {

inline constexpr const char* kToolSettingsFileName = "Progwerk.ini";
inline constexpr int kDefaultBaudRate = 115200;

// Which device file stands for COM1..COM8 (index 0..7): /dev/ttyS0../dev/ttyS7 unless the
// settings file beside the tool names another, e.g. a pseudo-terminal:
//   [ports]
//   COM3=/dev/pts/7
std::string DeviceForPort(const std::filesystem::path& settingsFile, int portIndex);

// The line speed from [serial] baud=..., the default when absent; 0 for a speed the tool cannot
// set.
int BaudRate(const std::filesystem::path& settingsFile);

// A serial line opened raw (8 data bits, no parity, one stop bit, no flow control).
class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    Status Open(const std::string& device, int baudRate);
    // Writes all of the bytes, waiting while the line is busy.
    Status Write(std::string_view bytes);
    // Returns once everything written has left the port.
    Status Drain();

private:
    int fd_ = -1;
    std::string device_;
};

} // namespace fabricor::flash
