#include "front/shell/ping_dialog.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace fabricor {
namespace {

TEST(PingDialog, EachResultShowsOnlyItsPictureWithItsTexts) {
    TFPing dialog;
    dialog.ShowPingResult(PingResultKind::Found);
    EXPECT_FALSE(dialog.I_P_F->isHidden());
    EXPECT_TRUE(dialog.I_P_NF->isHidden());
    EXPECT_TRUE(dialog.I_P_E->isHidden());
    EXPECT_EQ(dialog.windowTitle(), "Ping! Device Found!");
    EXPECT_EQ(dialog.Label1->text(), "Device Found!");

    dialog.ShowPingResult(PingResultKind::NotFound);
    EXPECT_TRUE(dialog.I_P_F->isHidden());
    EXPECT_FALSE(dialog.I_P_NF->isHidden());
    EXPECT_EQ(dialog.windowTitle(), "Ping! Device Not Found!");
    EXPECT_EQ(dialog.Label1->text(), "Device Not Found!");

    // A found result followed by an error leaves only the error picture.
    dialog.ShowPingResult(PingResultKind::Found);
    dialog.ShowPingResult(PingResultKind::Error);
    EXPECT_TRUE(dialog.I_P_F->isHidden());
    EXPECT_TRUE(dialog.I_P_NF->isHidden());
    EXPECT_FALSE(dialog.I_P_E->isHidden());
    EXPECT_EQ(dialog.windowTitle(), "Ping! Error!!!");
    EXPECT_EQ(dialog.Label1->text(), "Error!!! Check the Ip Address");
}

TEST(PingDialog, LayoutAndNames) {
    TFPing dialog;
    // 98 high; 250 wide, or wider where a title bar would cut a caption beside its buttons.
    EXPECT_EQ(dialog.height(), 98);
    QFont title = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    title.setBold(true);
    for (const char* caption : {"Ping! Device Found!", "Ping! Device Not Found!", "Ping! Error!!!"})
        EXPECT_GE(dialog.width(), QFontMetrics(title).horizontalAdvance(caption) + 100) << caption;
    for (QLabel* picture : {dialog.I_P_F, dialog.I_P_NF, dialog.I_P_E}) {
        EXPECT_EQ(picture->geometry(), QRect(16, 16, 41, 41)) << picture->objectName().toStdString();
        EXPECT_FALSE(picture->pixmap().isNull());
    }
    EXPECT_EQ(dialog.findChild<QLabel*>("I_P_F"), dialog.I_P_F);
    EXPECT_EQ(dialog.findChild<QLabel*>("I_P_NF"), dialog.I_P_NF);
    EXPECT_EQ(dialog.findChild<QLabel*>("I_P_E"), dialog.I_P_E);
    EXPECT_EQ(dialog.Label1->pos(), QPoint(64, 24));
    EXPECT_EQ(dialog.Label1->width(), 185);
    EXPECT_EQ(dialog.LbButton1->geometry(), QRect(64, 64, 121, 23));
    EXPECT_EQ(dialog.LbButton1->text(), "OK");
    EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(248, 247, 237));
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
}

TEST(PingDialog, OkClosesTheModalDialog) {
    TFPing dialog;
    dialog.ShowPingResult(PingResultKind::Found);
    QTimer::singleShot(0, dialog.LbButton1, &QPushButton::click);
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
}

} // namespace
} // namespace fabricor
