#include "flash/serial_port.h"

#include "base/settings_file.h"
#include "documents/integer_text.h"

namespace fabricor::flash {

std::string DeviceForPort(const std::filesystem::path& settingsFile, int portIndex) {
    std::string device = ReadIniValue(settingsFile, "ports", "COM" + std::to_string(portIndex + 1));
    if (!device.empty())
        return device;
    return SerialPort::DefaultDevice(portIndex);
}

int BaudRate(const std::filesystem::path& settingsFile) {
    std::string text = ReadIniValue(settingsFile, "serial", "baud");
    if (text.empty())
        return kDefaultBaudRate;
    auto value = ParseIntegerText(text);
    if (!value || !SerialPort::SupportsBaudRate(*value))
        return 0;
    return *value;
}

std::optional<std::chrono::milliseconds> WriteTimeout(const std::filesystem::path& settingsFile) {
    std::string text = ReadIniValue(settingsFile, "serial", "write_timeout_ms");
    if (text.empty())
        return kDefaultWriteTimeout;
    auto value = ParseIntegerText(text);
    if (!value || *value <= 0)
        return std::nullopt;
    return std::chrono::milliseconds(*value);
}

} // namespace fabricor::flash
