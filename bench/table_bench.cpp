// Times the translate table's CSV import (reading, parsing, the editor's checks) and export, and
// the table analysis, on 2000 rows. Prints figures; judges nothing.
//
//   bench_table [--runs N]

#include "documents/var.h"
#include "rules/translate_analysis.h"
#include "rules/translate_csv.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace fabricor;

namespace {

struct Figures {
    double median, best, worst;
};

Figures Time(int runs, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front(), ms.back()};
}

void Print(const char* what, const Figures& f, double target = 0) {
    std::printf("  %-52s median %7.3f ms   best %7.3f   worst %7.3f", what, f.median, f.best,
                f.worst);
    if (target > 0)
        std::printf("   (target < %.0f ms)", target);
    std::printf("\n");
}

// A plausible register map: contiguous ranges per data type, a few mnemonics that need quotes.
std::vector<TMyRec> FullTable() {
    std::vector<TMyRec> rows;
    std::array<int, 4> next{};
    for (int i = 0; i < 2000; ++i) {
        const int kind = i % 4;
        const auto points = static_cast<uint8_t>(i % 16 + 1);
        std::string mnemonic =
            "Pump " + std::to_string(i) + (i % 10 == 0 ? ", \"main\" Größe" : " speed");
        rows.push_back({static_cast<uint8_t>(kind + 1), static_cast<uint16_t>(next[kind]),
                        static_cast<uint8_t>(i % 247 + 1), static_cast<uint16_t>(i * 8), points,
                        mnemonic});
        next[kind] += points;
    }
    return rows;
}

} // namespace

int main(int argc, char** argv) {
    int runs = 50;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));

    const auto table = FullTable();
    const std::string csv = TranslateTableToCsv(table, {});
    const fs::path file =
        fs::temp_directory_path() / ("fabricor-bench-table-" + std::to_string(::getpid()) + ".csv");
    std::ofstream(file, std::ios::binary) << csv;
    std::printf("Translate table of 2000 rows, CSV of %zu bytes, %d runs each\n", csv.size(), runs);

    auto check = ReadTranslateTableCsv(file.string());
    if (!check.ok() || check.rows != table)
        std::fprintf(stderr, "unexpected: the table did not survive the round trip\n");
    Print("import: read the file, parse, check every row",
          Time(runs, [&] { (void)ReadTranslateTableCsv(file.string()); }), 20);
    Print("  of which parse and check (in memory)",
          Time(runs, [&] { (void)TranslateTableFromCsv(csv); }));
    Print("export: rows to CSV text", Time(runs, [&] { (void)TranslateTableToCsv(table, {}); }));

    auto clean = AnalyseTranslateTable(table);
    Print("analysis, a clean map", Time(runs, [&] { (void)AnalyseTranslateTable(table); }), 5);
    std::printf("    %s\n", TableAnalysisSummary(clean).c_str());

    // Every tenth row moved onto its neighbour: 200 overlaps and as many repeated reads.
    auto messy = table;
    for (size_t i = 10; i < messy.size(); i += 10)
        messy[i] = messy[i - 4], messy[i].Mnemonic = "copy";
    auto found = AnalyseTranslateTable(messy);
    Print("analysis, a map with warnings", Time(runs, [&] { (void)AnalyseTranslateTable(messy); }),
          5);
    std::printf("    %s\n", TableAnalysisSummary(found).c_str());

    // The worst case: every row on one address, 1,999,000 overlapping pairs.
    auto worst = table;
    for (auto& rec : worst)
        rec.DataType = 3, rec.TcpAddress = 0;
    auto everything = AnalyseTranslateTable(worst);
    Print("analysis, 2000 rows on one address",
          Time(std::max(1, runs / 10), [&] { (void)AnalyseTranslateTable(worst); }));
    std::printf("    %s\n", TableAnalysisSummary(everything).c_str());

    std::error_code ignored;
    fs::remove(file, ignored);
    return 0;
}
