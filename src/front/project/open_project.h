#pragma once

#include "front/seams/seams.h"
#include "workspace/workspace.h"

#include <QString>

namespace fabricor {

// Open project: lets the user pick a folder below the projects folder (the current project
// preselected), makes it current whatever the browser's answer, and returns the new window
// title. Nothing checks that the folder holds project documents.
QString OpenProject(Workspace& workspace, FolderBrowser& browser, QWidget* parent);

} // namespace fabricor
