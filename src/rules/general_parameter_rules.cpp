#include "rules/general_parameter_rules.h"

#include "documents/integer_text.h"

#include <array>

namespace fabricor {

namespace {

bool IsOctet(const std::string& text) {
    auto value = ParseIntegerText(text);
    return value && *value >= 0 && *value <= 255;
}

bool IsNonNegative(const std::string& text) {
    auto value = ParseIntegerText(text);
    return value && *value >= 0;
}

// Calls report(field, message) for each failing check, in checking order, until it returns
// false.
template <typename Report>
void CheckGeneralParameters(const GeneralParameters& p, Report report) {
    struct Octets {
        const std::array<std::string, 4>& texts;
        GeneralParameterField first;
        const char* message;
    };
    const std::array<Octets, 3> rows{{
        {p.ip, GeneralParameterField::IP1, "Error!! IP must be between 0 and 255. "},
        {p.subnet, GeneralParameterField::SUB1, "Error!! Subnet Mask must be between 0 and 255. "},
        {p.gateway, GeneralParameterField::GAT1, "Error!! Gateway must be between 0 and 255. "},
    }};
    for (const auto& row : rows) {
        for (size_t i = 0; i < 4; ++i) {
            if (IsOctet(row.texts[i]))
                continue;
            auto field = static_cast<GeneralParameterField>(static_cast<int>(row.first) + int(i));
            if (!report(field, row.message))
                return;
        }
    }
    if (!IsNonNegative(p.timeOut) && !report(GeneralParameterField::Time, "TimeOut Error!!"))
        return;
    if (!IsNonNegative(p.offset))
        report(GeneralParameterField::Offset, "Offset Error!!");
}

} // namespace

const char* ElementNameOf(GeneralParameterField field) {
    static constexpr std::array<GeneralParameter, 14> elements{
        GeneralParameter::TCP_IP1,  GeneralParameter::TCP_IP2,  GeneralParameter::TCP_IP3,
        GeneralParameter::TCP_IP4,  GeneralParameter::TCP_SUB1, GeneralParameter::TCP_SUB2,
        GeneralParameter::TCP_SUB3, GeneralParameter::TCP_SUB4, GeneralParameter::TCP_GAT1,
        GeneralParameter::TCP_GAT2, GeneralParameter::TCP_GAT3, GeneralParameter::TCP_GAT4,
        GeneralParameter::TIME_OUT, GeneralParameter::OFFSET};
    return kGeneralParameterNames[Index(elements[static_cast<size_t>(field)])];
}

std::optional<GeneralParameterProblem> FirstGeneralParameterProblem(const GeneralParameters& p) {
    std::optional<GeneralParameterProblem> first;
    CheckGeneralParameters(p, [&](GeneralParameterField field, const char* message) {
        first = GeneralParameterProblem{field, message};
        return false;
    });
    return first;
}

std::vector<GeneralParameterProblem> AllGeneralParameterProblems(const GeneralParameters& p) {
    std::vector<GeneralParameterProblem> all;
    CheckGeneralParameters(p, [&](GeneralParameterField field, const char* message) {
        all.push_back({field, message});
        return true;
    });
    return all;
}

} // namespace fabricor
