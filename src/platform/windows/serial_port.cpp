#include "platform/serial_port.h"

#include <windows.h>

#include "platform/windows/system_message.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace fabricor {

namespace {

// "WHAT: the system's text", the error code kept for the caller.
platform::Result SystemFailure(const std::string& what) {
    DWORD error = GetLastError();
    return platform::Result::Failed(what + ": " + SystemMessage(error), int(error));
}

// "COM3" becomes "\\.\COM3", the only form that reaches COM10 and above; a name given with
// that prefix, or another device path, is taken as it is. UTF-8 inside, UTF-16 at the system.
std::wstring DevicePath(const std::string& device) {
    std::string path = device;
    if (path.size() > 3 && (path[0] == 'C' || path[0] == 'c') &&
        (path[1] == 'O' || path[1] == 'o') && (path[2] == 'M' || path[2] == 'm') &&
        std::all_of(path.begin() + 3, path.end(), [](char c) { return c >= '0' && c <= '9'; }))
        path = "\\\\.\\" + path;
    int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), int(path.size()),
                                   nullptr, 0);
    if (size <= 0)
        return {};
    std::wstring wide(size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), int(path.size()), wide.data(),
                        size);
    return wide;
}

constexpr int kBaudRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};

} // namespace

std::string SerialPort::DefaultDevice(int portIndex) {
    return "COM" + std::to_string(portIndex + 1);
}

bool SerialPort::SupportsBaudRate(int baudRate) {
    return std::find(std::begin(kBaudRates), std::end(kBaudRates), baudRate) !=
           std::end(kBaudRates);
}

SerialPort::~SerialPort() {
    if (handle_) {
        // A transfer stopped part way: closing must not wait for the rest to go.
        if (unsent_)
            Discard();
        CloseHandle(handle_);
    }
}

platform::Result SerialPort::Open(const std::string& device, int baudRate) {
    device_ = device;
    std::wstring path = DevicePath(device);
    if (path.empty())
        return platform::Result::Failed("cannot open " + device + ": not a valid device name");
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return SystemFailure("cannot open " + device);
    handle_ = handle;
    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (GetFileType(handle) != FILE_TYPE_CHAR || !GetCommState(handle, &settings))
        return platform::Result::Failed(device + " is not a serial port");
    settings.BaudRate = DWORD(baudRate);
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fBinary = TRUE;
    settings.fParity = FALSE;
    settings.fOutxCtsFlow = FALSE;
    settings.fOutxDsrFlow = FALSE;
    settings.fDsrSensitivity = FALSE;
    settings.fDtrControl = DTR_CONTROL_ENABLE;
    settings.fRtsControl = RTS_CONTROL_ENABLE;
    settings.fOutX = FALSE;
    settings.fInX = FALSE;
    settings.fNull = FALSE;
    settings.fAbortOnError = FALSE;
    if (!SetCommState(handle, &settings))
        return SystemFailure("cannot set up " + device);
    // Reads never wait; each write gets its own limit (WriteSome).
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = 1;
    if (!SetCommTimeouts(handle, &timeouts))
        return SystemFailure("cannot set up " + device);
    return platform::Result::Ok();
}

platform::Result SerialPort::WriteSome(std::string_view bytes,
                                       std::chrono::steady_clock::time_point deadline,
                                       size_t& written) {
    written = 0;
    if (bytes.empty())
        return platform::Result::Ok();
    // One write, limited by COMMTIMEOUTS to the time left: a line that takes no data (no
    // carrier, flow stopped) ends it at the deadline with what went out so far.
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant =
        DWORD(std::clamp<long long>(left.count(), 1, std::numeric_limits<DWORD>::max() - 1));
    if (!SetCommTimeouts(handle_, &timeouts))
        return SystemFailure("cannot write to " + device_);
    DWORD piece = DWORD(std::min<size_t>(bytes.size(), 1u << 20));
    DWORD wrote = 0;
    BOOL ok = WriteFile(handle_, bytes.data(), piece, &wrote, nullptr);
    if (wrote > 0)
        unsent_ = true;
    written = wrote;
    if (!ok && GetLastError() != ERROR_TIMEOUT && GetLastError() != ERROR_SEM_TIMEOUT)
        return SystemFailure("cannot write to " + device_);
    return platform::Result::Ok();
}

std::optional<int> SerialPort::Pending() const {
    DWORD errors = 0;
    COMSTAT state{};
    if (!ClearCommError(handle_, &errors, &state))
        return std::nullopt;
    if (state.cbOutQue == 0)
        unsent_ = false;
    return int(std::min<DWORD>(state.cbOutQue, std::numeric_limits<int>::max()));
}

void SerialPort::Discard() {
    if (handle_)
        PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR);
}

platform::Result SerialPort::Drain() {
    if (!FlushFileBuffers(handle_))
        return SystemFailure("cannot finish sending on " + device_);
    unsent_ = false;
    return platform::Result::Ok();
}

} // namespace fabricor
