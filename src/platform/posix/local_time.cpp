#include "platform/local_time.h"

namespace fabricor::platform {

std::tm LocalCalendarTime(std::time_t moment) {
    std::tm local{};
    localtime_r(&moment, &local);
    return local;
}

} // namespace fabricor::platform
