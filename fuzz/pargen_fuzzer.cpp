// pargen.xml reader on any bytes: it ends with one of its outcomes, never throws, and whatever it
// reads survives the editor's save unchanged (write the decoded settings, read them back).

#include "documents/pargen.h"
#include "documents/xml_characters.h"
#include "fuzz_support.h"

#include <cstdint>
#include <string>

using namespace fabricor;

namespace {

// What an XML reader makes of line ends: CR LF and a lone CR become LF.
std::string LineFeedsOnly(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto input = fuzz::ScratchFolder() / "pargen.xml";
    fuzz::WriteBytes(input, std::string_view(reinterpret_cast<const char*>(data), size));

    auto document = ReadGeneralParameters(input.string());
    FUZZ_CHECK(document.outcome != ReadOutcome::NoFile);
    if (document.outcome == ReadOutcome::NotWellFormed) {
        FUZZ_CHECK(!document.error.empty());
        for (const auto& element : document.elements)
            FUZZ_CHECK(!element);
        return 0;
    }
    for (const auto& element : document.elements)
        if (element)
            FUZZ_CHECK(element->find('\0') == std::string::npos);

    auto settings = DecodeGeneralParameters(document);
    FUZZ_CHECK(settings.baudIndex >= -1 && settings.baudIndex < 8);
    FUZZ_CHECK(!(settings.twoStopBits && settings.parity != Parity::None));

    auto texts = EncodeGeneralParameters(settings);
    auto saved = fuzz::ScratchFolder() / "saved.xml";
    std::filesystem::remove(saved);
    // Text no XML document can carry is refused whole, never written as a broken reference.
    bool carriable = true;
    for (const auto& text : texts)
        carriable = carriable && !FirstCharacterXmlCannotCarry(text);
    FUZZ_CHECK(WriteGeneralParameters(saved.string(), texts).ok() == carriable);
    if (!carriable) {
        FUZZ_CHECK(!std::filesystem::exists(saved));
        return 0;
    }
    auto again = ReadGeneralParameters(saved.string());
    FUZZ_CHECK(again.outcome == ReadOutcome::Read);
    // The XML writer leaves a carriage return in element text as it is, and every XML reader
    // turns it into a line feed: the one change a save may make.
    for (auto& text : texts)
        text = LineFeedsOnly(text);
    for (size_t i = 0; i < kGeneralParameterCount; ++i)
        FUZZ_CHECK(again.elements[i] == texts[i]);
    auto expected = DecodeGeneralParameters(again);
    FUZZ_CHECK(EncodeGeneralParameters(expected) == texts);
    // The saved document is one line.
    auto bytes = fuzz::ReadBytes(saved);
    FUZZ_CHECK(bytes.rfind("<General_Parameter>", 0) == 0);
    return 0;
}
