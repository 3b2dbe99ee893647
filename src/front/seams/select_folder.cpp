#include "front/seams/select_folder.h"

#include "style/style.h"
#include "workspace/workspace.h"

#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <optional>

namespace fabricor {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kListedRole = Qt::UserRole + 1;

QString Clean(const QString& path) { return QDir::cleanPath(QDir::fromNativeSeparators(path)); }

// The way from `root` down to `path`, folder names only; nothing when `path` is not below it.
std::optional<QStringList> StepsBelow(const QString& root, const QString& path) {
    QString top = Clean(root);
    QString target = Clean(path);
    if (target == top)
        return QStringList{};
    QString prefix = top.endsWith('/') ? top : top + '/';
    if (!target.startsWith(prefix))
        return std::nullopt;
    return target.mid(prefix.size()).split('/', Qt::SkipEmptyParts);
}

// The folders listed below a folder. Directly below the root a link to a folder is listed like
// one (a project folder that is a share mounted elsewhere); deeper down links are left out.
QDir::Filters ChildFolders(bool belowTheRoot) {
    QDir::Filters filters = QDir::Dirs | QDir::NoDotAndDotDot;
    return belowTheRoot ? filters : filters | QDir::NoSymLinks;
}

} // namespace

bool SelectFolder(FolderBrowser& browser, QWidget* parent, const QString& caption,
                  const QString& root, QString& folder) {
    if (!FolderExists(folder.toStdString()))
        folder.clear();
    QString chosen = folder;
    if (!browser.Browse(parent, caption, root, chosen))
        return false;
    // The chosen folder as the platform reports it, without a trailing separator.
    while (chosen.size() > 1 && (chosen.endsWith('/') || chosen.endsWith(QChar(kSeparator))))
        chosen.chop(1);
    folder = chosen;
    return true;
}

RootedFolderDialog::RootedFolderDialog(const QString& caption, const QString& root,
                                       const QString& preselected, QWidget* parent)
    : QDialog(parent), root_(root.isEmpty() ? QDir::rootPath() : Clean(root)) {
    setObjectName("RootedFolderDialog");
    setWindowTitle(QStringLiteral("Browse for Folder"));
    // While it is open every other window of the program is disabled.
    setWindowModality(Qt::ApplicationModal);
    ApplyFabricorLook(this);
    resize(360, 420);

    Prompt = new QLabel(caption, this);
    Prompt->setObjectName("Prompt");
    Prompt->setWordWrap(true);

    Tree = new QTreeWidget(this);
    Tree->setObjectName("Tree");
    Tree->setHeaderHidden(true);
    Tree->setColumnCount(1);
    Tree->setSelectionMode(QAbstractItemView::SingleSelection);
    Tree->header()->setStretchLastSection(true);

    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setObjectName("OkButton");
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName("CancelButton");

    for (QPushButton* button : {OkButton, CancelButton})
        button->setMinimumSize(75, 23);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Prompt);
    layout->addWidget(Tree, 1);
    layout->addLayout(buttons);

    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(Tree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        ListChildren(item);
    });
    connect(Tree, &QTreeWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });
    connect(Tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (item->childCount() == 0)
            accept();
    });

    QDir rootDir(root_);
    QString rootText = rootDir.isRoot() ? QDir::toNativeSeparators(root_) : rootDir.dirName();
    QTreeWidgetItem* top = AddFolderItem(nullptr, root_, rootText);
    top->setExpanded(true);

    if (preselected.isEmpty() || !SelectFolderPath(preselected))
        SelectionChanged();
}

QTreeWidgetItem* RootedFolderDialog::AddFolderItem(QTreeWidgetItem* parent, const QString& path,
                                                   const QString& text) {
    static const QIcon folderIcon = QFileIconProvider().icon(QFileIconProvider::Folder);
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(Tree);
    item->setText(0, text);
    item->setIcon(0, folderIcon);
    item->setData(0, kPathRole, path);
    // A link below the root is offered but never opened: what lies below it may lead anywhere.
    const bool link = parent && QFileInfo(path).isSymLink();
    item->setData(0, kListedRole, link);
    // Offer the expander only where there is something to expand.
    QDir dir(path);
    bool hasChildren = !link && !dir.entryList(ChildFolders(parent == nullptr)).isEmpty();
    item->setChildIndicatorPolicy(hasChildren ? QTreeWidgetItem::ShowIndicator
                                              : QTreeWidgetItem::DontShowIndicator);
    return item;
}

void RootedFolderDialog::ListChildren(QTreeWidgetItem* item) {
    if (item->data(0, kListedRole).toBool())
        return;
    item->setData(0, kListedRole, true);
    QDir dir(item->data(0, kPathRole).toString());
    const auto entries =
        dir.entryInfoList(ChildFolders(item->parent() == nullptr), QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& entry : entries)
        AddFolderItem(item, Clean(entry.absoluteFilePath()), entry.fileName());
    if (item->childCount() == 0)
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

bool RootedFolderDialog::SelectFolderPath(const QString& path) {
    auto steps = StepsBelow(root_, path);
    if (!steps)
        return false;
    QTreeWidgetItem* item = Tree->topLevelItem(0);
    for (const QString& name : *steps) {
        ListChildren(item);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i)
            if (item->child(i)->text(0) == name)
                next = item->child(i);
        if (!next)
            return false;
        item->setExpanded(true);
        item = next;
    }
    Tree->setCurrentItem(item);
    item->setSelected(true);
    Tree->scrollToItem(item);
    return true;
}

QString RootedFolderDialog::SelectedFolder() const {
    const auto selected = Tree->selectedItems();
    if (selected.isEmpty())
        return {};
    return QDir::toNativeSeparators(selected.front()->data(0, kPathRole).toString());
}

void RootedFolderDialog::SelectionChanged() { OkButton->setEnabled(!Tree->selectedItems().isEmpty()); }

} // namespace fabricor
