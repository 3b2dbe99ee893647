#pragma once

#include "front/seams/seams.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace fabricor {

// The modal folder browser: `caption` is the prompt, `root` (may be empty for the whole file
// system) the topmost folder the user can see and reach, `folder` the folder to preselect on
// entry and the chosen one on confirmation. A folder that does not exist is emptied first, and
// stays empty when the user cancels. Returns true when the user confirmed a folder.
bool SelectFolder(FolderBrowser& browser, QWidget* parent, const QString& caption,
                  const QString& root, QString& folder);

// The browser's window: a tree of folders with `root` as its only top item, so nothing above
// it can be seen or chosen. Folders are listed when first expanded; symbolic links are left
// out because they could lead out of the root.
class RootedFolderDialog : public QDialog {
    Q_OBJECT
public:
    RootedFolderDialog(const QString& caption, const QString& root, const QString& preselected,
                       QWidget* parent = nullptr);

    // The selected folder's full path with the platform's separators; empty when none.
    QString SelectedFolder() const;
    // Selects a folder below the root (expanding the way to it); false when it is not there.
    bool SelectFolderPath(const QString& path);

    QLabel* Prompt = nullptr;
    QTreeWidget* Tree = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

private:
    QTreeWidgetItem* AddFolderItem(QTreeWidgetItem* parent, const QString& path,
                                   const QString& text);
    void ListChildren(QTreeWidgetItem* item);
    void SelectionChanged();

    QString root_;
};

} // namespace fabricor
