// Times the firmware merge against the physical limit (cat copying the same bytes) and against
// srec_cat doing the same splice, with each run's peak memory; then times a whole
// `fabricor-cli update` of a 2000-row project with each base, against a durable copy of the base
// (cat, then its flush to disk). Prints figures; judges nothing.
//
// The merge writes its output durably (flushed to disk before the rename), cat and srec_cat do
// not; "cat+sync" and "srec+sync" write the same bytes and then flush them, for a like-for-like
// comparison. The cpu column is user plus system time of the run.
//
//   bench_merge [--sizes 1,16,128] [--dir FOLDER] [--cli PATH] [--no-update]

#include "bench_harness.h"
#include "documents/var.h"
#include "firmware/merge.h"
#include "firmware/srecord.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace fabricor;
using namespace fabricor::bench;

namespace {

void Row(const char* what, const Measure& m, double bytes) {
    std::printf("  %-10s %8.3f s (cpu %6.3f s)  %8.1f MB/s  peak %7.1f MB%s\n", what, m.seconds,
                m.cpuSeconds, bytes / (1 << 20) / m.seconds, m.peakKilobytes / 1024.0,
                m.status == 0 ? "" : "  (FAILED)");
}

class Silent final : public MergeReporter {
public:
    void Report(const std::string& message) override { std::fprintf(stderr, "%s\n", message.c_str()); }
};

} // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes = {1, 16, 128};
    fs::path dir;
    std::string cli = FABRICOR_CLI;
    bool timeUpdate = true;
    for (int i = 1; i < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--no-update") {
            timeUpdate = false;
            --i;
            continue;
        }
        if (i + 1 == argc)
            break;
        if (option == "--sizes") {
            sizes = SizeList(argv[i + 1]);
        } else if (option == "--dir") {
            dir = argv[i + 1];
        } else if (option == "--cli") {
            cli = argv[i + 1];
        }
    }
    bool ownDir = dir.empty();
    if (ownDir) {
        std::string pattern = (fs::temp_directory_path() / "fabricor-bench-XXXXXX").string();
        dir = mkdtemp(pattern.data());
    }
    fs::create_directories(dir / "P" / "bin");
    fs::create_directories(dir / "M");
    {
        std::ofstream image(dir / "P" / "bin" / "bank1.bin", std::ios::binary);
        for (int i = 0; i < 16384; ++i)
            image.put(static_cast<char>(i * 7));
    }
    const std::string bin = (dir / "P" / "bin").string() + "/";
    const std::string outDir = (dir / "P").string() + "/";
    bool srecCat = std::system("command -v srec_cat >/dev/null 2>&1") == 0;

    // A whole update: build of a 2000-row project, both image files, merge of the base.
    std::vector<TMyRec> rows;
    for (int i = 0; i < 2000; ++i)
        rows.push_back(TMyRec{static_cast<uint8_t>(i % 4 + 1), static_cast<uint16_t>(i), 1,
                              static_cast<uint16_t>(40000 + i), 10, "row " + std::to_string(i)});
    WriteTranslateTable((dir / "P" / "var.xml").string(), rows);
    std::ofstream((dir / "P" / "pargen.xml"))
        << "<General_Parameter><TCP_IP1>10</TCP_IP1><TCP_IP2>0</TCP_IP2><TCP_IP3>0</TCP_IP3><TCP_IP4>7</TCP_IP4>"
           "<TCP_SUB1>255</TCP_SUB1><TCP_SUB2>255</TCP_SUB2><TCP_SUB3>255</TCP_SUB3><TCP_SUB4>0</TCP_SUB4>"
           "<TCP_EN_GATE>0</TCP_EN_GATE><TCP_GAT1>0</TCP_GAT1><TCP_GAT2>0</TCP_GAT2><TCP_GAT3>0</TCP_GAT3>"
           "<TCP_GAT4>0</TCP_GAT4><TCP_PORT>502</TCP_PORT><SNMP_PUBLIC>harbor</SNMP_PUBLIC>"
           "<SNMP_PRIVATE>lantern</SNMP_PRIVATE><BAUD>3</BAUD><PARITY>0</PARITY><TIME_OUT>1000</TIME_OUT>"
           "<OFFSET>10000</OFFSET><MODE>1</MODE><STOP_BIT>0</STOP_BIT></General_Parameter>";
    std::printf("Merge of bank1.bin into a base firmware (median of 5; srec_cat once)\n");
    for (int megabytes : sizes) {
        auto base = dir / "M" / "SX30418.sx";
        GenerateBase(base, megabytes);
        double bytes = static_cast<double>(fs::file_size(base));
        std::printf("base %d MB (%.0f bytes)\n", megabytes, bytes);
        std::vector<Measure> merges, cats, syncedCats, updates;
        const std::string catOut = (dir / "cat.out").string();
        for (int run = 0; run < 5; ++run) {
            if (timeUpdate)
                updates.push_back(Program({cli, "update", (dir / "P").string(), "--master",
                                           (dir / "M").string()}));
            merges.push_back(InChild([&] {
                Silent reporter;
                NoMergeProgress progress;
                auto result = MergeBankSx(base.string(), "New_SX30418.sx", bin, outDir, reporter, progress);
                return result.outcome == MergeOutcome::Written && result.imagePlaced ? 0 : 1;
            }));
            cats.push_back(Shell("cat '" + base.string() + "' > '" + catOut + "'"));
            syncedCats.push_back(Shell("cat '" + base.string() + "' > '" + catOut + "' && sync '" + catOut + "'"));
        }
        Measure merge = Median(merges), copy = Median(cats), syncedCopy = Median(syncedCats);
        Row("merge", merge, bytes);
        Row("cat", copy, bytes);
        Row("cat+sync", syncedCopy, bytes);
        if (timeUpdate) {
            Measure update = Median(updates);
            Row("update", update, bytes);
            std::printf("  update / (cat+sync) = %.2f, update peak %.1f MB (fabricor-cli update, "
                        "2000 rows)\n",
                        update.seconds / syncedCopy.seconds, update.peakKilobytes / 1024.0);
        }
        if (srecCat) {
            const std::string srecOut = (dir / "srec.out").string();
            const std::string first = HexAddress(kBankWindowFirst);
            const std::string end = HexAddress(kBankWindowLast + 1);
            const std::string splice = "srec_cat '" + base.string() + "' -exclude " + first + " " +
                                       end + " '" + bin + "bank1.bin' -binary -offset " + first +
                                       " -o '" + srecOut + "' 2>/dev/null";
            Measure srec = Shell(splice);
            Measure syncedSrec = Shell(splice + " && sync '" + srecOut + "'");
            Row("srec_cat", srec, bytes);
            Row("srec+sync", syncedSrec, bytes);
            std::printf("  merge / cat = %.2f, merge / (cat+sync) = %.2f, srec_cat / merge = %.1f, "
                        "(srec+sync) / merge = %.1f\n",
                        merge.seconds / copy.seconds, merge.seconds / syncedCopy.seconds,
                        srec.seconds / merge.seconds, syncedSrec.seconds / merge.seconds);
        } else {
            std::printf("  merge / cat = %.2f (srec_cat not installed)\n", merge.seconds / copy.seconds);
        }
        fs::remove(dir / "cat.out");
        fs::remove(dir / "srec.out");
    }

    if (ownDir)
        fs::remove_all(dir);
    return 0;
}
