#include "base/version.h"

#ifndef FABRICOR_VERSION
#error "FABRICOR_VERSION comes from the project's version in the top CMakeLists.txt"
#endif

namespace fabricor {

const char* ProgramVersion() {
    return FABRICOR_VERSION;
}

} // namespace fabricor
