// Times `fabricor-cli verify --master` and `fabricor-cli decode` of a firmware made by
// `fabricor-cli update` from a generated base of a given size, against a durable copy of the same
// firmware (cp, then sync of the copy), with each run's peak memory. Prints figures; judges
// nothing.
//
//   bench_verify [--sizes 16,128] [--dir FOLDER] [--cli PATH]

#include "bench_harness.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace fabricor::bench;

namespace {

void Row(const char* what, const Measure& m, double bytes, double copySeconds) {
    std::printf("  %-16s %8.3f s  %8.1f MB/s  peak %7.1f MB  %5.2f x copy%s\n", what, m.seconds,
                bytes / (1 << 20) / m.seconds, m.peakKilobytes / 1024.0, m.seconds / copySeconds,
                m.status == 0 ? "" : "  (FAILED)");
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes = {16, 128};
    fs::path dir = fs::temp_directory_path() / "fabricor-verify-bench";
    std::string cli = FABRICOR_CLI;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--sizes") {
            sizes = SizeList(argv[i + 1]);
        } else if (option == "--dir") {
            dir = argv[i + 1];
        } else if (option == "--cli") {
            cli = argv[i + 1];
        }
    }
    fs::remove_all(dir);
    fs::create_directories(dir / "P" / "bin");
    fs::create_directories(dir / "M");
    {
        std::ofstream pargen(dir / "P" / "pargen.xml");
        pargen << "<General_Parameter><TCP_IP1>192</TCP_IP1><TCP_IP2>168</TCP_IP2><TCP_IP3>1"
                  "</TCP_IP3><TCP_IP4>7</TCP_IP4><TCP_SUB1>255</TCP_SUB1><TCP_SUB2>255</TCP_SUB2>"
                  "<TCP_SUB3>255</TCP_SUB3><TCP_SUB4>0</TCP_SUB4><TCP_EN_GATE>0</TCP_EN_GATE>"
                  "<TCP_GAT1>0</TCP_GAT1><TCP_GAT2>0</TCP_GAT2><TCP_GAT3>0</TCP_GAT3><TCP_GAT4>0"
                  "</TCP_GAT4><TCP_PORT>502</TCP_PORT><SNMP_PUBLIC>harbor</SNMP_PUBLIC>"
                  "<SNMP_PRIVATE>lantern</SNMP_PRIVATE><BAUD>3</BAUD><PARITY>0</PARITY>"
                  "<TIME_OUT>1000</TIME_OUT><OFFSET>10000</OFFSET><MODE>1</MODE><STOP_BIT>0"
                  "</STOP_BIT></General_Parameter>";
        std::ofstream var(dir / "P" / "var.xml");
        var << "<TCP_TO_RTU>";
        for (int row = 0; row < 2000; ++row)
            var << "<row DATA_TYPE=\"3\" TCP_ADDRESS=\"" << row * 10 << "\" RTU_ADD_DEV=\""
                << row % 247 + 1 << "\" RTU_ADDRESS=\"" << row
                << "\" N_POINT=\"10\" MNEMONIC=\"\"/>";
        var << "</TCP_TO_RTU>";
    }
    const std::string project = (dir / "P").string();
    const std::string master = (dir / "M").string();
    const std::string firmware = (dir / "P" / "New_SX30418.sx").string();
    for (int megabytes : sizes) {
        GenerateBase(dir / "M" / "SX30418.sx", megabytes);
        if (Program({cli, "update", project, "--master", master}, ErrorOutput::Hidden).status !=
            0) {
            std::printf("%d MB: update failed\n", megabytes);
            return 1;
        }
        const double bytes = static_cast<double>(fs::file_size(firmware));
        std::printf("firmware of %.1f MB (2000-row project), median of 3 runs:\n",
                    bytes / (1 << 20));
        const std::string copy = (dir / "copy.sx").string();
        std::vector<Measure> copies, verifies, plain, decodes;
        for (int run = 0; run < 3; ++run) {
            copies.push_back(Program(
                {"/bin/sh", "-c", "cp '" + firmware + "' '" + copy + "' && sync '" + copy + "'"},
                ErrorOutput::Hidden));
            verifies.push_back(Program({cli, "verify", project, firmware, "--master", master},
                                       ErrorOutput::Hidden));
            plain.push_back(Program({cli, "verify", project, firmware}, ErrorOutput::Hidden));
            fs::remove_all(dir / "D");
            decodes.push_back(Program({cli, "decode", firmware, "--output", (dir / "D").string()},
                                      ErrorOutput::Hidden));
        }
        Measure copied = Median(copies);
        Row("cp+sync", copied, bytes, copied.seconds);
        Row("verify --master", Median(verifies), bytes, copied.seconds);
        Row("verify", Median(plain), bytes, copied.seconds);
        Row("decode", Median(decodes), bytes, copied.seconds);
    }
    fs::remove_all(dir);
    return 0;
}
