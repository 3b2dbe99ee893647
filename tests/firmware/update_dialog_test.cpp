#include "front/firmware/update_dialog.h"

#include "base/project_lock.h"
#include "base/settings_file.h"
#include "base/sha256.h"
#include "documents/pargen.h"
#include "documents/var.h"
#include "firmware/flash_tool.h"
#include "front/shell/main_window.h"
#include "sample/sample_firmware.h"
#include "support/golden.h"
#include "support/lock_holder.h"
#include "support/recording_seams.h"
#include "support/socat_line.h"
#include "support/temp_dir.h"

#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace fabricor {
namespace {

using test_support::ReadFile;
using test_support::RecordingMessageBoxes;
using test_support::RecordingServices;
using test_support::TempDir;
using test_support::WriteFile;
namespace fs = std::filesystem;

const QByteArray kPilcrow("\xB6");

// An application folder as the run command lays it out: the program, the flash tool, the sample
// base firmware in MASTER and one project, "pump", restored from the settings file.
class UpdateDevice : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Project() / "bin");
        fs::create_directories(app / "MASTER");
        WriteFile(app / "MASTER" / "SX30418.sx", sample::SampleFirmwareText());
        WriteFile(app / "Progwerk.exe", "recorded, never run");
        ASSERT_TRUE(WriteGeneralParameters((Project() / "pargen.xml").string(),
                                           EncodeGeneralParameters(NewProjectGeneralParameters())));
        std::vector<TMyRec> rows(3);
        for (size_t i = 0; i < rows.size(); ++i)
            rows[i] = TMyRec{3, uint16_t(i + 1), 1, uint16_t(100 + i), 2, "row"};
        ASSERT_TRUE(WriteTranslateTable((Project() / "var.xml").string(), rows));
        ASSERT_TRUE(WriteIniValue(app / "Fabricor.ini", "lastproj", "projectname", "pump"));
        cwd_ = QDir::currentPath();
    }
    void TearDown() override { QDir::setCurrent(cwd_); }

    fs::path Project() const { return app / "PROJECTS" / "pump"; }
    std::unique_ptr<TFFabricoreFirmWare> Start() {
        return std::make_unique<TFFabricoreFirmWare>(
            QString::fromStdString(app.str() + "/fabricor"), doubles.services());
    }
    // Answers the update dialog as a user would: choose the port, press the button.
    void PressExecuteWith(int portIndex, int presses = 1) {
        doubles.dialogs.scripts["TFModifyFileSx"] = [this, portIndex, presses](QDialog& dialog) {
            auto* ports = dialog.findChild<QComboBox*>("cbport");
            portShown << ports->currentText();
            ports->setCurrentIndex(portIndex);
            auto* button = dialog.findChild<QPushButton*>("LbButton2");
            buttonEnabled = button->isEnabled();
            for (int i = 0; i < presses; ++i)
                button->click();
            auto* bar = dialog.findChild<QProgressBar*>("Avanzamento");
            progress = {bar->value(), bar->maximum()};
        };
    }
    QByteArray ExpectedParameters(int portIndex) const {
        return '"' + QByteArray::fromStdString((Project() / "New_SX30418.sx").string()) + '"' +
               kPilcrow + QByteArray::number(portIndex);
    }
    // srec_cat, an independent judge, cuts the configuration window out of the new firmware.
    std::string WindowOfNewFirmware() const {
        std::string out = (app / "window.bin").string();
        std::string command = "srec_cat " + (Project() / "New_SX30418.sx").string() +
                              " -crop 0x388000 0x38C000 -offset -0x388000 -o " + out + " -binary";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return ReadFile(out);
    }

    TempDir app;
    RecordingServices doubles;
    QStringList portShown;
    bool buttonEnabled = false;
    std::pair<int, int> progress;
    QString cwd_;
};

