// The flash tool: sends a firmware file, record by record, to the device on a serial port.
// Started by the update dialog with one argument: "<firmware path>"¶<port index>, in
// Windows-1252. Exit status 0 only when every record has left the port.

#include "app/settings_file.h"
#include "app/style.h"
#include "flash/flash_job.h"
#include "flash/flash_window.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace fabricor;
using namespace fabricor::flash;

namespace {

const char* kUsage = "expects one argument: \"<firmware file>\"\xC2\xB6<port index 0..7>";

bool Set(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

// Started from the update dialog there is no terminal to write to: show a window instead,
// when there is a display for it and the settings do not say otherwise ([display] window=0).
bool WantsWindow(const fs::path& folder) {
    if (::isatty(STDOUT_FILENO) || !(Set("DISPLAY") || Set("WAYLAND_DISPLAY")))
        return false;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && std::string(platform) == "offscreen")
        return false;
    return ReadIniValue(folder / kToolSettingsFileName, "display", "window") != "0";
}

int RunInWindow(int argc, char** argv, FlashJob& job, Transcript& say) {
    QApplication application(argc, argv);
    FlashWindow window(job, say);
    QObject::connect(&window, &FlashWindow::ended, &application, &QCoreApplication::exit,
                     Qt::QueuedConnection);
    window.show();
    CentreOnScreen(&window);
    if (argc != 2) {
        window.ShowFailure(QString::fromUtf8(kUsage), 2);
    } else if (Status prepared = job.Prepare(argv[1], ToolFolder()); !prepared) {
        window.ShowFailure(QString::fromStdString(prepared.message()),
                           prepared.message().starts_with("cannot read the parameters") ? 2 : 1);
    } else {
        window.Start();
    }
    return QApplication::exec();
}

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

int RunInTerminal(int argc, char** argv, FlashJob& job, Transcript& say) {
    if (argc != 2)
        return Fail(say, kUsage, 2);
    if (Status prepared = job.Prepare(argv[1], ToolFolder()); !prepared)
        return Fail(say, prepared.message(),
                    prepared.message().starts_with("cannot read the parameters") ? 2 : 1);
    Print(say, job.Announcement());
    if (Status opened = job.Open(); !opened)
        return Fail(say, opened.message());
    size_t step = job.total() / 10 == 0 ? 1 : job.total() / 10;
    while (!job.done()) {
        if (Status sent = job.Send(step); !sent)
            return Fail(say, sent.message());
        Print(say, "  " + job.ProgressText());
    }
    if (Status drained = job.Finish(); !drained)
        return Fail(say, drained.message());
    Print(say, "Done: " + std::to_string(job.total()) + " records sent to " + job.port() + ".");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    fs::path folder = ToolFolder();
    Transcript say(folder.empty() ? fs::path() : folder / "Progwerk.log");
    // Whatever escapes (no memory for a firmware, a failure of the window system) still ends
    // with its message on stderr and in the log, and a failure status.
    try {
        FlashJob job;
        return WantsWindow(folder) ? RunInWindow(argc, argv, job, say)
                                   : RunInTerminal(argc, argv, job, say);
    } catch (const std::bad_alloc& failure) {
        return Fail(say, std::string("not enough memory: ") + failure.what());
    } catch (const std::exception& failure) {
        return Fail(say, failure.what());
    }
}
