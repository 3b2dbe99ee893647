#include "front/editors/grid.h"

#include "front/editors/grid_inplace_edit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>
#include <QWindow>
#include <gtest/gtest.h>

namespace fabricor {
namespace {

const QStringList kKinds{"Coil Status", "Input Status", "Holding Register", "Input Register"};

TEST(ApplegridRows, RowCountMinOnlyEverAddsRows) {
    TApplegrid grid;
    EXPECT_EQ(grid.RowCount(), 2);
    grid.SetRowCountMin(2001);
    EXPECT_EQ(grid.RowCount(), 2001);
    grid.SetRowCountMin(5);
    EXPECT_EQ(grid.RowCountMin(), 5);
    EXPECT_EQ(grid.RowCount(), 2001);
    grid.SetRowCountMin(-3);
    EXPECT_EQ(grid.RowCountMin(), 0);
    EXPECT_EQ(grid.RowCount(), 2001);
    grid.SetRowCount(3);
    EXPECT_EQ(grid.RowCount(), 3);
}

TEST(ApplegridRows, CellsKeepTheirTextsAcrossColumnChanges) {
    TApplegrid grid;
    grid.SetColCount(4);
    grid.SetRowCount(4);
    grid.SetCells(2, 3, "b");
    grid.SetCells(3, 1, "gone");
    grid.SetColCount(3);
    EXPECT_EQ(grid.Cells(2, 3), "b");
    EXPECT_EQ(grid.Cells(3, 1), "");
    grid.SetColCount(5);
    EXPECT_EQ(grid.Cells(2, 3), "b");
    EXPECT_EQ(grid.Cells(4, 3), "");
    grid.ClearCells();
    EXPECT_EQ(grid.Cells(2, 3), "");
}

TEST(ApplegridColumns, DescriptionsFollowTheGridUntilSet) {
    TApplegrid grid;
    grid.SetColCount(4);
    ASSERT_EQ(grid.Columns().Count(), 4);
    grid.SetColCount(3);
    EXPECT_EQ(grid.Columns().Count(), 3);

    grid.SetColor(Qt::yellow);
    grid.Columns()[2].SetColor(Qt::cyan);
    grid.SetColor(Qt::green);
    EXPECT_EQ(grid.Columns()[1].Color(), QColor(Qt::green));
    EXPECT_EQ(grid.Columns()[2].Color(), QColor(Qt::cyan));

    QFont big = grid.font();
    big.setPixelSize(17);
    grid.setFont(big);
    EXPECT_EQ(grid.Columns()[1].Font().pixelSize(), 17);
    EXPECT_EQ(grid.Columns()[1].Title().Font().pixelSize(), 17);

    EXPECT_TRUE(grid.Columns()[1].ReadOnly()); // editing is off
    grid.SetGridOptions(grid.GridOptions() | TApplegrid::Editing);
    EXPECT_FALSE(grid.Columns()[1].ReadOnly());
    grid.Columns()[2].SetReadOnly(true);
    EXPECT_TRUE(grid.Columns()[2].ReadOnly());
    EXPECT_EQ(grid.Columns()[1].DropDownRows(), 7);
    EXPECT_EQ(grid.Columns()[1].Alignment(), Qt::AlignLeft);
}

TEST(ApplegridPainting, TitlesFixedCellsAndColumnColours) {
    TApplegrid grid;
    grid.SetColCount(3);
    grid.SetRowCount(3);
    grid.SetColor(QColor(0xF8, 0xF7, 0xED));
    grid.SetFixedColor(QColor(0x10, 0x20, 0x30));
    grid.SetCells(1, 0, "own text");
    grid.SetCells(2, 0, "hidden");
    grid.Columns()[2].Title().SetCaption("Caption");
    grid.Columns()[2].SetColor(QColor(0xE0, 0xFA, 0xFE));
    EXPECT_EQ(grid.LookOf(1, 0).text, "own text");
    EXPECT_EQ(grid.LookOf(2, 0).text, "Caption");
    EXPECT_EQ(grid.LookOf(0, 1).background, QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(grid.LookOf(2, 0).background, QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(grid.LookOf(2, 2).background, QColor(0xE0, 0xFA, 0xFE));

    grid.resize(300, 120);
    grid.show();
    QImage shot = grid.grab().toImage();
    const QRect cell = grid.CellRect(2, 2).translated(grid.viewport()->pos());
    EXPECT_EQ(QColor(shot.pixel(cell.center())), QColor(0xE0, 0xFA, 0xFE));
    EXPECT_EQ(QColor(shot.pixel(5, 5)), QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(QColor(shot.pixel(4, grid.viewport()->pos().y() + 22)), QColor(0x10, 0x20, 0x30));
}

TEST(ApplegridPainting, TheFocusedCellKeepsTheGridsColoursAndTakesTheColumnsFace) {
    QWidget window;
    auto* grid = new TApplegrid(&window);
    auto* other = new QLineEdit(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(grid);
    layout->addWidget(other);
    grid->SetColCount(3);
    grid->SetRowCount(3);
    grid->SetColor(Qt::white);
    QFont face(QStringLiteral("DejaVu Serif"));
    face.setPixelSize(15);
    face.setBold(true);
    grid->Columns()[1].SetColor(Qt::blue);
    grid->Columns()[1].SetFont(face);
    window.show();
    QApplication::setActiveWindow(&window);
    grid->setFocus();
    grid->SetCurrentCell(1, 1);
    auto focused = grid->LookOf(1, 1);
    EXPECT_EQ(focused.background, QColor(Qt::white));
    EXPECT_EQ(focused.font.family(), face.family());
    EXPECT_EQ(focused.font.pixelSize(), 15);
    EXPECT_FALSE(focused.font.bold());
    EXPECT_EQ(grid->LookOf(1, 2).background, QColor(Qt::blue));
    EXPECT_TRUE(grid->LookOf(1, 2).font.bold());
    other->setFocus();
    EXPECT_EQ(grid->LookOf(1, 1).background, QColor(Qt::blue));
}

// The extent of dark (text) pixels inside a rectangle of an image.
QRect InkIn(const QImage& image, const QRect& area) {
    QRect ink;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                ink |= QRect(x, y, 1, 1);
    return ink;
}

TEST(ApplegridPainting, TextStartsTwoPixelsInAndEndsThreeBeforeTheRightEdge) {
    TApplegrid grid;
    grid.SetColCount(3);
    grid.SetRowCount(3);
    grid.SetColor(Qt::white);
    grid.SetFixedColor(Qt::white);
    QPalette black = grid.palette();
    black.setColor(QPalette::Text, Qt::black);
    grid.setPalette(black);
    grid.SetCells(1, 1, "8888");
    grid.SetCells(2, 1, "8888");
    grid.Columns()[2].SetAlignment(Qt::AlignRight);
    grid.SetColWidths(1, 90);
    grid.SetColWidths(2, 90);
    grid.resize(300, 120);
    grid.show();
    const QImage shot = grid.grab().toImage();
    const QPoint offset = grid.viewport()->pos();
    // The grid line is not part of the cell.
    const QRect left = grid.CellRect(1, 1).translated(offset).adjusted(0, 0, -1, -1);
    const QRect right = grid.CellRect(2, 1).translated(offset).adjusted(0, 0, -1, -1);
    const QRect leftInk = InkIn(shot, left);
    const QRect rightInk = InkIn(shot, right);
    ASSERT_FALSE(leftInk.isNull());
    ASSERT_FALSE(rightInk.isNull());
    EXPECT_GE(leftInk.left(), left.left() + 2);
    EXPECT_LE(leftInk.left(), left.left() + 4);
    EXPECT_GE(leftInk.top(), left.top() + 2);
    EXPECT_LE(rightInk.right(), right.right() - 3);
    EXPECT_GE(rightInk.right(), right.right() - 5);
}

TEST(ApplegridColumns, TheUserResizesColumnsIncludingTheFixedOne) {
    TApplegrid grid;
    grid.SetColCount(3);
    grid.SetGridOptions(grid.GridOptions() | TApplegrid::ColumnSizing);
    grid.resize(300, 120);
    grid.show();
    auto* corner = grid.findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(corner, nullptr);
    ASSERT_EQ(corner->width(), 64);
    QTest::mousePress(corner, Qt::LeftButton, {}, QPoint(62, 5));
    QMouseEvent drag(QEvent::MouseMove, QPointF(90, 5), corner->mapToGlobal(QPointF(90, 5)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(corner, &drag);
    QTest::mouseRelease(corner, Qt::LeftButton, {}, QPoint(90, 5));
    EXPECT_EQ(grid.ColWidths(0), 90);
    // A press away from the grip resizes nothing and selects nothing.
    QTest::mouseClick(corner, Qt::LeftButton, {}, QPoint(10, 5));
    EXPECT_EQ(grid.ColWidths(0), 90);
    EXPECT_EQ(grid.selectionModel()->selectedIndexes().size(), 1);
    // The other columns through the title row.
    EXPECT_EQ(grid.horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
}

class ApplegridEditing : public ::testing::Test {
protected:
    ApplegridEditing() {
        grid = new TApplegrid(&window);
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(grid);
        layout->addWidget(new QLineEdit(&window));
        grid->SetColCount(3);
        grid->SetRowCount(10);
        grid->SetGridOptions(grid->GridOptions() | TApplegrid::Editing);
        grid->Columns()[1].SetPickList(kKinds);
        grid->SetColWidths(1, 101);
        window.resize(400, 300);
        window.move(10, 10);
        window.show();
        QApplication::setActiveWindow(&window);
        grid->setFocus();
    }
    TDataGridInplaceEdit* EditCell(int col, int row, const QString& text) {
        grid->SetCells(col, row, text);
        grid->SetCurrentCell(col, row);
        QTest::keyClick(grid, Qt::Key_Return);
        auto* editor = grid->InplaceEditor();
        EXPECT_NE(editor, nullptr);
        return editor;
    }
    QString Selected(TDataGridInplaceEdit* editor) {
        auto* item = editor->List().currentItem();
        return item ? item->text() : QString();
    }
    static void Send(QWidget* target, QEvent::Type type, const QPoint& global, Qt::MouseButtons buttons) {
        QMouseEvent event(type, target->mapFromGlobal(global), global,
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }
    QPoint ItemCentre(TDataGridInplaceEdit* editor, int row) {
        auto& list = editor->List();
        return list.viewport()->mapToGlobal(list.visualItemRect(list.item(row)).center());
    }

    QWidget window;
    TApplegrid* grid = nullptr;
};

TEST_F(ApplegridEditing, EnterOpensTheEditorAndEndsTheEditKeepingTheText) {
    auto* editor = EditCell(2, 3, "old");
    EXPECT_EQ(editor->Style(), TDataGridInplaceEdit::EditStyle::Simple);
    EXPECT_FALSE(editor->DropDownButton()->isVisible());
    editor->selectAll();
    QTest::keyClicks(editor, "new");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(grid->Cells(2, 3), "new");
    EXPECT_EQ(grid->InplaceEditor(), nullptr);
}

TEST_F(ApplegridEditing, PickListCellsGetAButtonUnlessReadOnly) {
    auto* editor = EditCell(1, 1, "");
    EXPECT_EQ(editor->Style(), TDataGridInplaceEdit::EditStyle::PickList);
    EXPECT_TRUE(editor->DropDownButton()->isVisible());
    EXPECT_EQ(editor->DropDownButton()->width(),
              editor->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, editor));
    EXPECT_EQ(editor->DropDownButton()->geometry().right(), editor->width() - 1);
    EXPECT_EQ(editor->DropDownButton()->cursor().shape(), Qt::ArrowCursor);
    QTest::keyClick(editor, Qt::Key_Escape);
    grid->Columns()[1].SetReadOnly(true);
    editor = EditCell(1, 1, "x");
    EXPECT_EQ(editor->Style(), TDataGridInplaceEdit::EditStyle::Simple);
    EXPECT_TRUE(editor->isReadOnly());
}

TEST_F(ApplegridEditing, AltDownOpensWithTheFirstItemForUnknownTextAndEscapeKeepsTheCell) {
    auto* editor = EditCell(1, 2, "Something else");
    QTest::keyClick(editor, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(editor->ListVisible());
    EXPECT_EQ(Selected(editor), "Coil Status");
    // Four items and DropDownRows 7: four items high, plus 4 pixels; at least the editor's width.
    auto& list = editor->List();
    EXPECT_EQ(list.height(), 4 * list.sizeHintForRow(0) + 4);
    EXPECT_GE(list.width(), editor->width());
    EXPECT_EQ(list.geometry().top(), editor->mapToGlobal(QPoint(0, editor->height())).y());
    EXPECT_TRUE(editor->hasFocus());
    QTest::keyClick(editor, Qt::Key_Down);
    EXPECT_EQ(Selected(editor), "Input Status");
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_FALSE(editor->ListVisible());
    EXPECT_EQ(grid->Cells(1, 2), "Something else");
    EXPECT_EQ(editor->text(), "Something else");
}

TEST_F(ApplegridEditing, PreselectionIgnoresCaseAndEnterAccepts) {
    auto* editor = EditCell(1, 2, "input REGISTER");
    QTest::keyClick(editor, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(Selected(editor), "Input Register");
    QTest::keyClick(editor, Qt::Key_Up);
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_FALSE(editor->ListVisible());
    EXPECT_EQ(grid->Cells(1, 2), "Holding Register");
    EXPECT_EQ(editor->text(), "Holding Register");
    EXPECT_TRUE(editor->isModified());
    // Alt+arrow closes and accepts too.
    QTest::keyClick(editor, Qt::Key_Down, Qt::AltModifier);
    QTest::keyClick(editor, Qt::Key_Home);
    QTest::keyClick(editor, Qt::Key_Down, Qt::AltModifier);
    EXPECT_FALSE(editor->ListVisible());
    EXPECT_EQ(grid->Cells(1, 2), "Coil Status");
}

TEST_F(ApplegridEditing, TypingSearchesTheListForTwoSeconds) {
    auto* editor = EditCell(1, 1, "");
    qint64 now = 10000;
    QTest::keyClick(editor, Qt::Key_Down, Qt::AltModifier);
    editor->List().SetTickSourceForTesting([&] { return now; });
    QTest::keyClicks(editor, "in");
    EXPECT_EQ(Selected(editor), "Input Status");
    now += 1500;
    QTest::keyClicks(editor, "put r");
    EXPECT_EQ(editor->List().SearchText(), "input r");
    EXPECT_EQ(Selected(editor), "Input Register");
    EXPECT_EQ(editor->text(), ""); // the keys went to the list
    now += 2001;
    QTest::keyClicks(editor, "H");
    EXPECT_EQ(editor->List().SearchText(), "H");
    EXPECT_EQ(Selected(editor), "Holding Register");
    QTest::keyClick(editor, Qt::Key_Backspace);
    EXPECT_EQ(editor->List().SearchText(), "");
    QTest::keyClicks(editor, QString(40, QLatin1Char('c')));
    EXPECT_EQ(editor->List().SearchText().size(), 32);
    EXPECT_EQ(Selected(editor), "Coil Status"); // "cc" and beyond match nothing: it stays
}

TEST_F(ApplegridEditing, FreeTextIsKeptAsTyped) {
    auto* editor = EditCell(1, 4, "");
    QTest::keyClicks(editor, "Something");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(grid->Cells(1, 4), "Something");
}

TEST_F(ApplegridEditing, TheButtonOpensTracksAndAcceptsOnRelease) {
    auto* editor = EditCell(1, 3, "");
    QWidget* button = editor->DropDownButton();
    const QPoint onButton = button->mapToGlobal(button->rect().center());
    // A plain click opens the list and leaves it open.
    Send(button, QEvent::MouseButtonPress, onButton, Qt::LeftButton);
    EXPECT_TRUE(editor->ButtonPressed());
    Send(button, QEvent::MouseButtonRelease, onButton, Qt::NoButton);
    EXPECT_FALSE(editor->ButtonPressed());
    ASSERT_TRUE(editor->ListVisible());
    // Pressing it again closes without accepting.
    Send(button, QEvent::MouseButtonPress, onButton, Qt::LeftButton);
    Send(button, QEvent::MouseButtonRelease, onButton, Qt::NoButton);
    EXPECT_FALSE(editor->ListVisible());
    EXPECT_EQ(grid->Cells(1, 3), "");
    // Press, drag over the list, release on an item: that item is taken.
    Send(button, QEvent::MouseButtonPress, onButton, Qt::LeftButton);
    ASSERT_TRUE(editor->ListVisible());
    Send(button, QEvent::MouseMove, ItemCentre(editor, 2), Qt::LeftButton);
    EXPECT_EQ(Selected(editor), "Holding Register");
    Send(button, QEvent::MouseButtonRelease, ItemCentre(editor, 3), Qt::NoButton);
    EXPECT_FALSE(editor->ListVisible());
    EXPECT_EQ(grid->Cells(1, 3), "Input Register");
    // Released far from both: closed, nothing taken.
    Send(button, QEvent::MouseButtonPress, onButton, Qt::LeftButton);
    Send(button, QEvent::MouseButtonRelease, onButton + QPoint(0, 400), Qt::NoButton);
    EXPECT_FALSE(editor->ListVisible());
    EXPECT_EQ(grid->Cells(1, 3), "Input Register");
}

TEST_F(ApplegridEditing, AClickOnAnItemChoosesItAndAPressElsewhereDoesNot) {
    // Mouse events as Qt delivers them: to a window first, then to the widget under the pointer.
    auto click = [](QWidget* target, const QPoint& global) {
        QWindow* window = target->window()->windowHandle();
        ASSERT_NE(window, nullptr);
        QTest::mouseClick(window, Qt::LeftButton, {}, window->mapFromGlobal(global));
    };
    auto* label = new QLabel(QStringLiteral("elsewhere"), &window);
    label->show();
    grid->SetCurrentCell(1, 3);
    QTest::keyClick(grid, Qt::Key_F2);
    auto* editor = grid->InplaceEditor();
    ASSERT_NE(editor, nullptr);
    QWidget* button = editor->DropDownButton();
    click(button, button->mapToGlobal(button->rect().center()));
    ASSERT_TRUE(editor->ListVisible());
    click(&editor->List(), ItemCentre(editor, 2));
    EXPECT_FALSE(editor->ListVisible());
    EXPECT_EQ(grid->Cells(1, 3), "Holding Register");

    QTest::keyClick(editor, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(editor->ListVisible());
    click(label, label->mapToGlobal(label->rect().center()));
    EXPECT_FALSE(editor->ListVisible());
    EXPECT_EQ(grid->Cells(1, 3), "Holding Register");
}

TEST_F(ApplegridEditing, TheListClosesWhenTheEditorLosesTheFocus) {
    auto* editor = EditCell(1, 3, "x");
    QTest::keyClick(editor, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(editor->ListVisible());
    auto* other = window.findChild<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(other, nullptr);
    other->setFocus();
    EXPECT_FALSE(editor->List().isVisible());
    EXPECT_EQ(grid->Cells(1, 3), "x");
}

TEST_F(ApplegridEditing, APressOnAnotherControlClosesTheListWithoutAccepting) {
    auto* label = new QLabel(QStringLiteral("elsewhere"), &window);
    label->show();
    auto* editor = EditCell(1, 3, "x");
    QTest::keyClick(editor, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(editor->ListVisible());
    QTest::mousePress(label, Qt::LeftButton);
    EXPECT_FALSE(editor->ListVisible());
    EXPECT_EQ(grid->Cells(1, 3), "x");
    QTest::mouseRelease(label, Qt::LeftButton);
}

TEST_F(ApplegridEditing, NearTheBottomOfTheScreenTheListOpensAbove) {
    auto* editor = EditCell(1, 2, "");
    // Bring the cell 10 pixels above the bottom of the screen.
    const int bottom = window.screen()->geometry().bottom();
    window.move(window.pos() + QPoint(0, bottom - 10 - editor->mapToGlobal(QPoint(0, editor->height())).y()));
    QTest::keyClick(editor, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(editor->ListVisible());
    EXPECT_EQ(editor->List().geometry().bottom() + 1, editor->mapToGlobal(QPoint(0, 0)).y());
}

TEST(ApplegridBlocks, BlockEditsLeaveReadOnlyColumnsAndUndoAsOneStep) {
    TApplegrid grid;
    grid.SetGridOptions(TApplegrid::Editing);
    grid.SetColCount(3);
    grid.SetRowCount(4);
    grid.Columns()[2].SetReadOnly(true);
    grid.SetCells(2, 2, "kept");
    grid.SelectBlock(1, 1, 2, 3);
    grid.Paste("x\r\n");
    EXPECT_EQ(grid.Cells(1, 3), "x");
    EXPECT_EQ(grid.Cells(2, 2), "kept");
    grid.ClearSelectedCells();
    EXPECT_EQ(grid.Cells(1, 1) + grid.Cells(2, 2), "kept");
    grid.Undo();
    EXPECT_EQ(grid.Cells(1, 2), "x");
    grid.Undo();
    EXPECT_EQ(grid.Cells(1, 2), "");
    EXPECT_FALSE(grid.CanUndo());
    EXPECT_TRUE(grid.CanRedo());
}

} // namespace
} // namespace fabricor
