#pragma once

#include "documents/pargen.h"

#include <optional>
#include <string>
#include <vector>

namespace fabricor {

// The boxes of the general parameters that confirming checks, in the order it checks them.
enum class GeneralParameterField {
    IP1, IP2, IP3, IP4,
    SUB1, SUB2, SUB3, SUB4,
    GAT1, GAT2, GAT3, GAT4,
    Time, Offset,
};

struct GeneralParameterProblem {
    GeneralParameterField field;
    std::string message;
};

// The document element a field is saved as ("TCP_IP1", ..., "TIME_OUT", "OFFSET").
const char* ElementNameOf(GeneralParameterField field);

// The first failing check, as the dialog shows it; nothing when confirming may write.
// Only the typed texts are checked: port, lists, mode and the hidden settings never fail.
std::optional<GeneralParameterProblem> FirstGeneralParameterProblem(const GeneralParameters& p);

// Every failing check, in the same order; for reports that list all problems at once.
std::vector<GeneralParameterProblem> AllGeneralParameterProblems(const GeneralParameters& p);

} // namespace fabricor
