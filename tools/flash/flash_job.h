#pragma once

#include "base/status.h"
#include "flash/serial_port.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace fabricor::flash {

// Everything the tool says goes to Progwerk.log beside it as well: started from the update
// dialog it may have no terminal, and the log is where its outcome can always be read.
class Transcript {
public:
    explicit Transcript(std::filesystem::path log) : log_(std::move(log)) {}
    // Adds a line, and keeps the log up to date so it can be watched while the tool runs.
    void Say(const std::string& line);
    void Failed(const std::string& why) { Say("FAILED: " + why); }
    const std::string& text() const { return text_; }

private:
    std::filesystem::path log_;
    std::string text_;
};

// One run of the tool: read the parameter string and the firmware, check it, open the port of
// the index and send the records one after another. Each step says what went wrong.
class FlashJob {
public:
    // Reads the parameter string, the settings beside the tool and the firmware, and checks it.
    Status Prepare(std::string_view parameters, const std::filesystem::path& toolFolder);
    Status Open();
    // Sends records, each followed by CR LF, for at most `slice`, never blocking longer: a
    // window stays responsive between slices. Fails, naming the port, once the line has taken
    // no data for the time limit ([serial] write_timeout_ms).
    Status Send(std::chrono::milliseconds slice);
    // Waits at most `slice` for what was sent to leave the port, under the same time limit.
    Status Finish(std::chrono::milliseconds slice);

    bool done() const { return sent_ == records_.size(); }
    // Everything has left the port.
    bool finished() const { return finished_; }
    std::chrono::milliseconds timeout() const { return timeout_; }
    // How long the line has taken no data.
    std::chrono::milliseconds idle() const;
    size_t sent() const { return sent_; }
    size_t total() const { return records_.size(); }
    const std::string& port() const { return port_; }
    // "Sending <file> to COM3 (/dev/ttyS2, 115200 baud)"
    std::string Announcement() const;
    // "1794 of 1794 records (100%)"
    std::string ProgressText() const;

private:
    std::string firmware_;
    std::string port_;
    std::string device_;
    int baud_ = 0;
    std::vector<std::string> records_;
    size_t sent_ = 0;
    size_t offset_ = 0; // bytes of the current record (with its CR LF) already written
    bool finished_ = false;
    int pending_ = -1;
    std::chrono::milliseconds timeout_ = kDefaultWriteTimeout;
    std::chrono::steady_clock::time_point lastProgress_;
    SerialPort line_;

    Status Stalled() const;
};

// The folder of the running program; empty when it cannot be told.
std::filesystem::path ToolFolder();

} // namespace fabricor::flash
