#include "base/run_temporaries.h"
#include "cli/cli.h"
#include "cli/terminal_progress.h"
#include "platform/arguments.h"
#include "platform/files.h"

#include <exception>
#include <iostream>
#include <new>

int main(int argc, char** argv) {
    fabricor::InstallInterruptCleanup();
    // Nothing a command leaves unhandled ends the program without a word.
    try {
        fabricor::cli::TerminalProgress progress(std::cerr, fabricor::platform::IsTerminal(2));
        fabricor::platform::PrintUtf8();
        fabricor::cli::Arguments args = fabricor::platform::ProgramArguments(argc, argv);
        return fabricor::cli::RunCli(args, std::cout, std::cerr, progress);
    } catch (const std::bad_alloc& failure) {
        std::cerr << "fabricor-cli: not enough memory: " << failure.what() << "\n";
    } catch (const std::exception& failure) {
        std::cerr << "fabricor-cli: " << failure.what() << "\n";
    }
    return 1;
}
