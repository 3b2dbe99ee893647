// The serial line's refusals, which every system can show without a port. Sending through a
// real line is tested with pseudo-terminals by the flash tool's tests on Linux.
#include "platform/serial_port.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

using namespace fabricor::test_support;

TEST(SerialPort, AFileThatIsNoSerialPortIsRefused) {
    TempDir dir;
    // Not "COM3.txt": on Windows that name is the port itself, in any folder.
    WriteFile(dir / "line.txt", "not a line");
    SerialPort port;
    platform::Result opened = port.Open((dir / "line.txt").string(), 115200);
    EXPECT_FALSE(opened);
    EXPECT_NE(opened.message().find("is not a serial port"), std::string::npos) << opened.message();
    EXPECT_EQ(opened.systemError(), 0) << "the refusal is the program's own";
}

TEST(SerialPort, APortThatIsNotThereIsRefusedNamingIt) {
#ifdef _WIN32
    const std::string device = "COM231";
#else
    const std::string device = "/dev/ttyS-fabricor-none";
#endif
    SerialPort port;
    platform::Result opened = port.Open(device, 115200);
    EXPECT_FALSE(opened);
    EXPECT_EQ(opened.message().rfind("cannot open " + device + ": ", 0), 0u) << opened.message();
    EXPECT_NE(opened.systemError(), 0) << "the system's own error travels with the text";
}

TEST(SerialPort, TheUsualLineSpeedsAreSupportedAndNoOthers) {
    for (int rate : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400})
        EXPECT_TRUE(SerialPort::SupportsBaudRate(rate)) << rate;
    for (int rate : {0, -9600, 300, 14400, 115201, 921600})
        EXPECT_FALSE(SerialPort::SupportsBaudRate(rate)) << rate;
}

} // namespace
} // namespace fabricor
