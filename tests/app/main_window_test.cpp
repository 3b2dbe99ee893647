#include "front/shell/main_window.h"

#include "base/settings_file.h"
#include "support/recording_seams.h"
#include "support/temp_dir.h"

#include <QDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::RecordingServices;
using test_support::TempDir;
using test_support::WriteFile;
namespace fs = std::filesystem;

// Paths are joined with the system's separator ("\\" on Windows).
const std::string S(1, kSeparator);

class MainWindow : public ::testing::Test {
protected:
    QString Exe() const { return QString::fromStdString(app.str() + S + "fabricor"); }
    void StoreName(const std::string& name) {
        ASSERT_TRUE(WriteIniValue(app / "Fabricor.ini", "lastproj", "projectname", name));
    }
    std::unique_ptr<TFFabricoreFirmWare> Start() {
        return std::make_unique<TFFabricoreFirmWare>(Exe(), doubles.services());
    }
    template <typename T = QPushButton> static T* Find(QWidget& window, const char* name) {
        T* found = window.findChild<T*>(name, Qt::FindDirectChildrenOnly);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    TempDir app;
    RecordingServices doubles;
};

TEST_F(MainWindow, ControlsSitWhereTheWorkflowPutsThem) {
    auto window = Start();
    window->show();
    struct Place {
        const char* name;
        QString text;
        QRect rect;
    };
    for (const Place& p : {
             Place{"New", "New project", {80, 36, 146, 26}},
             Place{"open", "Open project", {232, 36, 146, 26}},
             Place{"btn_Prm_Gen", "General Parameter", {80, 80, 146, 26}},
             Place{"Btn_Ping", "Ping Device", {232, 80, 146, 26}},
             Place{"btn_Translate", "Translate Table", {80, 124, 146, 26}},
             Place{"CreateBin", "Update Device", {80, 168, 146, 26}},
             Place{"about", "", {493, 21, 21, 19}},
             Place{"LbButton1", "X", {520, 21, 21, 19}},
         }) {
        QPushButton* button = Find(*window, p.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), p.text) << p.name;
        EXPECT_EQ(button->geometry(), p.rect) << p.name;
        EXPECT_TRUE(button->isVisible()) << p.name;
    }
    EXPECT_EQ(Find(*window, "about")->toolTip(), "About");

    auto* edit = Find<QLineEdit>(*window, "Edit1");
    EXPECT_EQ(edit->text(), "0.0.0.0");
    EXPECT_EQ(edit->geometry(), QRect(384, 83, 113, 19));

    int tops[] = {47, 91, 135, 179};
    for (int step = 1; step <= 4; ++step) {
        auto name = QStringLiteral("Label%1").arg(step).toLatin1();
        auto* label = Find<QLabel>(*window, name.constData());
        EXPECT_EQ(label->text(), QStringLiteral("Step %1").arg(step));
        EXPECT_EQ(label->pos(), QPoint(16, tops[step - 1]));
        EXPECT_TRUE(label->font().bold());
    }
    auto* link = Find<QLabel>(*window, "Label6");
    EXPECT_EQ(link->text(), "fabricor.example");
    EXPECT_EQ(link->pos(), QPoint(425, 181));
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);

    auto* status = Find<QLabel>(*window, "Labelstate");
    EXPECT_FALSE(status->isVisible());

    EXPECT_EQ(window->frameGeometry().size(), QSize(574, 233));
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(248, 247, 237));
    EXPECT_EQ(window->palette().color(QPalette::WindowText), QColor(51, 51, 51));
    // Verdana; where it is missing, the condensed face really drawn, not the system's fallback.
    EXPECT_EQ(window->font().families(), (QStringList{"Verdana", "DejaVu Sans Condensed"}));
    const QString face = QFontDatabase::hasFamily("Verdana") ? "Verdana" : "DejaVu Sans Condensed";
    EXPECT_EQ(QFontMetrics(window->font()).horizontalAdvance("Update Device"),
              QFontMetrics(QFont(face, 8)).horizontalAdvance("Update Device"));
    EXPECT_EQ(window->font().pointSize(), 8);
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::Tool));
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowCloseButtonHint));
}

