#pragma once

#include "support/temp_dir.h"

#include <filesystem>

namespace fabricor::test_support {

inline const std::filesystem::path kGoldenFolder =
    std::filesystem::path(FABRICOR_TEST_DATA) / "golden";

// The golden project's two documents, copied into `folder` beside an empty bin folder.
inline void CopyGoldenProject(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder / "bin");
    for (const char* name : {"pargen.xml", "var.xml"})
        WriteFile(folder / name, ReadFile(kGoldenFolder / "project" / name));
}

} // namespace fabricor::test_support
