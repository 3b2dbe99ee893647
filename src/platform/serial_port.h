#pragma once

#include "platform/system_error.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace fabricor {

// A serial line opened raw (8 data bits, no parity, one stop bit, no flow control). The device
// is a path on POSIX (/dev/ttyS0, a pseudo-terminal) and a COM port on Windows ("COM3" or
// "\\.\COM3").
class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Whether the line can be set to this many bits per second.
    static bool SupportsBaudRate(int baudRate);
    // The system's own device of COM1..COM8 (index 0..7): /dev/ttyS0.. on POSIX, COM1.. on
    // Windows.
    static std::string DefaultDevice(int portIndex);

    // The line stays non-blocking: no write or wait may outlast the caller's time slice.
    platform::Result Open(const std::string& device, int baudRate);
    // Writes what the line accepts until `deadline`; `written` is how much (0: none yet).
    platform::Result WriteSome(std::string_view bytes,
                               std::chrono::steady_clock::time_point deadline, size_t& written);
    // Bytes written but not yet gone out of the port; nothing where the line cannot tell.
    std::optional<int> Pending() const;
    // Waits for the port's output to leave (for lines that cannot tell what is pending).
    platform::Result Drain();
    // Throws away what has not left yet, so closing never waits for a line that takes nothing.
    void Discard();
    const std::string& device() const { return device_; }

private:
#ifdef _WIN32
    void* handle_ = nullptr; // the port's HANDLE; null while closed
#else
    int fd_ = -1;
#endif
    std::string device_;
    // Written and not yet known to have left: closing throws it away.
    mutable bool unsent_ = false;
};

} // namespace fabricor
