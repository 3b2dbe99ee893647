#pragma once

namespace fabricor {

// The release of these programs, as the build names it (the project's version in the top
// CMakeLists.txt, the one place it is set): "fabricor-cli --version", the About box and the
// packages all show this text.
const char* ProgramVersion();

} // namespace fabricor
