#include "platform/system_error.h"

#include <cstring>

namespace fabricor::platform {

std::string SystemErrorText(int error) {
    return std::strerror(error);
}

} // namespace fabricor::platform
