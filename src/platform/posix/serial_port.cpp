#include "platform/serial_port.h"

#include "platform/system_error.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace fabricor {

namespace {

// "WHAT: the system's text", the errno value kept for the caller.
platform::Result SystemFailure(const std::string& what) {
    int error = errno;
    return platform::Result::Failed(what + ": " + platform::SystemErrorText(error), error);
}

speed_t SpeedFor(int baudRate) {
    switch (baudRate) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    default:
        return B0;
    }
}

} // namespace

std::string SerialPort::DefaultDevice(int portIndex) {
    return "/dev/ttyS" + std::to_string(portIndex);
}

bool SerialPort::SupportsBaudRate(int baudRate) {
    return SpeedFor(baudRate) != B0;
}

SerialPort::~SerialPort() {
    if (fd_ >= 0) {
        // A transfer stopped part way: closing must not wait for the rest to go. Once all has
        // left nothing is thrown away: on a pseudo-terminal a drain returns at once, and a flush
        // would drop what the other end has not read yet.
        if (unsent_)
            Discard();
        ::close(fd_);
    }
}

platform::Result SerialPort::Open(const std::string& device, int baudRate) {
    device_ = device;
    // Non-blocking throughout: a line without carrier, or one that takes no data, never holds
    // the tool longer than the time limit.
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        return SystemFailure("cannot open " + device);
    if (!::isatty(fd_))
        return platform::Result::Failed(device + " is not a serial port");
    termios settings{};
    if (::tcgetattr(fd_, &settings) != 0)
        return SystemFailure("cannot read the settings of " + device);
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~(CSTOPB | CRTSCTS);
    ::cfsetispeed(&settings, SpeedFor(baudRate));
    ::cfsetospeed(&settings, SpeedFor(baudRate));
    if (::tcsetattr(fd_, TCSANOW, &settings) != 0)
        return SystemFailure("cannot set up " + device);
    return platform::Result::Ok();
}

platform::Result SerialPort::WriteSome(std::string_view bytes,
                                       std::chrono::steady_clock::time_point deadline,
                                       size_t& written) {
    written = 0;
    while (!bytes.empty()) {
        ssize_t wrote = ::write(fd_, bytes.data(), bytes.size());
        if (wrote > 0) {
            unsent_ = true;
            written += size_t(wrote);
            bytes.remove_prefix(size_t(wrote));
            continue;
        }
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return SystemFailure("cannot write to " + device_);
        if (written > 0)
            return platform::Result::Ok(); // progress; the caller decides whether to wait for more
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return platform::Result::Ok();
        pollfd line{fd_, POLLOUT, 0};
        int ready = ::poll(&line, 1, int(left.count()));
        if (ready < 0 && errno != EINTR)
            return SystemFailure("cannot wait for " + device_);
    }
    return platform::Result::Ok();
}

std::optional<int> SerialPort::Pending() const {
    int pending = 0;
    if (::ioctl(fd_, TIOCOUTQ, &pending) != 0)
        return std::nullopt;
    if (pending == 0)
        unsent_ = false;
    return pending;
}

void SerialPort::Discard() {
    if (fd_ >= 0)
        ::tcflush(fd_, TCOFLUSH);
}

platform::Result SerialPort::Drain() {
    while (::tcdrain(fd_) != 0) {
        if (errno != EINTR)
            return SystemFailure("cannot finish sending on " + device_);
    }
    unsent_ = false;
    return platform::Result::Ok();
}

} // namespace fabricor
