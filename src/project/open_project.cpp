#include "project/open_project.h"

#include "app/select_folder.h"
#include "project/project_folders.h"

namespace fabricor {

QString OpenProject(Workspace& workspace, FolderBrowser& browser, QWidget* parent) {
    QString folder = QString::fromStdString(workspace.ProjectFolder);
    // A cancel is not looked at: the folder stays as SelectFolder left it (emptied when it
    // had vanished from disk), and the name is cut from it all the same.
    SelectFolder(browser, parent, QString::fromUtf8(kOpenProjectCaption),
                 QString::fromStdString(workspace.ProjectsFolder), folder);
    workspace.ProjectFolder = folder.toStdString();
    workspace.ProjectName = ProjectNameAfterOpen(workspace.ProjectsFolder, workspace.ProjectFolder);
    QString title = QString::fromStdString(ProjectTitle(workspace.ProjectName));
    workspace.UpdateDocumentPaths();
    return title;
}

} // namespace fabricor
