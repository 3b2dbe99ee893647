// The flash tool: sends a firmware file, record by record, to the device on a serial port.
// Started by the update dialog with one argument: "<firmware path>"¶<port index>, in
// Windows-1252. Exit status 0 only when every record has left the port.

#include "base/atomic_file.h"
#include "firmware/flash_tool.h"
#include "flash/firmware_check.h"
#include "flash/serial_port.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;
using namespace fabricor;

namespace {

// What the tool says goes to the terminal and, whole, to Progwerk.log beside it: started from
// the update dialog there is no terminal, and the log is where its outcome can be read.
class Transcript {
public:
    explicit Transcript(fs::path log) : log_(std::move(log)) {}
    void Say(const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
        text_ += line + "\n";
        Save(); // the log follows the progress, so it can be watched while the tool runs
    }
    int Fail(const std::string& why, int status = 1) {
        std::fprintf(stderr, "Progwerk: %s\n", why.c_str());
        text_ += "FAILED: " + why + "\n";
        Save();
        return status;
    }
    void Save() {
        if (!log_.empty())
            (void)WriteFileAtomically(log_, text_); // no log is no reason to fail the flash
    }

private:
    fs::path log_;
    std::string text_;
};

fs::path ToolFolder() {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self.parent_path();
}

} // namespace

int main(int argc, char** argv) {
    fs::path folder = ToolFolder();
    Transcript say(folder.empty() ? fs::path() : folder / "Progwerk.log");
    if (argc != 2)
        return say.Fail("expects one argument: \"<firmware file>\"\xC2\xB6<port index 0..7>", 2);

    FlashToolRequest request = ParseFlashToolParameters(argv[1]);
    if (!request.error.empty())
        return say.Fail("cannot read the parameters: " + request.error, 2);
    std::string port = "COM" + std::to_string(request.portIndex + 1);

    std::ifstream in(request.firmwarePath, std::ios::binary);
    if (!in)
        return say.Fail("cannot read the firmware file " + request.firmwarePath);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        return say.Fail("cannot read the firmware file " + request.firmwarePath);

    flash::FirmwareCheck check = flash::CheckFirmware(text);
    if (!check.ok())
        return say.Fail(request.firmwarePath + " cannot go to the device: " + check.error);

    fs::path settings = folder / flash::kToolSettingsFileName;
    std::string device = flash::DeviceForPort(settings, request.portIndex);
    int baud = flash::BaudRate(settings);
    if (baud == 0)
        return say.Fail("the line speed in " + settings.string() + " is not one the tool can set");

    say.Say("Sending " + request.firmwarePath + " to " + port + " (" + device + ", " +
            std::to_string(baud) + " baud)");
    flash::SerialPort line;
    if (Status opened = line.Open(device, baud); !opened)
        return say.Fail(port + ": " + opened.message());

    const size_t total = check.records.size();
    size_t step = total / 10 == 0 ? 1 : total / 10;
    for (size_t i = 0; i < total; ++i) {
        if (Status sent = line.Write(check.records[i] + "\r\n"); !sent)
            return say.Fail(port + ": " + sent.message() + " after " + std::to_string(i) + " of " +
                            std::to_string(total) + " records");
        if ((i + 1) % step == 0 || i + 1 == total)
            say.Say("  " + std::to_string(i + 1) + " of " + std::to_string(total) + " records (" +
                    std::to_string((i + 1) * 100 / total) + "%)");
    }
    if (Status drained = line.Drain(); !drained)
        return say.Fail(port + ": " + drained.message());

    say.Say("Done: " + std::to_string(total) + " records sent to " + port + ".");
    say.Save();
    return 0;
}
