#pragma once

#include <ctime>

namespace fabricor::platform {

// The calendar time of `moment` in the local time zone, by the C runtime's thread-safe call.
std::tm LocalCalendarTime(std::time_t moment);

} // namespace fabricor::platform
