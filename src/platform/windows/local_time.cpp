#include "platform/local_time.h"

namespace fabricor::platform {

std::tm LocalCalendarTime(std::time_t moment) {
    std::tm local{};
    localtime_s(&local, &moment); // the arguments the other way round from localtime_r
    return local;
}

} // namespace fabricor::platform