// The start-up rules themselves (stored names, deleted projects, the MODE table) are the
// workspace's and tested there; the window shows what they give and stores the name on close.
TEST_F(MainWindow, ShowsTheTitleAndTranslateStateTheStartUpGives) {
    fs::create_directories(app / "PROJECTS" / "pump");
    StoreName("pump");
    WriteFile(app / "PROJECTS" / "pump" / "pargen.xml",
              "<General_Parameter><MODE>0</MODE></General_Parameter>");
    auto routing = Start();
    EXPECT_EQ(routing->windowTitle().toStdString(), std::string(ProductCaption) + " : " + S + "pump");
    EXPECT_EQ(routing->workspace().ProjectFolder, app.str() + S + "PROJECTS" + S + "pump");
    EXPECT_FALSE(Find(*routing, "btn_Translate")->isEnabled());

    // A document that gives no state leaves the command as it starts: enabled.
    WriteFile(app / "PROJECTS" / "pump" / "pargen.xml", "<General_Parameter><MODE>0");
    EXPECT_TRUE(Find(*Start(), "btn_Translate")->isEnabled());
}

TEST_F(MainWindow, CloseStoresTheProjectNameAndEndsTheProgram) {
    StoreName(S + "gone");
    {
        auto window = Start();
        EXPECT_EQ(window->windowTitle(), ProductCaption);
        window->show();
        int closed = 0;
        QObject::connect(window.get(), &TFFabricoreFirmWare::closed, [&] { ++closed; });
        Find(*window, "LbButton1")->click();
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(closed, 1); // what ends the program
    }
    EXPECT_EQ(ReadIniValue(app / "Fabricor.ini", "lastproj", "projectname"), S + "gone");
    EXPECT_TRUE(doubles.boxes.shown.empty());
}

TEST_F(MainWindow, EmptyProjectFolderBlocksTheThreeProjectCommands) {
    auto window = Start();
    window->workspace().ProjectFolder.clear(); // as a cancelled Open leaves it
    for (const char* name : {"btn_Prm_Gen", "btn_Translate", "Btn_Ping"}) {
        doubles.boxes.shown.clear();
        Find(*window, name)->click();
        ASSERT_EQ(doubles.boxes.shown.size(), 1u) << name;
        EXPECT_EQ(doubles.boxes.shown[0].kind, test_support::RecordingMessageBoxes::Shown::Plain);
        EXPECT_EQ(doubles.boxes.shown[0].text, "Project not valid");
    }
    EXPECT_TRUE(doubles.dialogs.shown.empty());
}

TEST_F(MainWindow, DisabledTranslateTableIgnoresClicks) {
    auto window = Start();
    window->workspace().ProjectFolder.clear();
    window->SetTranslateEnabled(false);
    Find(*window, "btn_Translate")->click();
    EXPECT_TRUE(doubles.boxes.shown.empty());
    EXPECT_TRUE(doubles.dialogs.shown.empty());
}

TEST_F(MainWindow, PingAddressBoxIsPlainTextSetByTheEditor) {
    auto window = Start();
    window->SetPingAddress("192.168.0.99");
    EXPECT_EQ(Find<QLineEdit>(*window, "Edit1")->text(), "192.168.0.99");
    Find<QLineEdit>(*window, "Edit1")->setText("not an address");
    EXPECT_EQ(window->PingAddress(), "not an address");
}

TEST_F(MainWindow, WebLinkOpensTheProductPage) {
    auto window = Start();
    window->show();
    auto* link = Find<QLabel>(*window, "Label6");
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_EQ(doubles.shell.opened, QStringList{"https://www.fabricor.example/sw30418"});
}

TEST_F(MainWindow, DialogsAreCreatedOnceInTheirFixedOrder) {
    auto window = Start();
    const QStringList order{"TFsaveproj", "TFModifyFileSx", "TFpargen",
                            "TFSetVar",   "TFPing",         "TFAbout2"};
    QStringList created;
    for (QDialog* dialog : window->findChildren<QDialog*>(Qt::FindDirectChildrenOnly))
        created << dialog->objectName();
    for (const char* always : {"TFsaveproj", "TFModifyFileSx", "TFPing", "TFAbout2"})
        EXPECT_EQ(created.count(always), 1) << always;
    int last = -1;
    for (const QString& name : created) {
        int at = order.indexOf(name);
        EXPECT_GT(at, last) << name.toStdString() << " out of order";
        last = at;
    }
}

TEST_F(MainWindow, SettingsThatCannotBeWrittenAreToldAndTheWindowStillCloses) {
    fs::create_directories(app / "Fabricor.ini"); // a folder where the file should be
    auto window = Start();
    window->show();
    Find(*window, "LbButton1")->click();
    EXPECT_FALSE(window->isVisible());
    // Told at start-up why nothing was restored, and at close that nothing was saved.
    EXPECT_EQ(
        doubles.boxes.texts(),
        (QStringList{
            QString::fromStdString(app.str() + S + "Fabricor.ini: not a regular file (a folder)"),
            QString::fromStdString("Unable to write to " + app.str() + S + "Fabricor.ini")}));
}

} // namespace
} // namespace fabricor
