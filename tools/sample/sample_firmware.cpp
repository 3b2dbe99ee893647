#include "sample/sample_firmware.h"

#include "firmware/merge.h"
#include "firmware/srecord.h"

#include <cstdint>
#include <string_view>

namespace fabricor::sample {

namespace {

std::string Record(char type, uint32_t address, std::string_view data) {
    return FormatSRecord(type - '0', address,
                         {reinterpret_cast<const uint8_t*>(data.data()), data.size()}) +
           "\r\n";
}

// Stands in for code: the header's words, repeated, so a dump shows at once what this is.
std::string SampleCode(uint32_t address) {
    std::string_view words = kSampleHeader;
    std::string chunk;
    for (uint32_t i = 0; i < 32; ++i)
        chunk += words[(address - 0x380000 + i) % words.size()];
    return chunk;
}

} // namespace

std::string SampleFirmwareText() {
    std::string text = Record('0', 0, kSampleHeader);
    for (uint32_t address = 0x380000; address < 0x38E000; address += 32) {
        bool configuration = address >= kBankWindowFirst && address <= kBankWindowLast;
        text +=
            Record('2', address, configuration ? std::string(32, '\xFF') : SampleCode(address));
    }
    return text + Record('8', 0x380000, "");
}

} // namespace fabricor::sample
