#pragma once

#include <string>
#include <vector>

// The words a program was started with, as UTF-8 text, and its terminal's text.
namespace fabricor::platform {

// The program's arguments after its own name, as UTF-8 text. POSIX hands them over as they
// are; Windows gives main() its narrow code page's text, so the wide command line is taken
// instead, and a name no code page holds ("Pumpstation Süd") arrives whole.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Makes what the program prints, UTF-8 text, show as such in the terminal (on Windows the
// console's output code page becomes UTF-8; elsewhere nothing to do).
void PrintUtf8();

} // namespace fabricor::platform
