#pragma once

// The command-line tests' common ground: fabricor-cli run in this process with its output
// caught as text, and a project laid out as the command line and the update take it.

#include "base/project_files.h"
#include "cli/cli.h"
#include "firmware/sx_test_support.h"
#include "support/sample_project.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace fabricor::test_support {

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

inline CliRun Cli(const cli::Arguments& args) {
    std::ostringstream out, err;
    CliRun run;
    run.code = cli::RunCli(args, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

// A base firmware of one window record and nothing else.
inline const char* kGoodBase = "S0030000FC\r\nS2243880000000000000000000000000000000000000000000000"
                               "000000000000000000000000023\r\n"
                               "S804000000FB\r\n";

// A base firmware with S2 records from 0x387000 to 0x38CFFF: the whole window and some on
// either side of it.
inline std::string BaseAroundTheWindow() {
    std::vector<std::string> base = {Record(0, 0, {'b'})};
    for (uint32_t a = 0x387000; a < 0x38D000; a += 32)
        base.push_back(Record(2, a, Pattern(32, a)));
    base.push_back("S804000000FB");
    return Join(base, "\n");
}

// DIR/P (the sample pargen.xml and var.xml, bin/) and DIR/M (SX30418.sx).
struct Project {
    explicit Project(const TempDir& dir, const std::string& base = kGoodBase)
        : Project(dir.path(), base) {}
    explicit Project(const std::filesystem::path& at, const std::string& base = kGoodBase)
        : root(at) {
        std::filesystem::create_directories(folder() / "bin");
        std::filesystem::create_directories(master());
        WriteFile(folder() / "pargen.xml", kSamplePargen);
        WriteFile(folder() / "var.xml", kSampleVar);
        WriteFile(master() / ProjectFiles::kBaseFirmwareName, base);
    }
    std::filesystem::path folder() const { return root / "P"; }
    std::filesystem::path master() const { return root / "M"; }
    std::filesystem::path bin() const { return folder() / "bin"; }
    std::filesystem::path newFirmware() const { return folder() / "New_SX30418.sx"; }
    std::filesystem::path root;
};

} // namespace fabricor::test_support
