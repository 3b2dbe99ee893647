// Writes the manual page of fabricor-cli from the commands' declarations, at build time:
//   fabricor-cli-manual VERSION OUTPUT.1
#include "base/atomic_file.h"
#include "cli/cli.h"

#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "Usage: fabricor-cli-manual VERSION OUTPUT.1\n";
        return 2;
    }
    std::ostringstream page;
    fabricor::cli::WriteManualPage(page, argv[1]);
    if (auto written = fabricor::WriteFileAtomically(argv[2], page.str()); !written.ok()) {
        std::cerr << "fabricor-cli-manual: " << written.message() << "\n";
        return 1;
    }
    return 0;
}