TEST_F(UpdateDevice, BuildsMergesAndStartsTheFlashToolForTheChosenPort) {
    PressExecuteWith(7); // COM8
    auto window = Start();
    window->findChild<QPushButton*>("CreateBin")->click();

    EXPECT_TRUE(doubles.boxes.shown.empty()) << doubles.boxes.texts().join("|").toStdString();
    EXPECT_EQ(doubles.dialogs.shown, QStringList{"TFModifyFileSx"});
    EXPECT_EQ(window->findChild<QLabel*>("Labelstate")->text(), "--");
    EXPECT_EQ(portShown, QStringList{"COM1"});
    EXPECT_TRUE(buttonEnabled);

    std::string image = ReadFile(Project() / "bin" / "bank1.bin");
    ASSERT_EQ(image.size(), 16384u);
    EXPECT_EQ(image.substr(0, 7), std::string("\x03\x01\x00\x01\x64\x00\x02", 7));
    EXPECT_EQ(ReadFile(Project() / "bin" / "bankg.c").size(), 117824u);
    EXPECT_EQ(WindowOfNewFirmware(), image);
    EXPECT_FALSE(fs::exists(Project() / "bin" / "Bin.sx"));
    EXPECT_EQ(progress, std::make_pair(512 + 1794, 512 + 1794)); // staging + base lines

    ASSERT_EQ(doubles.shell.started.size(), 1u);
    const auto& started = doubles.shell.started[0];
    EXPECT_EQ(started.program.toStdString(), app.str() + "/Progwerk.exe");
    EXPECT_EQ(started.argument, ExpectedParameters(7));
    EXPECT_TRUE(started.argument.endsWith("\xB6"
                                          "7"));
    EXPECT_EQ(started.workingFolder.toStdString(), app.str() + "/MASTER");
    EXPECT_EQ(QDir::currentPath().toStdString(), app.str() + "/MASTER");
}

TEST_F(UpdateDevice, AfterTheMergeTheHashesShowAndTheReportSavesAsPdf) {
    const QString pdf = QString::fromStdString((app / "report.pdf").string());
    doubles.files.answers = {pdf};
    QString imageHash, firmwareHash;
    bool reportBefore = true, reportAfter = false;
    bool hashRowBefore = true, hashRowAfter = false;
    bool busyWhileWriting = false, reportWhileWriting = true;
    doubles.dialogs.scripts["TFModifyFileSx"] = [&](QDialog& dialog) {
        auto* report = dialog.findChild<QPushButton*>("SaveReportPdf");
        reportBefore = report->isEnabled();
        hashRowBefore = dialog.findChild<QLabel*>("ImageHashCaption")->isVisible();
        dialog.findChild<QPushButton*>("LbButton2")->click();
        hashRowAfter = dialog.findChild<QLabel*>("ImageHashCaption")->isVisible();
        imageHash = dialog.findChild<QLabel*>("ImageHash")->toolTip();
        firmwareHash = dialog.findChild<QLabel*>("FirmwareHash")->toolTip();
        reportAfter = report->isEnabled();
        report->click();
        // Written on a worker: the dialog answers meanwhile, under the busy cursor.
        const QCursor* cursor = QGuiApplication::overrideCursor();
        busyWhileWriting = cursor && cursor->shape() == Qt::BusyCursor;
        reportWhileWriting = report->isEnabled();
    };
    auto window = Start();
    window->findChild<QPushButton*>("CreateBin")->click();
    auto* dialog = window->findChild<TFModifyFileSx*>();
    QSignalSpy written(dialog, &TFModifyFileSx::reportWritten);
    ASSERT_TRUE(written.wait(60000));
    EXPECT_TRUE(written.front().front().toBool());
    EXPECT_TRUE(busyWhileWriting);
    EXPECT_FALSE(reportWhileWriting);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(dialog->findChild<QPushButton*>("SaveReportPdf")->isEnabled());
    EXPECT_TRUE(dialog->findChild<QLabel*>("ReportProgress")->text().contains("report.pdf"));
    EXPECT_TRUE(doubles.boxes.shown.empty()) << doubles.boxes.texts().join("|").toStdString();
    EXPECT_FALSE(reportBefore);
    EXPECT_TRUE(reportAfter);
    EXPECT_FALSE(hashRowBefore); // no empty rows before there is a hash
    EXPECT_TRUE(hashRowAfter);
    EXPECT_EQ(imageHash.toStdString(),
              *Sha256OfFile((Project() / "bin" / "bank1.bin").string()).hex);
    EXPECT_EQ(firmwareHash.toStdString(),
              *Sha256OfFile((Project() / "New_SX30418.sx").string()).hex);
    EXPECT_EQ(doubles.files.asked, std::vector<bool>{true});
    EXPECT_EQ(ReadFile(app / "report.pdf").substr(0, 5), "%PDF-");
}

// Notes whether the busy cursor is up each time the program asks the time or waits for the echo.
struct CursorWatch final : public Clock, public PingWaitHost {
    LocalTime Now() override {
        busy.push_back(RecordingMessageBoxes::BusyCursorShown());
        return LocalTime{2026, 12, 8, 14, 35, 47};
    }
    std::uint32_t TickCount() override { return ticks; }
    void Sleep(int milliseconds) override { ticks += std::uint32_t(milliseconds); }
    void ProcessMessages() override { busy.push_back(RecordingMessageBoxes::BusyCursorShown()); }
    std::uint32_t ticks = 0;
    std::vector<bool> busy;
};

