#include "flash/firmware_check.h"

#include "firmware/firmware_window.h"
#include "firmware/merge.h"
#include "firmware/srecord.h"

#include <bitset>

namespace fabricor::flash {

namespace {

// Nothing of a refused file is kept, so nothing of it can be sent.
FirmwareCheck& Refuse(FirmwareCheck& check, size_t lineNumber, const std::string& what) {
    check.error = "line " + std::to_string(lineNumber) + ": " + what;
    check.records.clear();
    return check;
}

} // namespace

FirmwareCheck CheckFirmware(std::string_view text) {
    FirmwareCheck check;
    std::bitset<kBankWindowLast - kBankWindowFirst + 1> covered;
    size_t lineNumber = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string_view line = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        start = end == std::string_view::npos ? text.size() : end + 1;
        ++lineNumber;
        if (line.ends_with('\r'))
            line.remove_suffix(1);

        SRecordRead read = ReadSRecord(line);
        if (!read.ok())
            return Refuse(check, lineNumber, SRecordErrorText(read.error));
        const SRecord& record = read.record;
        if (IsDataRecordType(record.type)) {
            ++check.dataRecords;
            // The window as the merge, verify and decode see it: only S2 records wholly inside,
            // each byte given once.
            const WindowPlace place =
                PlaceInWindow(record.type, record.address, record.data.size());
            if (place == WindowPlace::Intrudes)
                return Refuse(check, lineNumber,
                              IntrusionText(record.type, record.address, record.data.size()));
            for (size_t i = 0; place == WindowPlace::Window && i < record.data.size(); ++i) {
                const size_t at = record.address + i - kBankWindowFirst;
                if (covered.test(at))
                    return Refuse(check, lineNumber,
                                  "gives " + HexAddress(static_cast<uint32_t>(record.address + i)) +
                                      " of the configuration a second time");
                covered.set(at);
            }
        }
        check.records.emplace_back(line);
    }
    const std::string configuration = "the configuration (" + HexAddress(kBankWindowFirst) +
                                      " to " + HexAddress(kBankWindowLast) + ")";
    if (check.dataRecords == 0) {
        check.error = "the file holds no data record";
    } else if (covered.none()) {
        check.error = configuration + " is missing";
    } else if (!covered.all()) {
        check.error = configuration +
                      " is incomplete: " + std::to_string(covered.size() - covered.count()) +
                      " bytes are missing";
    }
    if (!check.ok())
        check.records.clear();
    return check;
}

} // namespace fabricor::flash
