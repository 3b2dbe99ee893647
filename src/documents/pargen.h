#pragma once

#include "base/atomic_file.h"
#include "base/status.h"
#include "documents/document_read.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace fabricor {

// The 22 settings of pargen.xml, in the order they are written.
enum class GeneralParameter {
    TCP_IP1, TCP_IP2, TCP_IP3, TCP_IP4,
    TCP_SUB1, TCP_SUB2, TCP_SUB3, TCP_SUB4,
    TCP_EN_GATE,
    TCP_GAT1, TCP_GAT2, TCP_GAT3, TCP_GAT4,
    TCP_PORT, SNMP_PUBLIC, SNMP_PRIVATE, BAUD, PARITY, TIME_OUT, OFFSET, MODE, STOP_BIT,
};
inline constexpr size_t kGeneralParameterCount = 22;
inline constexpr const char* kGeneralParameterRoot = "General_Parameter";
extern const std::array<const char*, kGeneralParameterCount> kGeneralParameterNames;

inline constexpr size_t Index(GeneralParameter p) { return static_cast<size_t>(p); }

// The RTU baud rates, by the index the document stores.
inline constexpr std::array<int, 8> BaudRateList = {1200, 2400, 4800, 9600,
                                                    19200, 38400, 57600, 115200};

// An element's text, or nothing when the element is unusable (missing, or holding anything
// other than at most one text node).
using ElementText = std::optional<std::string>;

struct GeneralParametersDocument {
    ReadOutcome outcome = ReadOutcome::NoFile;
    std::string error; // the parser's text when not well-formed
    bool unreadable = false; // see XmlLoad
    std::array<ElementText, kGeneralParameterCount> elements;

    const ElementText& operator[](GeneralParameter p) const { return elements[Index(p)]; }
};

GeneralParametersDocument ReadGeneralParameters(const std::string& path);
GeneralParametersDocument ReadGeneralParameters(const DocumentFile& file);

// Replaces the file with a fresh one-line document holding the 22 texts in table order. A text
// holding a character XML cannot carry is refused, naming the element and the character, and
// nothing is written.
Status WriteGeneralParameters(const std::string& path,
                              const std::array<std::string, kGeneralParameterCount>& texts,
                              FileOutput& output = SystemFileOutput());

enum class Parity { None, Odd, Even };

// BAUD: the index the document stores (-1, stored in the image as 255, when none is selected)
// and the rate it stands for.
inline constexpr int kNoBaudRateIndex = -1;
inline constexpr uint8_t kNoBaudRateByte = 0xFF;
inline constexpr std::optional<int> BaudRateAt(int64_t index) {
    if (index < 0 || index >= static_cast<int64_t>(BaudRateList.size()))
        return std::nullopt;
    return BaudRateList[static_cast<size_t>(index)];
}

// PARITY: the code the document and the image store, the letter of a line's frame ("8E1") and
// the name the editor lists, in the editor's list order. Any other code reads as none.
struct ParityCoding {
    Parity parity;
    int code;
    char letter;
    const char* name;
};
inline constexpr std::array<ParityCoding, 3> kParityCodings = {{
    {Parity::None, 0, 'N', "NONE"},
    {Parity::Odd, 3, 'O', "ODD"},
    {Parity::Even, 2, 'E', "EVEN"},
}};
inline constexpr const ParityCoding& ParityCodingOf(Parity parity) {
    for (const auto& coding : kParityCodings)
        if (coding.parity == parity)
            return coding;
    return kParityCodings[0];
}
// The coding for a stored code, nothing for a code no parity has.
inline constexpr const ParityCoding* ParityCodingOfCode(int64_t code) {
    for (const auto& coding : kParityCodings)
        if (coding.code == code)
            return &coding;
    return nullptr;
}
// The editor's list index of a parity, and the parity at a list index (none outside the list).
inline constexpr int ParityListIndex(Parity parity) {
    return static_cast<int>(&ParityCodingOf(parity) - kParityCodings.data());
}
inline constexpr Parity ParityAtListIndex(int index) {
    return index >= 0 && index < static_cast<int>(kParityCodings.size())
               ? kParityCodings[static_cast<size_t>(index)].parity
               : Parity::None;
}
enum class OperationMode { Routing, Nat };

// The settings as the editor holds them. Values the user types stay text.
struct GeneralParameters {
    std::array<std::string, 4> ip{"0", "0", "0", "0"};
    std::array<std::string, 4> subnet{"255", "255", "255", "0"};
    std::array<std::string, 4> gateway{"0", "0", "0", "0"};
    bool gatewayEnabled = false;
    int32_t port = 502;
    std::string snmpPublic = "harbor";
    std::string snmpPrivate = "lantern";
    int baudIndex = 3; // -1: no rate selected
    Parity parity = Parity::None;
    std::string timeOut = "1000";
    std::string offset = "10000";
    OperationMode mode = OperationMode::Nat;
    bool twoStopBits = false;
};

// The values a new project starts with.
GeneralParameters NewProjectGeneralParameters();

// Decoding by the reading rules; each unusable element takes its own fallback value, and
// a document that was not read gives the new-project values.
GeneralParameters DecodeGeneralParameters(const GeneralParametersDocument& document);

// The 22 document texts for the given settings.
std::array<std::string, kGeneralParameterCount> EncodeGeneralParameters(const GeneralParameters& p);

// Decoding helpers, one per coded setting. Each takes the element's text (nothing when unusable).
bool DecodeGatewayEnabled(const ElementText& text);    // integer 1
std::optional<int32_t> DecodePort(const ElementText& text);
int DecodeBaudIndex(const ElementText& text);          // -1 outside 0..7
Parity DecodeParity(const ElementText& text);          // 2 even, 3 odd, else none
OperationMode DecodeMode(const ElementText& text);     // 0 routing, else NAT
bool DecodeTwoStopBits(const ElementText& text);       // exactly the text "1"
std::string DecodeCommunityName(const ElementText& text); // first 13 characters

std::string EncodeParity(Parity parity);
std::string EncodeMode(OperationMode mode);

// The first `count` characters of UTF-8 text (characters, not bytes).
std::string FirstCharacters(const std::string& utf8, size_t count);

} // namespace fabricor
