// Times the Set Translate Table dialog on a full 2000-row var.xml, offscreen: showing it (empty,
// number and load the grid, then paint it) and confirming it (kind check, collect, write), with
// the core's share of each. Prints figures; judges nothing.
//
//   bench_editors [--runs N]

#include "documents/var.h"
#include "front/editors/general_parameter_dialog.h"
#include "front/editors/grid.h"
#include "front/editors/translate_table_dialog.h"
#include "front/seams/seams.h"
#include "rules/translate_rules.h"
#include "workspace/workspace.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace fabricor;

namespace {

// Message boxes that only count: a benchmark must never block on one.
class CountingBoxes final : public MessageBoxes {
public:
    void Plain(QWidget*, const QString&) override { ++shown; }
    void Error(QWidget*, const QString&) override { ++shown; }
    bool Question(QWidget*, const QString&) override { return ++shown, false; }
    int shown = 0;
};

struct Figures {
    double median, best, worst;
};

Figures Time(int runs, const std::function<void()>& prepare, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        prepare();
        auto start = std::chrono::steady_clock::now();
        work();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front(), ms.back()};
}

void Print(const char* what, const Figures& f, double target = 0) {
    std::printf("  %-44s median %8.2f ms   best %8.2f   worst %8.2f", what, f.median, f.best, f.worst);
    if (target > 0)
        std::printf("   (target < %.0f ms)", target);
    std::printf("\n");
}

std::vector<TMyRec> FullTable() {
    std::vector<TMyRec> rows;
    for (int i = 0; i < 2000; ++i)
        rows.push_back({static_cast<uint8_t>(i % 4 + 1), static_cast<uint16_t>(i * 3),
                        static_cast<uint8_t>(i % 248 + 1), static_cast<uint16_t>(40000 + i),
                        static_cast<uint8_t>(i % 127 + 1), "point_" + std::to_string(i)});
    return rows;
}

} // namespace

int main(int argc, char** argv) {
    int runs = 20;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    const fs::path folder = fs::temp_directory_path() / ("fabricor-bench-editors-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    Workspace workspace;
    workspace.ProjectFolder = folder.string();
    workspace.UpdateDocumentPaths();
    const auto table = FullTable();
    if (!WriteTranslateTable(workspace.VarPath, table).ok()) {
        std::fprintf(stderr, "cannot write %s\n", workspace.VarPath.c_str());
        return 1;
    }
    std::printf("Set Translate Table on a 2000-row var.xml (%ju bytes), offscreen, %d runs each\n",
                static_cast<uintmax_t>(fs::file_size(workspace.VarPath)), runs);

    CountingBoxes boxes;
    TFSetVar dialog(workspace, boxes);
    // The very first showing grows the grid from 2 to 2001 rows.
    auto first = Time(1, [] {}, [&] {
        dialog.show();
        (void)dialog.grab();
    });
    Print("first showing (grow, load, paint)", first);
    dialog.hide();

    Print("showing (FormShow + paint)",
          Time(runs, [&] { dialog.hide(); }, [&] {
              dialog.show();
              (void)dialog.grab();
          }), 150);
    Print("  of which FormShow (empty, number, load)", Time(runs, [] {}, [&] { dialog.FormShow(); }));
    Print("  of which painting the whole dialog (grab)", Time(runs, [] {}, [&] { (void)dialog.grab(); }));
    Print("  of which ReadTranslateTable", Time(runs, [] {}, [&] { (void)ReadTranslateTable(workspace.VarPath); }));

    dialog.show();
    Print("confirming (check, collect, write)",
          Time(runs, [&] { dialog.setResult(0); }, [&] {
              if (!dialog.bitbtn1Click())
                  std::fprintf(stderr, "confirm refused\n");
          }), 50);
    std::vector<TranslateRowCells> cells;
    for (const auto& rec : table)
        cells.push_back({kDataTypeNames[rec.DataType - 1u], std::to_string(rec.TcpAddress),
                         std::to_string(rec.RtuAddDev), std::to_string(rec.RtuAddress),
                         std::to_string(rec.NPoint), rec.Mnemonic});
    Print("  of which ConfirmTranslateRows (core)", Time(runs, [] {}, [&] { (void)ConfirmTranslateRows(cells); }));
    Print("  of which WriteTranslateTable (durable)",
          Time(runs, [] {}, [&] { (void)WriteTranslateTable(workspace.VarPath, table); }));
    Print("table analysis of the grid (marks, summary)",
          Time(
              runs, [] {}, [&] { dialog.UpdateTableAnalysis(); }));
    if (ReadTranslateTable(workspace.VarPath).rows.size() != table.size() || boxes.shown != 0)
        std::fprintf(stderr, "unexpected: the table did not survive the round trip\n");

    // Editing blocks: each step with the table analysis it sets off and a repaint.
    std::printf("Editing blocks in the full grid (each with analysis and repaint)\n");
    QString block;
    for (int r = 0; r < 2000; ++r)
        block += QStringLiteral("holding register\t%1\t1\t%2\t1\tp%1\r\n").arg(r).arg(r + 7);
    TApplegrid& grid = dialog.sga();
    const auto settle = [&] {
        QApplication::processEvents();
        (void)grid.grab();
    };
    const auto fresh = [&] {
        dialog.FormShow();
        settle();
        grid.SetCurrentCell(1, 1);
    };
    const auto timed = [&](const std::function<void()>& work) {
        return [&, work] {
            work();
            settle();
        };
    };
    const auto paste = [&] { grid.Paste(block); };
    Print("paste a 2000 x 6 block", Time(runs, fresh, timed(paste)), 100);
    Print("undo it",
          Time(
              runs, [&] { fresh(), paste(); }, timed([&] { grid.Undo(); })),
          100);
    Print("redo it",
          Time(
              runs, [&] { fresh(), paste(), grid.Undo(); }, timed([&] { grid.Redo(); })),
          100);
    Print("delete 1000 rows at row 1", Time(runs, fresh, timed([&] { grid.DeleteRows(1, 1000); })),
          100);
    if (grid.CanRedo() || !grid.CanUndo())
        std::fprintf(stderr, "unexpected: the deletion is not one undo step\n");

    TFpargen pargen(workspace, boxes);
    pargen.ResetGeneralParameters();
    pargen.BitBtn1Click();
    std::printf("General Parameter, for comparison\n");
    Print("showing (FormShow + paint)", Time(runs, [&] { pargen.hide(); }, [&] {
              pargen.show();
              (void)pargen.grab();
          }));
    Print("confirming (validate, write)", Time(runs, [] {}, [&] { pargen.BitBtn1Click(); }));

    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
