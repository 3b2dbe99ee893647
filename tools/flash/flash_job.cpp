#include "flash/flash_job.h"

#include "base/atomic_file.h"
#include "base/regular_file.h"
#include "firmware/flash_tool.h"
#include "flash/firmware_check.h"

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
        return Status::Error("cannot read the parameters: " + request.error);
    firmware_ = request.firmwarePath;
    port_ = "COM" + std::to_string(request.portIndex + 1);

    FileRead firmware = ReadRegularFile(firmware_, kFirmwareReadLimit);
    if (!firmware.bytes)
        return Status::Error("cannot read the firmware file " + firmware.error);
    FirmwareCheck check = CheckFirmware(*firmware.bytes);
    if (!check.ok())
        return Status::Error(firmware_ + " cannot go to the device: " + check.error);

    fs::path settings = toolFolder / kToolSettingsFileName;
    // Missing settings mean the usual ports; settings that are there but cannot be read would
    // send the firmware to a port nobody chose.
    if (FileRead read = ReadRegularFile(settings, kSettingsReadLimit); !read.bytes && !read.missing)
        return Status::Error(read.error);
    device_ = DeviceForPort(settings, request.portIndex);
    baud_ = BaudRate(settings);
    if (baud_ == 0)
        return Status::Error("the line speed in " + settings.string() +
                             " is not one the tool can set");
    records_ = std::move(check.records);
    sent_ = 0;
    return Status::Ok();
}

Status FlashJob::Open() {
    Status opened = line_.Open(device_, baud_);
    return opened ? opened : Status::Error(port_ + ": " + opened.message());
}

Status FlashJob::Send(size_t count) {
    for (; count > 0 && sent_ < records_.size(); --count) {
        if (Status written = line_.Write(records_[sent_] + "\r\n"); !written)
            return Status::Error(port_ + ": " + written.message() + " after " +
                                 std::to_string(sent_) + " of " + std::to_string(total()) +
                                 " records");
        ++sent_;
    }
    return Status::Ok();
}

Status FlashJob::Finish() {
    Status drained = line_.Drain();
    return drained ? drained : Status::Error(port_ + ": " + drained.message());
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
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self.parent_path();
}

} // namespace fabricor::flash
