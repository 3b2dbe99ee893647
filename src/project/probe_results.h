#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fabricor {

// The last answer a probe got for one row of the translate table.
struct ProbeRow {
    int row = 0;        // the table's row number, from 1
    std::string status; // "ok", or what went wrong ("exception 2 (illegal data address)", ...)
    std::optional<double> responseMs; // none when nothing answered
    std::vector<long long> values;    // registers or bits as read, in address order
};

struct ProbeResults {
    std::map<int, ProbeRow> rows; // by row number
    std::string error;            // why the file was refused; empty when it was read
    bool ok() const { return error.empty(); }
};

// Reads the results a probe saved, as JSON (UTF-8):
//
//   [ {"row": 1, "status": "ok", "response_ms": 12.5, "values": [17, 0, 65535]},
//     {"row": 2, "status": "time-out", "response_ms": null, "values": []} ]
//
// An array of objects, one per row; the array may also stand as the "rows" member of an
// object. "row" (an integer from 1 to 2000) and "status" (a string) are required;
// "response_ms" (a number of milliseconds, or null) and "values" (an array of integers, true
// and false counting as 1 and 0) may be left out. Other members are ignored, so a probe may
// save more. A row named twice, or anything else that does not fit, refuses the whole file with
// the place it was found.
//
// What `fabricor-cli probe --format json` writes is read too: an object whose "reads" array has
// one entry per read ("row", "status", "text", "ms", "values"); the reads of one row make its
// result (values in order, times added, the first failure's "text" as its status).
ProbeResults ReadProbeResultsText(std::string_view json);
ProbeResults ReadProbeResultsFile(const std::string& path);

} // namespace fabricor
