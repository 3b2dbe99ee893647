#pragma once

#include <string>

namespace fabricor {

// What a document reader found: no file, a file that is not well-formed, or a file it read.
enum class ReadOutcome { NoFile, NotWellFormed, Read };

} // namespace fabricor
