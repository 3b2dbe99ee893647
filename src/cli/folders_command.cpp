#include "base/application_folder.h"
#include "base/folders.h"
#include "cli/cli.h"
#include "cli/options.h"

#include <ostream>

namespace fabricor::cli {

namespace {

void FoldersHelp(std::ostream& out) {
    out << "Prints where the programs keep their files: the folder of the programs and the\n"
           "folder that holds Fabricor.ini, Progwerk.ini, MASTER and PROJECTS. That is the\n"
           "programs' own folder when it can be written, otherwise the user's data folder:\n"
           "$XDG_DATA_HOME/fabricor, or ~/.local/share/fabricor. Then a MASTER beside the\n"
           "programs that can be read, a PROJECTS there that can be written, and a Fabricor.ini\n"
           "there while the user has none are still used, each line saying why. Nothing is\n"
           "created.\n"
           "\n"
           "Exit status: 0; 2 on a usage error.\n";
}

std::string Placed(const ApplicationFolder::Place& place) {
    return place.why.empty() ? place.path : place.path + " (" + place.why + ")";
}

int RunFolders(const ParsedArguments&, std::ostream& out, std::ostream&, TerminalProgress&) {
    const ApplicationFolder folder = DecideApplicationFolder(ExecutableFolder());
    out << "Programs: " << folder.programFolder << "\n"
        << "Files:    " << folder.dataFolder
        << (folder.PerUser() ? " (the user's data folder: " + folder.reason + ")"
                             : std::string(" (beside the programs)"))
        << "\n"
        << "MASTER:   " << Placed(folder.master) << "\n"
        << "PROJECTS: " << Placed(folder.projects) << "\n"
        << "Settings: " << folder.settingsFile
        << (folder.settingsSource == folder.settingsFile
                ? std::string()
                : " (read from " + folder.settingsSource + " until it is first written)")
        << "\n";
    return kExitOk;
}

} // namespace

const Command kFoldersCommand = {
    .name = "folders",
    .summary = "print where the programs keep MASTER, PROJECTS and their settings",
    .usage = "folders",
    .help = FoldersHelp,
    .positionals = {0, 0, "", "takes no arguments"},
    .run = RunFolders,
};

} // namespace fabricor::cli
