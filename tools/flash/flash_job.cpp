#include "flash/flash_job.h"
#include "platform/files.h"

#include "base/application_files.h"
#include "base/application_folder.h"
#include "base/atomic_file.h"
#include "base/regular_file.h"
#include "firmware/flash_tool.h"
#include "flash/firmware_check.h"
#include "platform/process.h"

#include <fstream>
#include <iterator>
#include <thread>

namespace fabricor::flash {

namespace fs = std::filesystem;

void Transcript::Say(const std::string& line) {
    text_ += line + "\n";
    if (!log_.empty())
        (void)WriteFileAtomically(log_, text_); // no log is no reason to fail the flash
}

Status FlashJob::Prepare(std::string_view parameters, const fs::path& toolFolder) {
    FlashToolRequest request = ParseFlashToolParameters(parameters);
    if (!request.error.empty())
        return Status::Error("cannot read the parameters: " + request.error,
                             StatusCode::InvalidArgument);
    firmware_ = request.firmwarePath;
    port_ = "COM" + std::to_string(request.portIndex + 1);

    FileRead firmware = ReadRegularFile(firmware_, kFirmwareReadLimit);
    if (!firmware.bytes)
        return Status::Error("cannot read the firmware file " + firmware.error);
    FirmwareCheck check = CheckFirmware(*firmware.bytes);
    if (!check.ok())
        return Status::Error(firmware_ + " cannot go to the device: " + check.error);

    fs::path settings = ApplicationFiles::ToolSettingsIn(toolFolder);
    // Missing settings mean the usual ports; settings that are there but cannot be read would
    // send the firmware to a port nobody chose.
    if (FileRead read = ReadRegularFile(settings, kSettingsReadLimit); !read.bytes && !read.missing)
        return Status::Error(read.error);
    device_ = DeviceForPort(settings, request.portIndex);
    baud_ = BaudRate(settings);
    if (baud_ == 0)
        return Status::Error("the line speed in " + platform::Utf8Name(settings) +
                             " is not one the tool can set");
    auto timeout = WriteTimeout(settings);
    if (!timeout)
        return Status::Error("the write_timeout_ms in " + platform::Utf8Name(settings) +
                             " is not a positive number of milliseconds");
    timeout_ = *timeout;
    records_ = std::move(check.records);
    sent_ = 0;
    offset_ = 0;
    finished_ = false;
    return Status::Ok();
}

Status FlashJob::Open() {
    Status opened = Status::Of(line_.Open(device_, baud_));
    lastProgress_ = std::chrono::steady_clock::now();
    return opened ? opened : Status::Error(port_ + ": " + opened.message());
}

std::chrono::milliseconds FlashJob::idle() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 lastProgress_);
}

Status FlashJob::Stalled() const {
    auto ms = timeout_.count();
    std::string limit =
        ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
    return Status::Error(port_ + " (" + device_ + "): the line took no data for " + limit +
                         "; stopped after " + std::to_string(sent_) + " of " +
                         std::to_string(total()) +
                         " records. Is the device connected and "
                         "waiting for the firmware?");
}

Status FlashJob::Send(std::chrono::milliseconds slice) {
    const auto deadline = std::chrono::steady_clock::now() + slice;
    while (!done()) {
        std::string record = records_[sent_] + "\r\n";
        size_t written = 0;
        Status wrote = Status::Of(
            line_.WriteSome(std::string_view(record).substr(offset_), deadline, written));
        if (!wrote)
            return Status::Error(port_ + ": " + wrote.message() + " after " +
                                 std::to_string(sent_) + " of " + std::to_string(total()) +
                                 " records");
        if (written > 0) {
            lastProgress_ = std::chrono::steady_clock::now();
            offset_ += written;
            if (offset_ == record.size()) {
                offset_ = 0;
                ++sent_;
            }
        } else if (idle() >= timeout_) {
            return Stalled();
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
    }
    return Status::Ok();
}

Status FlashJob::Finish(std::chrono::milliseconds slice) {
    const auto deadline = std::chrono::steady_clock::now() + slice;
    for (;;) {
        auto pending = line_.Pending();
        if (!pending) {
            // The line cannot tell what is left: wait for it as the system does.
            Status drained = Status::Of(line_.Drain());
            finished_ = drained.ok();
            return drained ? drained : Status::Error(port_ + ": " + drained.message());
        }
        if (*pending == 0) {
            finished_ = true;
            return Status::Ok();
        }
        if (*pending != pending_) {
            pending_ = *pending;
            lastProgress_ = std::chrono::steady_clock::now();
        } else if (idle() >= timeout_) {
            return Stalled();
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return Status::Ok();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string FlashJob::Announcement() const {
    return "Sending " + firmware_ + " to " + port_ + " (" + device_ + ", " + std::to_string(baud_) +
           " baud)";
}

std::string FlashJob::ProgressText() const {
    size_t percent = total() == 0 ? 100 : sent_ * 100 / total();
    return std::to_string(sent_) + " of " + std::to_string(total()) + " records (" +
           std::to_string(percent) + "%)";
}

fs::path ToolFolder() {
    return platform::PathOfUtf8(ExecutableFolder());
}

} // namespace fabricor::flash