TEST_F(UpdateDevice, TheBusyCursorShowsWhileThePingWaitsAndTheBuildAndMergeRun) {
    CursorWatch watch;
    Services services = doubles.services();
    services.clock = &watch;
    services.pingWait = &watch;
    auto window = std::make_unique<TFFabricoreFirmWare>(
        QString::fromStdString(app.str() + "/fabricor"), services);
    window->show();
    std::vector<bool> atDialogs, merging;
    auto noteDialog = [&](QDialog&) {
        atDialogs.push_back(RecordingMessageBoxes::BusyCursorShown());
    };
    doubles.dialogs.scripts["TFPing"] = noteDialog;
    doubles.dialogs.scripts["TFModifyFileSx"] = [&](QDialog& dialog) {
        noteDialog(dialog);
        QObject::connect(dialog.findChild<QProgressBar*>("Avanzamento"),
                         &QProgressBar::valueChanged,
                         [&] { merging.push_back(RecordingMessageBoxes::BusyCursorShown()); });
        QTest::mouseClick(dialog.findChild<QPushButton*>("LbButton2"), Qt::LeftButton);
    };

    doubles.echo.replyBytes.reset(); // no answer: the whole wait
    QTest::mouseClick(window->findChild<QPushButton*>("Btn_Ping"), Qt::LeftButton);
    ASSERT_FALSE(watch.busy.empty());
    EXPECT_EQ(std::count(watch.busy.begin(), watch.busy.end(), false), 0);
    watch.busy.clear();
    QTest::mouseClick(window->findChild<QPushButton*>("CreateBin"), Qt::LeftButton);
    EXPECT_EQ(watch.busy, std::vector<bool>{true}); // the build reads the clock once
    ASSERT_FALSE(merging.empty());
    EXPECT_EQ(std::count(merging.begin(), merging.end(), false), 0);
    EXPECT_EQ(atDialogs, (std::vector<bool>{false, false}));
    EXPECT_EQ(doubles.shell.started.size(), 1u);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // A build that fails on the way gives the ordinary cursor back before its message.
    fs::remove_all(Project() / "bin");
    QTest::mouseClick(window->findChild<QPushButton*>("CreateBin"), Qt::LeftButton);
    ASSERT_EQ(doubles.boxes.shown.size(), 1u);
    EXPECT_FALSE(doubles.boxes.shown[0].busyCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// The same documents and time as the command line's golden build give the same bytes.
TEST_F(UpdateDevice, WritesTheGoldenCSourceLikeTheCommandLine) {
    test_support::CopyGoldenProject(Project());
    PressExecuteWith(0);
    auto window = Start();
    window->findChild<QPushButton*>("CreateBin")->click();
    EXPECT_TRUE(doubles.boxes.shown.empty()) << doubles.boxes.texts().join("|").toStdString();
    EXPECT_TRUE(ReadFile(Project() / "bin" / "bankg.c") ==
                ReadFile(test_support::kGoldenFolder / "bankg.c"));
}

TEST_F(UpdateDevice, PortListStartsAtCom1AtEveryShowingAndEachPressStartsTheToolAgain) {
    PressExecuteWith(0, 2);
    auto window = Start();
    window->findChild<QPushButton*>("CreateBin")->click();
    PressExecuteWith(4);
    window->findChild<QPushButton*>("CreateBin")->click();
    EXPECT_EQ(portShown, (QStringList{"COM1", "COM1"}));
    ASSERT_EQ(doubles.shell.started.size(), 3u);
    EXPECT_EQ(doubles.shell.started[0].argument, ExpectedParameters(0));
    EXPECT_EQ(doubles.shell.started[1].argument, ExpectedParameters(0));
    EXPECT_EQ(doubles.shell.started[2].argument, ExpectedParameters(4));
}

TEST_F(UpdateDevice, MissingBaseFirmwareIsNamedAndTheButtonStaysDisabled) {
    fs::remove(app / "MASTER" / "SX30418.sx");
    PressExecuteWith(0);
    auto window = Start();
    window->findChild<QPushButton*>("CreateBin")->click();
    ASSERT_EQ(doubles.boxes.shown.size(), 1u);
    EXPECT_EQ(doubles.boxes.shown[0].kind, RecordingMessageBoxes::Shown::Error);
    EXPECT_EQ(doubles.boxes.shown[0].text, "Error file SX30418.sx not found");
    EXPECT_FALSE(buttonEnabled);
    EXPECT_TRUE(doubles.shell.started.empty());
    EXPECT_FALSE(fs::exists(Project() / "New_SX30418.sx"));
}

TEST_F(UpdateDevice, ABaseFirmwareThatIsNoRegularFileIsNamedForWhatItIs) {
    const fs::path base = app / "MASTER" / "SX30418.sx";
    fs::remove(base);
    ASSERT_EQ(::mkfifo(base.c_str(), 0644), 0);
    PressExecuteWith(0);
    auto window = Start();
    window->findChild<QPushButton*>("CreateBin")->click();
    EXPECT_EQ(doubles.boxes.texts(),
              QStringList{QString::fromStdString(base.string() + ": not a regular file (a FIFO)")});
    EXPECT_FALSE(buttonEnabled);
    EXPECT_TRUE(doubles.shell.started.empty());
    // A reason longer than a line, a path without blanks, goes on in a second line (red ink).
    QLabel* reason = window->findChild<QLabel*>("DisabledReason");
    const QImage shot = reason->grab().toImage();
    int red = 0;
    for (int y = reason->fontMetrics().lineSpacing(); y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            red += shot.pixelColor(x, y).red() > shot.pixelColor(x, y).green() + 60;
    EXPECT_GT(red, 20);
}

TEST_F(UpdateDevice, MissingFlashToolIsToldAndNothingStarts) {
    fs::remove(app / "Progwerk.exe");
    PressExecuteWith(0);
    auto window = Start();
    window->findChild<QPushButton*>("CreateBin")->click();
    EXPECT_EQ(doubles.boxes.texts(), QStringList{"Progwerk.exe Not Found, Procedure Aborted"});
    EXPECT_EQ(doubles.boxes.shown[0].kind, RecordingMessageBoxes::Shown::Plain);
    EXPECT_TRUE(fs::exists(Project() / "New_SX30418.sx"));
    EXPECT_TRUE(doubles.shell.started.empty());
}

TEST_F(UpdateDevice, ProjectWithoutBinFolderEndsAtTheCSourceAndOpensNoDialog) {
    fs::remove_all(Project() / "bin");
    auto window = Start();
    window->findChild<QPushButton*>("CreateBin")->click();
    ASSERT_EQ(doubles.boxes.shown.size(), 1u);
    EXPECT_EQ(doubles.boxes.shown[0].kind, RecordingMessageBoxes::Shown::Error);
    EXPECT_TRUE(doubles.boxes.shown[0].text.startsWith(QString::fromStdString(
        "Cannot create file \"" + (Project() / "bin" / "bankg.c").string() + "\". ")));
    EXPECT_TRUE(doubles.dialogs.shown.empty());
    EXPECT_EQ(window->findChild<QLabel*>("Labelstate")->text(), "Wait..");
}

TEST_F(UpdateDevice, AnUpdateOfTheProjectRunningElsewhereIsToldAndNothingIsWritten) {
    test_support::LockHolder elsewhere(Project() / "bin" / ProjectFiles::kLockName);
    ASSERT_TRUE(elsewhere.held());
    doubles.projectLockWait = std::chrono::milliseconds(50);
    PressExecuteWith(0);
    auto window = Start();
    window->findChild<QPushButton*>("CreateBin")->click();
    ASSERT_EQ(doubles.boxes.shown.size(), 1u);
    EXPECT_EQ(doubles.boxes.shown[0].kind, RecordingMessageBoxes::Shown::Error);
    EXPECT_TRUE(doubles.boxes.shown[0].text.contains(kProjectBeingUpdated));
    EXPECT_TRUE(doubles.dialogs.shown.empty());
    EXPECT_FALSE(fs::exists(Project() / "bin" / "bank1.bin"));
    EXPECT_TRUE(doubles.shell.started.empty());

    elsewhere.Release();
    window->findChild<QPushButton*>("CreateBin")->click();
    EXPECT_EQ(doubles.dialogs.shown, QStringList{"TFModifyFileSx"});
    EXPECT_EQ(doubles.shell.started.size(), 1u);
}

TEST_F(UpdateDevice, StartsByRemovingWhatAnInterruptedRunLeft) {
    const std::string ended = std::to_string(test_support::EndedProcessId());
    const std::string live = std::to_string(::getpid());
    const std::vector<fs::path> stale = {Project() / (".New_SX30418.sx.tmp" + ended + "-x1Y2z3"),
                                         Project() / "bin" / (".Bin.sx.tmp" + ended + "-AbC123")};
    for (const auto& file : stale)
        WriteFile(file, "left by a killed run");
    const fs::path saving = Project() / (".var.xml.tmp" + live + "-q9W8e7"); // its owner runs
    WriteFile(saving, "a save in progress");
    PressExecuteWith(0);
    auto window = Start();
    window->findChild<QPushButton*>("CreateBin")->click();
    EXPECT_TRUE(doubles.boxes.shown.empty()) << doubles.boxes.texts().join("|").toStdString();
    for (const auto& file : stale)
        EXPECT_FALSE(fs::exists(file)) << file;
    EXPECT_EQ(ReadFile(saving), "a save in progress");
}

TEST_F(UpdateDevice, AnImageThatCouldNotBeWrittenIsNeverReplacedByAnOlderOne) {
    fs::create_directories(Project() / "bin" / "bank1.bin"); // cannot be replaced by a file
    auto window = Start();
    window->findChild<QPushButton*>("CreateBin")->click();
    EXPECT_TRUE(fs::exists(Project() / "bin" / "bankg.c"));
    ASSERT_EQ(doubles.boxes.shown.size(), 1u);
    EXPECT_EQ(doubles.boxes.shown[0].kind, RecordingMessageBoxes::Shown::Error);
    EXPECT_TRUE(doubles.boxes.shown[0].text.contains("bank1.bin"))
        << doubles.boxes.shown[0].text.toStdString();
    EXPECT_TRUE(doubles.dialogs.shown.empty());
}

TEST_F(UpdateDevice, ACutShortBuildIsWrittenButNeverFlashed) {
    WriteFile(Project() / "var.xml", "<TCP_TO_RTU><ROW DATA_TYPE=\"3\" TCP_ADDRESS=\"x\"/>");
    auto window = Start();
    window->findChild<QPushButton*>("CreateBin")->click();
    EXPECT_EQ(ReadFile(Project() / "bin" / "bank1.bin"), std::string(16384, '\0'));
    EXPECT_TRUE(fs::exists(Project() / "bin" / "bankg.c"));
    ASSERT_EQ(doubles.boxes.shown.size(), 1u);
    EXPECT_EQ(doubles.boxes.shown[0].kind, RecordingMessageBoxes::Shown::Error);
    EXPECT_TRUE(doubles.boxes.shown[0].text.contains("var.xml"))
        << doubles.boxes.shown[0].text.toStdString();
    EXPECT_TRUE(doubles.dialogs.shown.empty());
    EXPECT_TRUE(doubles.shell.started.empty());
}

// Without var.xml (and its editor off in Routing Mode) Update Device offers the empty table.
TEST_F(UpdateDevice, AProjectWithoutATableIsOfferedAnEmptyOneAndGoesOn) {
    fs::remove(Project() / "var.xml");
    PressExecuteWith(0);
    auto window = Start();
    for (bool yes : {false, true}) {
        doubles.boxes.answer = yes;
        window->findChild<QPushButton*>("CreateBin")->click();
        EXPECT_EQ(doubles.boxes.shown.back().kind, RecordingMessageBoxes::Shown::Question);
        EXPECT_EQ(fs::exists(Project() / "var.xml"), yes);
        EXPECT_EQ(doubles.dialogs.shown.size(), yes ? 1u : 0u);
    }
    EXPECT_EQ(doubles.boxes.shown.size(), 2u);
    // The table the editor writes when it holds no row, and a device updated with it.
    ASSERT_TRUE(WriteTranslateTable((app / "empty.xml").string(), {}));
    EXPECT_EQ(ReadFile(Project() / "var.xml"), ReadFile(app / "empty.xml"));
    EXPECT_EQ(doubles.shell.started.size(), 1u);
}

TEST_F(UpdateDevice, EmptyProjectFolderWritesNothing) {
    auto window = Start();
    window->workspace().ProjectFolder.clear(); // as a cancelled Open leaves it
    window->workspace().UpdateDocumentPaths();
    window->findChild<QPushButton*>("CreateBin")->click();
    EXPECT_EQ(doubles.boxes.texts(), QStringList{"Project not valid"});
    EXPECT_TRUE(doubles.dialogs.shown.empty());
    EXPECT_FALSE(fs::exists(Project() / "bin" / "bank1.bin"));
}

TEST_F(UpdateDevice, AMergeThatFailedNeverStartsTheTool) {
    std::string base = sample::SampleFirmwareText();
    base.insert(base.find("\r\n") + 2, "\r\n"); // a blank line ends the merge
    WriteFile(app / "MASTER" / "SX30418.sx", base);
    WriteFile(Project() / "New_SX30418.sx", "an older firmware");
    PressExecuteWith(0);
    auto window = Start();
    window->findChild<QPushButton*>("CreateBin")->click();
    EXPECT_EQ(doubles.boxes.texts(), QStringList{"File New Sx Not Create,Abort Procedure"});
    EXPECT_FALSE(doubles.boxes.shown[0].busyCursor); // shown in the middle of the merge
    EXPECT_TRUE(doubles.shell.started.empty());
    // The box keeps its words; the dialog's red line says where and why.
    EXPECT_EQ(window->findChild<QLabel*>("DisabledReason")->text(),
              "New_SX30418.sx was not written: line 2: blank line");
}

TEST_F(UpdateDevice, ANewFirmwareThatCannotBeReplacedIsLeftAsItWasAndNothingIsFlashed) {
    const fs::path target = Project() / "New_SX30418.sx";
    WriteFile(target, "a firmware the user keeps");
    fs::permissions(target, fs::perms::owner_read | fs::perms::group_read);
    PressExecuteWith(0);
    auto window = Start();
    window->findChild<QPushButton*>("CreateBin")->click();
    EXPECT_EQ(doubles.boxes.texts(),
              QStringList{QString::fromStdString(target.string() + ": Permission denied")});
    EXPECT_EQ(ReadFile(target), "a firmware the user keeps");
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::group_read);
    EXPECT_TRUE(doubles.shell.started.empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(Project()), fs::directory_iterator()),
              4); // pargen.xml, var.xml, bin and the kept firmware: no temporary left
    EXPECT_FALSE(fs::exists(Project() / "bin" / "Bin.sx"));
}

TEST_F(UpdateDevice, BaseWithoutTheWindowIsCopiedAndFlashedWithoutAWord) {
    std::string base = "S00600004844521B\r\nS1130000000102030405060708090A0B0C0D0E0F74\r\n";
    WriteFile(app / "MASTER" / "SX30418.sx", base);
    PressExecuteWith(0);
    auto window = Start();
    window->findChild<QPushButton*>("CreateBin")->click();
    EXPECT_TRUE(doubles.boxes.shown.empty());
    EXPECT_EQ(ReadFile(Project() / "New_SX30418.sx"), base);
    EXPECT_EQ(doubles.shell.started.size(), 1u);
}

// The dialog on its own, with a workspace the test sets.
class GenerateFirmware : public ::testing::Test {
protected:
    void SetUp() override {
        cwd_ = QDir::currentPath();
        workspace.AppFolder = app.str();
        workspace.MasterFolder = app.str() + "/MASTER";
        fs::create_directories(app / "MASTER");
        WriteFile(app / "MASTER" / "SX30418.sx", sample::SampleFirmwareText());
        WriteFile(app / "Progwerk.exe", "recorded, never run");
    }
    void TearDown() override { QDir::setCurrent(cwd_); }
    fs::path MakeProject(const std::string& name, bool withImage) {
        fs::path folder = app / "PROJECTS" / name;
        fs::create_directories(folder);
        if (withImage) {
            fs::create_directories(folder / "bin");
            WriteFile(folder / "bin" / "bank1.bin", std::string(16384, name[0]));
        }
        return folder;
    }
    QPushButton* Execute() { return dialog.findChild<QPushButton*>("LbButton2"); }

    TempDir app;
    Workspace workspace;
    RecordingServices doubles;
    TFModifyFileSx dialog{workspace, doubles.services()};
    QString cwd_;
};

TEST_F(GenerateFirmware, LaysOutItsControls) {
    workspace.ProjectFolder = MakeProject("a", true).string();
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Generate Firmware");
    EXPECT_EQ(dialog.size(), QSize(430, 224));
    EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(248, 247, 237));
    auto* close = dialog.findChild<QPushButton*>("LbButton1");
    EXPECT_EQ(close->text(), "X");
    EXPECT_EQ(close->geometry(), QRect(400, 3, 25, 17));
    EXPECT_EQ(Execute()->text(), "Execute update firmware");
    EXPECT_EQ(Execute()->geometry(), QRect(160, 142, 153, 23));
    auto* ports = dialog.findChild<QComboBox*>("cbport");
    EXPECT_EQ(ports->pos(), QPoint(328, 143));
    EXPECT_EQ(ports->width(), 89);
    EXPECT_FALSE(ports->isEditable());
    QStringList items;
    for (int i = 0; i < ports->count(); ++i)
        items << ports->itemText(i);
    EXPECT_EQ(items, (QStringList{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"}));
    EXPECT_EQ(dialog.findChild<QProgressBar*>("Avanzamento")->geometry(), QRect(8, 176, 417, 24));
    close->click();
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(GenerateFirmware, TheUpperPartSaysWhatItReadsAndWritesAndWhyItCannot) {
    const fs::path project = MakeProject(std::string(100, 'p') + "_end", true);
    workspace.ProjectFolder = project.string();
    dialog.show();
    auto label = [&](const char* name) { return dialog.findChild<QLabel*>(name); };
    const std::pair<const char*, std::string> paths[] = {
        {"ProjectPath", project.string()},
        {"BaseFirmwarePath", app.str() + "/MASTER/SX30418.sx"},
        {"NewFirmwarePath", project.string() + "/New_SX30418.sx"}};
    for (const auto& [name, path] : paths) {
        QLabel* shown = label(name);
        ASSERT_NE(shown, nullptr) << name;
        EXPECT_EQ(shown->toolTip().toStdString(), path);
        EXPECT_LE(shown->fontMetrics().horizontalAdvance(shown->text()), shown->width()) << name;
        // Elided in the middle: the start of the path and the file name stay.
        EXPECT_TRUE(shown->text().startsWith(QString::fromStdString(path.substr(0, 8)))) << name;
        EXPECT_TRUE(shown->text().endsWith(QString::fromStdString(path.substr(path.size() - 8))))
            << name;
    }
    EXPECT_TRUE(label("NewFirmwarePath")->text().contains(QChar(0x2026)));
    EXPECT_EQ(label("PortCaption")->buddy(), dialog.findChild<QComboBox*>("cbport"));
    EXPECT_TRUE(label("DisabledReason")->text().isEmpty());
    EXPECT_TRUE(Execute()->isEnabled());
    // Nothing new covers a placed control, and two rows stay free for later lines.
    for (QLabel* added : dialog.findChildren<QLabel*>()) {
        for (QWidget* placed :
             std::initializer_list<QWidget*>{Execute(), dialog.findChild<QPushButton*>("LbButton1"),
                                             dialog.findChild<QComboBox*>("cbport"),
                                             dialog.findChild<QProgressBar*>("Avanzamento")})
            EXPECT_FALSE(added->geometry().intersects(placed->geometry()))
                << added->objectName().toStdString();
        // The two rows at 72 and 88 hold the hashes of bank1.bin and the new firmware, or the
        // red line, never both at once.
        if (added->geometry().intersects(QRect(8, 72, 417, 32))) {
            EXPECT_TRUE(added->objectName().contains("Hash") ||
                        added->objectName() == "DisabledReason")
                << added->objectName().toStdString();
        }
    }
    const QRect report = dialog.findChild<QPushButton*>("SaveReportPdf")->geometry();
    for (QWidget* placed : std::initializer_list<QWidget*>{
             Execute(), dialog.findChild<QComboBox*>("cbport"),
             dialog.findChild<QProgressBar*>("Avanzamento"), label("DisabledReason")})
        EXPECT_FALSE(report.intersects(placed->geometry()));

    QTest::mouseClick(dialog.findChild<QPushButton*>("LbButton1"), Qt::LeftButton);
    fs::remove(app / "MASTER" / "SX30418.sx");
    dialog.show();
    EXPECT_FALSE(Execute()->isEnabled());
    QLabel* reason = label("DisabledReason");
    EXPECT_EQ(reason->text(),
              "\"Execute update firmware\" is off: SX30418.sx is missing from MASTER.");
    EXPECT_LE(reason->fontMetrics().horizontalAdvance(reason->text()), reason->width());
    EXPECT_EQ(doubles.boxes.texts(), QStringList{"Error file SX30418.sx not found"});
}

// The tool's one quoted Windows-1252 parameter cannot carry every path: the button stays off.
TEST_F(GenerateFirmware, APathTheFlashToolCannotBeGivenKeepsTheButtonOffAndSaysWhy) {
    const std::pair<std::string, const char*> folders[] = {
        {"q\"x", "double quote"},
        {"\xD0\xBD\xD0\xB0\xD1\x81", "outside Windows-1252"},
        {"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC", nullptr}}; // the last one it can carry
    for (const auto& [name, why] : folders) {
        workspace.ProjectFolder = MakeProject(name, true).string();
        dialog.show();
        const QString reason = dialog.findChild<QLabel*>("DisabledReason")->text();
        EXPECT_EQ(Execute()->isEnabled(), !why) << name;
        EXPECT_TRUE(why ? reason.contains(why) : reason.isEmpty()) << reason.toStdString();
        dialog.hide();
    }
}

TEST_F(GenerateFirmware, FieldsFollowTheProjectFolderWithOneSeparator) {
    fs::path project = MakeProject("a", true);
    workspace.ProjectFolder = project.string() + "/";
    dialog.show();
    EXPECT_EQ(dialog.OutDir, project.string() + "/");
    EXPECT_EQ(dialog.BinDir, project.string() + "//bin/"); // plain concatenation, as given
    EXPECT_EQ(dialog.BaseFileSx, "SX30418.sx");
    EXPECT_EQ(dialog.NewFileSxName, "New_SX30418.sx");
    EXPECT_TRUE(Execute()->isEnabled());
}

TEST_F(GenerateFirmware, AProjectWithoutBinNeverTakesAnotherProjectsImage) {
    workspace.ProjectFolder = MakeProject("a", true).string();
    dialog.show();
    dialog.hide();
    fs::path second = MakeProject("b", false);
    workspace.ProjectFolder = second.string();
    dialog.show();
    EXPECT_EQ(dialog.BinDir, "");
    Execute()->click();
    EXPECT_EQ(doubles.boxes.texts(), QStringList{"Directory Bin Not Found,Abort Procedure"});
    EXPECT_FALSE(fs::exists(second / "New_SX30418.sx"));
    EXPECT_TRUE(doubles.shell.started.empty());
}

TEST_F(GenerateFirmware, EmptyProjectFolderKeepsTheButtonDisabled) {
    workspace.ProjectFolder = "";
    dialog.show();
    EXPECT_FALSE(Execute()->isEnabled());
    EXPECT_EQ(dialog.BinDir, "");
    EXPECT_TRUE(doubles.boxes.shown.empty());
}

TEST_F(GenerateFirmware, RemovesTheBankLeftoversBesideTheNewFirmware) {
    fs::path project = MakeProject("a", true);
    workspace.ProjectFolder = project.string();
    for (int bank = 1; bank <= 5; bank += 2)
        WriteFile(project / ("\xC2\xB0"
                             "B" +
                             std::to_string(bank) + "\xC2\xB0.sx"),
                  "old");
    WriteFile(project / "keep.sx", "mine");
    dialog.show();
    Execute()->click();
    for (int bank = 1; bank <= 5; ++bank)
        EXPECT_FALSE(fs::exists(project / ("\xC2\xB0"
                                           "B" +
                                           std::to_string(bank) + "\xC2\xB0.sx")));
    EXPECT_TRUE(fs::exists(project / "keep.sx"));
    EXPECT_TRUE(fs::exists(project / "New_SX30418.sx"));
}

TEST_F(GenerateFirmware, AToolThatCannotStartIsReported) {
    workspace.ProjectFolder = MakeProject("a", true).string();
    doubles.shell.startSucceeds = false;
    dialog.show();
    Execute()->click();
    ASSERT_EQ(doubles.boxes.shown.size(), 1u);
    EXPECT_EQ(doubles.boxes.shown[0].kind, RecordingMessageBoxes::Shown::Error);
    EXPECT_TRUE(doubles.boxes.shown[0].text.startsWith("Progwerk.exe could not be started"));
}

// The whole road with the real shell and the real flash tool: the firmware reaches the line.
TEST_F(UpdateDevice, TheRealFlashToolSendsTheNewFirmwareToTheSerialLine) {
    ASSERT_EQ(::access("/usr/bin/socat", X_OK), 0) << "socat is needed (scripts/install-deps.sh)";
    fs::remove(app / "Progwerk.exe");
    fs::copy_file(fs::path(FABRICOR_APP_DIR) / kFlashToolFileName, app / kFlashToolFileName);
    test_support::SocatLine line(app.path());
    ASSERT_TRUE(line.ready()) << line.said();
    ASSERT_TRUE(line.open());
    ASSERT_TRUE(WriteIniValue(app / "Progwerk.ini", "ports", "COM2", line.device().string()));

    SystemShell shell;
    Services services = doubles.services();
    services.shell = &shell;
    PressExecuteWith(1);
    TFFabricoreFirmWare window(QString::fromStdString(app.str() + "/fabricor"), services);
    window.findChild<QPushButton*>("CreateBin")->click();
    EXPECT_TRUE(doubles.boxes.shown.empty()) << doubles.boxes.texts().join("|").toStdString();

    std::string firmware = ReadFile(Project() / "New_SX30418.sx");
    ASSERT_GT(firmware.size(), 0u);
    std::string received =
        line.Gather([&](const std::string& got) { return got.size() >= firmware.size(); });
    EXPECT_EQ(received.size(), firmware.size());
    EXPECT_TRUE(received == firmware);
}

} // namespace
} // namespace fabricor
