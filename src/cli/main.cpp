#include "base/run_temporaries.h"
#include "cli/cli.h"
#include "cli/terminal_progress.h"

#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    fabricor::InstallInterruptCleanup();
    fabricor::cli::TerminalProgress progress(std::cerr, ::isatty(STDERR_FILENO) == 1);
    fabricor::cli::Arguments args(argv + 1, argv + argc);
    return fabricor::cli::RunCli(args, std::cout, std::cerr, progress);
}
