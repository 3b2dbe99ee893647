#include "front/project/open_project.h"

#include "front/seams/select_folder.h"
#include "project/project_folders.h"

namespace fabricor {

namespace {

// A folder whose path leads out of the projects folder (a ".." step, or another folder) is taken
// for one that has vanished: no update may write there. A link below the projects folder is a
// project wherever it leads.
std::string WithinProjects(const Workspace& workspace, std::string folder) {
    if (!LiesLexicallyWithin(folder, workspace.ProjectsFolder))
        folder.clear();
    return folder;
}

} // namespace

QString OpenProject(Workspace& workspace, FolderBrowser& browser, QWidget* parent) {
    QString folder = QString::fromStdString(WithinProjects(workspace, workspace.ProjectFolder));
    // A cancel is not looked at: the folder stays as SelectFolder left it (emptied when it
    // had vanished from disk), and the name is cut from it all the same.
    SelectFolder(browser, parent, QString::fromUtf8(kOpenProjectCaption),
                 QString::fromStdString(workspace.ProjectsFolder), folder);
    workspace.ProjectFolder = WithinProjects(workspace, folder.toStdString());
    workspace.ProjectName = ProjectNameAfterOpen(workspace.ProjectsFolder, workspace.ProjectFolder);
    QString title = QString::fromStdString(ProjectTitle(workspace.ProjectName));
    workspace.UpdateDocumentPaths();
    return title;
}

} // namespace fabricor
