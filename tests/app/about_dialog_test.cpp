#include "front/shell/about_dialog.h"

#include "base/version.h"
#include "front/shell/main_window.h"
#include "support/recording_seams.h"
#include "support/temp_dir.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::RecordingServices;

TEST(AboutBox, ShowsTheProductIdentityWhereTheLayoutPutsIt) {
    test_support::RecordingShell shell;
    TFAbout2 about(shell);
    about.show();
    EXPECT_EQ(about.windowTitle(), "About...");
    EXPECT_EQ(about.size(), QSize(391, 145));
    EXPECT_EQ(about.palette().color(QPalette::Window), QColor(248, 247, 237));
    struct Text {
        const char* name;
        QString text;
        QPoint place;
    };
    for (const Text& t : {
             Text{"Label1", "Software Fabricor", {120, 23}},
             Text{"Label2", "Gateway Modbus TCP Slave to RTU Master", {120, 39}},
             Text{"Label3", "Software Code :", {120, 61}},
             Text{"Label8", "SW30418", {240, 61}},
             Text{"Label6", "Version :", {120, 77}},
             Text{"Label9", "2.200", {240, 77}},
             Text{"Label7", "Document Code :", {120, 93}},
             Text{"Label10", "MN30418", {240, 93}},
             Text{"Label4", "fabricor.example", {280, 132}},
             // The program's release, on the free row below; the fixed version stays.
             Text{"LabelRelease", "Release :", {120, 109}},
             Text{"LabelReleaseNumber", ProgramVersion(), {240, 109}},
         }) {
        auto* label = about.findChild<QLabel*>(t.name);
        ASSERT_NE(label, nullptr) << t.name;
        EXPECT_EQ(label->text(), t.text) << t.name;
        EXPECT_EQ(label->pos(), t.place) << t.name;
        // Every text must be readable in full inside the box.
        EXPECT_LE(label->geometry().right(), about.width()) << t.name;
    }
    for (const char* neighbour : {"Label7", "Label10", "Label4"})
        for (const char* added : {"LabelRelease", "LabelReleaseNumber"})
            EXPECT_FALSE(about.findChild<QLabel*>(added)->geometry().intersects(
                about.findChild<QLabel*>(neighbour)->geometry()))
                << added << " over " << neighbour;
    auto* title = about.findChild<QLabel*>("Label1");
    EXPECT_TRUE(title->font().bold());
    EXPECT_EQ(title->font().pointSize(), 10);
    EXPECT_TRUE(about.findChild<QLabel*>("Label4")->font().underline());
    auto* logo = about.findChild<QLabel*>("Image2");
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->geometry(), QRect(32, 24, 81, 81));
    auto* ok = about.findChild<QPushButton*>("LbButton1");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_EQ(ok->geometry(), QRect(32, 115, 81, 22));
}

TEST(AboutBox, LogoAndWebAddressOpenTheSamePageAndOkCloses) {
    test_support::RecordingShell shell;
    TFAbout2 about(shell);
    about.show();
    QTest::mouseClick(about.findChild<QLabel*>("Image2"), Qt::LeftButton);
    QTest::mouseClick(about.findChild<QLabel*>("Label4"), Qt::LeftButton);
    ASSERT_EQ(shell.opened.size(), 2);
    EXPECT_EQ(shell.opened[0], shell.opened[1]);
    EXPECT_TRUE(shell.opened[0].startsWith("https://www.fabricor.example/"));
    EXPECT_TRUE(about.isVisible()); // a link leaves the box open
    about.findChild<QPushButton*>("LbButton1")->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(AboutBox, LogoIsBlackAndWhite) {
    QImage logo = FabricorLogo(81).toImage();
    int black = 0, white = 0;
    for (int y = 0; y < logo.height(); ++y)
        for (int x = 0; x < logo.width(); ++x) {
            QColor c = logo.pixelColor(x, y);
            EXPECT_TRUE(c.red() == c.green() && c.green() == c.blue()) << x << "," << y;
            (c.red() < 128 ? black : white)++;
        }
    EXPECT_GT(black, 81 * 81 / 3);
    EXPECT_GT(white, 81 * 81 / 10);
}

TEST(AboutBox, TheMainWindowsAboutButtonShowsIt) {
    test_support::TempDir app;
    RecordingServices doubles;
    bool okPressed = false;
    doubles.dialogs.scripts["TFAbout2"] = [&](QDialog& dialog) {
        dialog.findChild<QPushButton*>("LbButton1")->click();
        okPressed = dialog.result() == QDialog::Accepted;
    };
    TFFabricoreFirmWare window(QString::fromStdString(app.str() + "/fabricor"), doubles.services());
    window.findChild<QPushButton*>("about")->click();
    EXPECT_EQ(doubles.dialogs.shown, QStringList{"TFAbout2"});
    EXPECT_TRUE(okPressed);
}

} // namespace
} // namespace fabricor
