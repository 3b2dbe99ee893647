// Started by the process test: writes the one parameter string it received, byte for byte, and
// the folder it runs in into received.bin in that folder (renamed into place when complete).
#include "platform/process.h"

#include <filesystem>
#include <fstream>

int main(int argc, char** argv) {
    std::optional<std::string> parameters = fabricor::ProgramParameterString(argc, argv);
    std::error_code error;
    std::filesystem::path here = std::filesystem::current_path(error);
    {
        std::ofstream out("received.tmp", std::ios::binary | std::ios::trunc);
        out << (parameters ? *parameters : std::string("(none)")) << '\n' << here.generic_string();
    }
    std::filesystem::rename("received.tmp", "received.bin", error);
    return error ? 1 : 0;
}
