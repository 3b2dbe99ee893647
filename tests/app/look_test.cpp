#include "front/shell/main_window.h"

#include "front/editors/general_parameter_dialog.h"
#include "front/editors/grid.h"
#include "front/editors/grid_inplace_edit.h"
#include "front/editors/translate_table_dialog.h"
#include "style/style.h"
#include "support/recording_seams.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::RecordingServices;
using test_support::TempDir;
namespace fs = std::filesystem;

// The program's own message boxes, shown without a modal loop: each is opened, measured against
// the window it belongs to, and closed.
class MeasuredMessageBoxes final : public MessageBoxes {
public:
    struct Shown {
        QString caption;
        QRect box;
        int width;
    };
    void Plain(QWidget* parent, const QString& text) override {
        Show(QMessageBox::NoIcon, kApplicationTitle, text, parent);
    }
    void Error(QWidget* parent, const QString& text) override {
        Show(QMessageBox::Critical, QStringLiteral("Error"), text, parent);
    }
    bool Question(QWidget* parent, const QString& text) override {
        Show(QMessageBox::Question, kApplicationTitle, text, parent);
        return false;
    }
    std::vector<Shown> shown;

private:
    void Show(QMessageBox::Icon icon, const QString& caption, const QString& text,
              QWidget* parent) {
        auto box = MakeMessageBox(icon, caption, text, parent);
        box->show();
        shown.push_back({caption, box->frameGeometry(), box->width()});
        box->close();
    }
};

class Look : public ::testing::Test {
protected:
    std::unique_ptr<TFFabricoreFirmWare> Start(Services services) {
        auto window = std::make_unique<TFFabricoreFirmWare>(
            QString::fromStdString(app.str() + "/fabricor"), services);
        window->show();
        QApplication::setActiveWindow(window.get());
        return window;
    }
    static int TitleWidth(const QString& caption) {
        QFont title = QFontDatabase::systemFont(QFontDatabase::TitleFont);
        title.setBold(true);
        return QFontMetrics(title).horizontalAdvance(caption);
    }
    TempDir app;
    RecordingServices doubles;
};

TEST_F(Look, KeyboardFocusShowsOnEveryPushButton) {
    auto window = Start(doubles.services());
    std::vector<QWidget*> windows{window.get()};
    for (QDialog* dialog : window->findChildren<QDialog*>(QString(), Qt::FindDirectChildrenOnly))
        windows.push_back(dialog);
    int checked = 0;
    for (QWidget* shown : windows) {
        shown->show();
        QApplication::setActiveWindow(shown);
        for (QPushButton* button : shown->findChildren<QPushButton*>()) {
            if (!button->isVisible() || !button->isEnabled())
                continue;
            button->clearFocus();
            const QImage plain = button->grab().toImage();
            button->setFocus(Qt::TabFocusReason);
            ASSERT_TRUE(button->hasFocus()) << button->objectName().toStdString();
            EXPECT_NE(button->grab().toImage(), plain)
                << shown->objectName().toStdString() << " " << button->objectName().toStdString();
            ++checked;
        }
        if (shown != window.get())
            shown->hide();
    }
    EXPECT_GE(checked, 14);
    // Tab walks the main window's buttons, and the one it reaches shows it.
    QApplication::setActiveWindow(window.get());
    auto* open = window->findChild<QPushButton*>("open");
    window->findChild<QPushButton*>("New")->setFocus(Qt::TabFocusReason);
    const QImage before = open->grab().toImage();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), open);
    EXPECT_NE(open->grab().toImage(), before);
}

TEST_F(Look, MessageBoxesOpenCentredOnTheirWindowAndShowTheirCaptionWhole) {
    MeasuredMessageBoxes boxes;
    Services services = doubles.services();
    services.boxes = &boxes;
    fs::create_directories(app / "PROJECTS");
    test_support::WriteFile(app / "PROJECTS" / "pargen.xml", "<General_Parameter>");
    auto window = Start(services);
    // The show step's parser message, over General Parameter.
    QTest::mouseClick(window->findChild<QPushButton*>("btn_Prm_Gen"), Qt::LeftButton);
    // The top-level handler's, over the main window: no bin folder for the image.
    QTest::mouseClick(window->findChild<QPushButton*>("CreateBin"), Qt::LeftButton);
    // A plain box with a short text.
    window->workspace().ProjectFolder.clear();
    QTest::mouseClick(window->findChild<QPushButton*>("Btn_Ping"), Qt::LeftButton);

    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[2].caption, kApplicationTitle);
    // Where the windows stand once shown, not only where they were when the box opened.
    const QRect owners[] = {window->Fpargen()->frameGeometry(), window->frameGeometry(),
                            window->frameGeometry()};
    for (size_t i = 0; i < boxes.shown.size(); ++i) {
        const auto& box = boxes.shown[i];
        EXPECT_LE((box.box.center() - owners[i].center()).manhattanLength(), 2) << i;
        // The caption beside a title bar's icon and three buttons.
        EXPECT_GE(box.width, TitleWidth(box.caption) + 100) << box.caption.toStdString();
    }
}

TEST_F(Look, TitlesAndKindNamesFitTheTranslateTableColumns) {
#ifdef _WIN32
    GTEST_SKIP() << "the widths are measured with the system's Verdana, which Wine does not have";
#endif
    auto window = Start(doubles.services());
    TFSetVar& dialog = *window->FSetVar();
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    TApplegrid& grid = dialog.sga();
    for (int col = 1; col < grid.ColCount(); ++col) {
        const auto look = grid.LookOf(col, 0);
        // Drawn 2 pixels in from the left, and it must end 3 before the right edge.
        EXPECT_LE(QFontMetrics(look.font).horizontalAdvance(look.text) + 5, grid.ColWidths(col))
            << look.text.toStdString();
    }
    // "Holding Register" chosen from the list shows whole beside the drop-down button.
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_F2);
    auto* editor = grid.InplaceEditor();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_Down, Qt::AltModifier);
    QTest::keyClicks(editor, "Ho");
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_EQ(editor->text(), "Holding Register");
    const int textArea = editor->width() - editor->DropDownButton()->width();
    EXPECT_LE(QFontMetrics(editor->font()).horizontalAdvance(editor->text()) + 2, textArea);
    EXPECT_LE(QFontMetrics(grid.LookOf(1, 1).font).horizontalAdvance("Holding Register") + 5,
              grid.ColWidths(1));
    // Every push button's caption fits inside its frame.
    std::vector<QWidget*> windows{window.get()};
    for (QDialog* d : window->findChildren<QDialog*>(QString(), Qt::FindDirectChildrenOnly))
        windows.push_back(d);
    for (QWidget* shown : windows)
        for (QPushButton* button : shown->findChildren<QPushButton*>())
            EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()) + 4, button->width())
                << button->objectName().toStdString();
}

} // namespace
} // namespace fabricor
