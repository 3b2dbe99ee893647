// The flash tool: sends a firmware file, record by record, to the device on a serial port.
// Started by the update dialog with one argument: "<firmware path>"¶<port index>, in
// Windows-1252. Exit status 0 only when every record has left the port.

#include "base/application_files.h"
#include "base/application_folder.h"
#include "base/folders.h"
#include "base/run_temporaries.h"
#include "base/settings_file.h"
#include "flash/flash_job.h"
#include "platform/files.h"
#include "platform/process.h"

#ifdef FABRICOR_FLASH_WINDOW
#include "flash/flash_window.h"
#include "style/style.h"

#include <QApplication>
#endif

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <optional>
#include <string>

namespace fs = std::filesystem;
using namespace fabricor;
using namespace fabricor::flash;

namespace {

const char* kUsage = "expects one argument: \"<firmware file>\"\xC2\xB6<port index 0..7>";

constexpr const char* kHelp =
    "Usage: Progwerk.exe \"FIRMWARE\"\xC2\xB6PORT\n"
    "\n"
    "Sends a Motorola S-record firmware, record by record, to the device on a serial port.\n"
    "One argument, as the update dialog passes it: the firmware's path in double quotes, the\n"
    "byte 0xB6 (a pilcrow in Windows-1252) and the port index, 0 to 7 for COM1 to COM8.\n"
    "Progwerk.ini maps the ports ([ports] COM1=/dev/ttyUSB0), sets the line speed\n"
    "([serial] baud=115200) and the time the line may take no data before the transfer\n"
    "stops ([serial] write_timeout_ms=10000). What the tool says also goes to Progwerk.log.\n"
    "Both sit beside the tool, or in the user's data folder (~/.local/share/fabricor) when\n"
    "the tool's folder cannot be written.\n"
    "Exit status: 0 every record sent; 1 the transfer failed; 2 the argument is wrong.\n";

// --help, and anything else that looks like an option, is answered before anything is read
// or written; the parameter string itself always starts with a quote.
std::optional<int> AnswerOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word == "--help" || word == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
    }
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') {
            std::fprintf(stderr, "Progwerk: unknown option '%s'\n%s", argv[i], kHelp);
            return 2;
        }
    }
    return std::nullopt;
}

// A parameter string it cannot read is a usage error, as a wrong number of arguments is.
int ExitStatusOf(const Status& failure) {
    return failure.code() == StatusCode::InvalidArgument ? 2 : 1;
}

// Progwerk.ini and Progwerk.log sit beside the tool, or in the user's data folder when the
// tool's folder cannot be written (an installed tool), as the program's own files do.
fs::path FilesFolder() {
    fs::path tool = ToolFolder();
    if (tool.empty())
        return tool;
    ApplicationFolder folder = DecideApplicationFolder(platform::Utf8Name(tool));
    if (folder.PerUser())
        ForceFolders(folder.dataFolder);
    return platform::PathOfUtf8(folder.dataFolder);
}

#ifdef FABRICOR_FLASH_WINDOW
bool Set(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

// Started from the update dialog there is no terminal to write to: show a window instead,
// when there is a display for it and the settings do not say otherwise ([display] window=0).
bool WantsWindow(const fs::path& folder) {
    if (platform::IsTerminal(1) || !(Set("DISPLAY") || Set("WAYLAND_DISPLAY")))
        return false;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && std::string(platform) == "offscreen")
        return false;
    return ReadIniValue(ApplicationFiles::ToolSettingsIn(folder), "display", "window") != "0";
}

int RunInWindow(int argc, char** argv, const std::optional<std::string>& parameters,
                const fs::path& folder, FlashJob& job, Transcript& say) {
    QApplication application(argc, argv);
    // The window's outcome is the exit status: closing it must not end the tool with 0 first.
    QApplication::setQuitOnLastWindowClosed(false);
    FlashWindow window(job, say);
    QObject::connect(&window, &FlashWindow::ended, &application, &QCoreApplication::exit,
                     Qt::QueuedConnection);
    window.show();
    CentreOnScreen(&window);
    if (!parameters) {
        window.ShowFailure(QString::fromUtf8(kUsage), 2);
    } else if (Status prepared = job.Prepare(*parameters, folder); !prepared) {
        window.ShowFailure(QString::fromStdString(prepared.message()), ExitStatusOf(prepared));
    } else {
        window.Start();
    }
    return QApplication::exec();
}
#endif

int Fail(Transcript& say, const std::string& why, int status = 1) {
    std::fprintf(stderr, "Progwerk: %s\n", why.c_str());
    say.Failed(why);
    return status;
}

void Print(Transcript& say, const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    say.Say(line);
}

int RunInTerminal(const std::optional<std::string>& parameters, const fs::path& folder,
                  FlashJob& job, Transcript& say) {
    if (!parameters)
        return Fail(say, kUsage, 2);
    if (Status prepared = job.Prepare(*parameters, folder); !prepared)
        return Fail(say, prepared.message(), ExitStatusOf(prepared));
    Print(say, job.Announcement());
    if (Status opened = job.Open(); !opened)
        return Fail(say, opened.message());
    size_t step = job.total() / 10 == 0 ? 1 : job.total() / 10;
    size_t next = step;
    while (!job.done()) {
        if (Status sent = job.Send(std::chrono::milliseconds(200)); !sent)
            return Fail(say, sent.message());
        if (job.sent() >= next || job.done()) {
            Print(say, "  " + job.ProgressText());
            while (next <= job.sent())
                next += step;
        }
    }
    while (!job.finished())
        if (Status drained = job.Finish(std::chrono::milliseconds(200)); !drained)
            return Fail(say, drained.message());
    Print(say, "Done: " + std::to_string(job.total()) + " records sent to " + job.port() + ".");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (auto answered = AnswerOptions(argc, argv))
        return *answered;
    InstallInterruptCleanup();
    fs::path folder = FilesFolder();
    Transcript say(folder.empty() ? fs::path() : ApplicationFiles::ToolLogIn(folder));
    // Whatever escapes (no memory for a firmware, a failure of the window system) still ends
    // with its message on stderr and in the log, and a failure status.
    try {
        FlashJob job;
        // On Windows the string as ShellExecuteA passed it, quotes and all.
        std::optional<std::string> parameters = ProgramParameterString(argc, argv);
#ifdef FABRICOR_FLASH_WINDOW
        if (WantsWindow(folder))
            return RunInWindow(argc, argv, parameters, folder, job, say);
#endif
        return RunInTerminal(parameters, folder, job, say);
    } catch (const std::bad_alloc& failure) {
        return Fail(say, std::string("not enough memory: ") + failure.what());
    } catch (const std::exception& failure) {
        return Fail(say, failure.what());
    }
}
