#include "base/application_folder.h"
#include "base/run_temporaries.h"
#include "base/version.h"
#include "front/seams/top_level_handler.h"
#include "front/shell/main_window.h"
#include "front/shell/ping_dialog.h"

#include <QApplication>

#include <cstdio>
#include <set>
#include <string>

namespace {

constexpr const char* kUsage =
    "Usage: fabricor [QT_OPTION...]\n"
    "\n"
    "Firmware Fabricor: edits a gateway project, builds its configuration image, merges it\n"
    "into the base firmware and starts the flash tool. It takes no options of its own: the\n"
    "folders and the last project are found beside the program (Fabricor.ini, MASTER,\n"
    "PROJECTS). Qt's own options are accepted, e.g. -platform offscreen or -style fusion.\n"
    "--version prints the release. For scripts: fabricor-cli --help.\n";

// What QApplication takes from the command line itself, with or without a value after it
// (either form also with two dashes, as Qt allows).
const std::set<std::string> kQtOptionsWithValue = {
    "-platform",    "-platformpluginpath", "-platformtheme", "-plugin",     "-qwindowgeometry",
    "-qwindowicon", "-qwindowtitle",       "-style",         "-stylesheet", "-session",
    "-display",     "-geometry",           "-title",         "-icon",       "-name",
    "-visual"};
const std::set<std::string> kQtFlags = {"-reverse", "-widgetcount", "-nograb",
                                        "-dograb",  "-sync",        "-testability"};
const std::set<std::string> kQtOptionsWithEquals = {"-style",   "-stylesheet", "-qmljsdebugger",
                                                    "-dialogs", "-fontengine", "-platform"};

enum class CommandLine { Run, Help, Version, Wrong };

// Decided before any window or display is touched, so it works on a machine without one.
CommandLine ReadCommandLine(int argc, char** argv, std::string& wrong) {
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word == "--help" || word == "-h" || word == "-help")
            return CommandLine::Help;
        if (word == "--version")
            return CommandLine::Version;
        std::string option = word.starts_with("--") ? word.substr(1) : word;
        if (kQtFlags.count(option))
            continue;
        if (kQtOptionsWithValue.count(option) && i + 1 < argc) {
            ++i;
            continue;
        }
        if (auto equals = option.find('=');
            equals != std::string::npos && kQtOptionsWithEquals.count(option.substr(0, equals)))
            continue;
        wrong = word;
        return CommandLine::Wrong;
    }
    return CommandLine::Run;
}

} // namespace

int main(int argc, char** argv) {
    std::string wrong;
    switch (ReadCommandLine(argc, argv, wrong)) {
    case CommandLine::Help:
        std::fputs(kUsage, stdout);
        return 0;
    case CommandLine::Version:
        std::printf("fabricor %s\n", fabricor::ProgramVersion());
        return 0;
    case CommandLine::Wrong:
        std::fprintf(stderr, "fabricor: unknown %s '%s'\n%s",
                     wrong.starts_with("-") ? "option" : "argument", wrong.c_str(), kUsage);
        return 2;
    case CommandLine::Run:
        break;
    }
    // An interrupted save or merge leaves no temporary behind.
    fabricor::InstallInterruptCleanup();

    QApplication application(argc, argv);
    QApplication::setApplicationName(fabricor::kApplicationTitle);

    fabricor::QtMessageBoxes boxes;
    // Commands show their own failures; this catches what escapes start-up or the event loop.
    try {
        fabricor::QtFolderBrowser folders;
        fabricor::SystemShell shell;
        fabricor::SystemClock clock;
        fabricor::ModalDialogRunner dialogs;
        fabricor::IcmpEchoFacility echo;
        fabricor::QtPingWait pingWait;
        fabricor::QtFileChooser files;
        fabricor::Services services;
        services.boxes = &boxes;
        services.folders = &folders;
        services.shell = &shell;
        services.clock = &clock;
        services.dialogs = &dialogs;
        services.echo = &echo;
        services.pingWait = &pingWait;
        services.files = &files;

        fabricor::TFFabricoreFirmWare window(QString::fromStdString(fabricor::ExecutablePath()),
                                             services);
        QObject::connect(&window, &fabricor::TFFabricoreFirmWare::closed, &application,
                         &QCoreApplication::quit, Qt::QueuedConnection);
        window.show();
        return QApplication::exec();
    } catch (const std::exception& failure) {
        boxes.Error(nullptr, fabricor::FailureText(failure));
        return 1;
    }
}
