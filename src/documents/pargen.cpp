#include "documents/pargen.h"

#include "documents/integer_text.h"
#include "documents/xml_characters.h"
#include "documents/xml_document.h"

namespace fabricor {

const std::array<const char*, kGeneralParameterCount> kGeneralParameterNames = {
    "TCP_IP1",  "TCP_IP2",     "TCP_IP3",      "TCP_IP4",  "TCP_SUB1", "TCP_SUB2",
    "TCP_SUB3", "TCP_SUB4",    "TCP_EN_GATE",  "TCP_GAT1", "TCP_GAT2", "TCP_GAT3",
    "TCP_GAT4", "TCP_PORT",    "SNMP_PUBLIC",  "SNMP_PRIVATE", "BAUD", "PARITY",
    "TIME_OUT", "OFFSET",      "MODE",         "STOP_BIT"};

GeneralParametersDocument ReadGeneralParameters(const std::string& path) {
    return ReadGeneralParameters(ReadDocumentFile(path));
}

GeneralParametersDocument ReadGeneralParameters(const DocumentFile& file) {
    GeneralParametersDocument result;
    pugi::xml_document document;
    auto loaded = LoadXmlFile(file, document, /*keepLoneWhitespace=*/true);
    result.outcome = loaded.outcome;
    result.error = loaded.error;
    result.unreadable = loaded.unreadable;
    if (loaded.outcome != ReadOutcome::Read)
        return result;
    auto root = document.child(kGeneralParameterRoot);
    for (size_t i = 0; i < kGeneralParameterCount; ++i) {
        if (!root)
            break;
        result.elements[i] = ElementTextOf(root.child(kGeneralParameterNames[i]));
    }
    return result;
}

Status WriteGeneralParameters(const std::string& path,
                              const std::array<std::string, kGeneralParameterCount>& texts,
                              FileOutput& output) {
    for (size_t i = 0; i < kGeneralParameterCount; ++i)
        if (auto character = FirstCharacterXmlCannotCarry(texts[i]))
            return Status::Error(StatusCode::InvalidArgument, path,
                                 std::string(kGeneralParameterNames[i]) + " holds " +
                                     CharacterCode(*character) +
                                     ", a character XML cannot carry; nothing written");
    pugi::xml_document document;
    auto root = document.append_child(kGeneralParameterRoot);
    for (size_t i = 0; i < kGeneralParameterCount; ++i)
        root.append_child(kGeneralParameterNames[i]).text().set(texts[i].c_str());
    return SaveXmlDocument(path, document, output);
}

namespace {

std::optional<int32_t> IntegerOf(const ElementText& text) {
    if (!text)
        return std::nullopt;
    return ParseIntegerText(*text);
}

} // namespace

bool DecodeGatewayEnabled(const ElementText& text) { return IntegerOf(text) == 1; }

std::optional<int32_t> DecodePort(const ElementText& text) { return IntegerOf(text); }

int DecodeBaudIndex(const ElementText& text) {
    auto value = IntegerOf(text);
    if (!value)
        return 3;
    return BaudRateAt(*value) ? *value : kNoBaudRateIndex;
}

Parity DecodeParity(const ElementText& text) {
    auto value = IntegerOf(text);
    const ParityCoding* coding = value ? ParityCodingOfCode(*value) : nullptr;
    return coding ? coding->parity : Parity::None;
}

OperationMode DecodeMode(const ElementText& text) {
    auto value = IntegerOf(text);
    return value == 0 ? OperationMode::Routing : OperationMode::Nat;
}

bool DecodeTwoStopBits(const ElementText& text) { return text && *text == "1"; }

std::string FirstCharacters(const std::string& utf8, size_t count) {
    size_t i = 0;
    for (size_t characters = 0; i < utf8.size() && characters < count; ++characters) {
        ++i;
        while (i < utf8.size() && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80)
            ++i;
    }
    return utf8.substr(0, i);
}

std::string DecodeCommunityName(const ElementText& text) {
    return text ? FirstCharacters(*text, 13) : std::string();
}

std::string EncodeParity(Parity parity) {
    return std::to_string(ParityCodingOf(parity).code);
}

std::string EncodeMode(OperationMode mode) { return mode == OperationMode::Routing ? "0" : "1"; }

GeneralParameters NewProjectGeneralParameters() { return GeneralParameters{}; }

GeneralParameters DecodeGeneralParameters(const GeneralParametersDocument& document) {
    GeneralParameters p = NewProjectGeneralParameters();
    if (document.outcome != ReadOutcome::Read)
        return p;
    auto textOr = [&](GeneralParameter which, const char* fallback) {
        const auto& text = document[which];
        return text ? *text : std::string(fallback);
    };
    using GP = GeneralParameter;
    const std::array<const char*, 4> subnetFallback{"255", "255", "255", "0"};
    for (size_t i = 0; i < 4; ++i) {
        p.ip[i] = textOr(static_cast<GP>(Index(GP::TCP_IP1) + i), "0");
        p.subnet[i] = textOr(static_cast<GP>(Index(GP::TCP_SUB1) + i), subnetFallback[i]);
        p.gateway[i] = textOr(static_cast<GP>(Index(GP::TCP_GAT1) + i), "0");
    }
    p.gatewayEnabled = DecodeGatewayEnabled(document[GP::TCP_EN_GATE]);
    p.port = DecodePort(document[GP::TCP_PORT]).value_or(502);
    p.snmpPublic = DecodeCommunityName(document[GP::SNMP_PUBLIC]);
    p.snmpPrivate = DecodeCommunityName(document[GP::SNMP_PRIVATE]);
    p.baudIndex = DecodeBaudIndex(document[GP::BAUD]);
    p.parity = DecodeParity(document[GP::PARITY]);
    p.timeOut = textOr(GP::TIME_OUT, "1000");
    p.offset = textOr(GP::OFFSET, "0");
    p.mode = DecodeMode(document[GP::MODE]);
    p.twoStopBits = DecodeTwoStopBits(document[GP::STOP_BIT]);
    // Applied last, as on loading: two stop bits force parity none.
    if (p.twoStopBits)
        p.parity = Parity::None;
    return p;
}

std::array<std::string, kGeneralParameterCount> EncodeGeneralParameters(const GeneralParameters& p) {
    using GP = GeneralParameter;
    std::array<std::string, kGeneralParameterCount> texts;
    for (size_t i = 0; i < 4; ++i) {
        texts[Index(GP::TCP_IP1) + i] = p.ip[i];
        texts[Index(GP::TCP_SUB1) + i] = p.subnet[i];
        texts[Index(GP::TCP_GAT1) + i] = p.gateway[i];
    }
    texts[Index(GP::TCP_EN_GATE)] = p.gatewayEnabled ? "1" : "0";
    texts[Index(GP::TCP_PORT)] = CanonicalDecimal(p.port);
    texts[Index(GP::SNMP_PUBLIC)] = p.snmpPublic;
    texts[Index(GP::SNMP_PRIVATE)] = p.snmpPrivate;
    texts[Index(GP::BAUD)] = CanonicalDecimal(p.baudIndex);
    texts[Index(GP::PARITY)] = EncodeParity(p.parity);
    texts[Index(GP::TIME_OUT)] = p.timeOut;
    texts[Index(GP::OFFSET)] = p.offset;
    texts[Index(GP::MODE)] = EncodeMode(p.mode);
    texts[Index(GP::STOP_BIT)] = p.twoStopBits ? "1" : "0";
    return texts;
}

} // namespace fabricor
