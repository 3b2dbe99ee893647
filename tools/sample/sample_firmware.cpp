#include "sample/sample_firmware.h"

#include "firmware/merge.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace fabricor::sample {

namespace {

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

std::string Record(char type, uint32_t address, int addressDigits, std::string_view data) {
    int count = addressDigits / 2 + int(data.size()) + 1;
    std::string text =
        std::string("S") + type + Hex(uint32_t(count), 2) + Hex(address, addressDigits);
    for (unsigned char byte : data)
        text += Hex(byte, 2);
    return text + SxChecksum(text + "00") + "\r\n";
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
    std::string text = Record('0', 0, 4, kSampleHeader);
    for (uint32_t address = 0x380000; address < 0x38E000; address += 32) {
        bool configuration = address >= kBankWindowFirst && address <= kBankWindowLast;
        text +=
            Record('2', address, 6, configuration ? std::string(32, '\xFF') : SampleCode(address));
    }
    return text + Record('8', 0x380000, 6, "");
}

} // namespace fabricor::sample
