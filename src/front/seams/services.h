#pragma once

#include "base/atomic_file.h"
#include "base/clock.h"
#include "base/project_lock.h"
#include "front/seams/seams.h"
#include "workspace/ping.h"

#include <chrono>

namespace fabricor {

// The seams the windows reach the outside world through. The running program passes the real
// ones; tests pass recording doubles. The window does not own them: they outlive it.
struct Services {
    MessageBoxes* boxes = nullptr;
    FolderBrowser* folders = nullptr;
    Shell* shell = nullptr;
    Clock* clock = nullptr;
    // Every modal dialog is shown through this, so tests can drive a dialog without a modal loop.
    DialogRunner* dialogs = nullptr;
    // Ping Device: the ICMP echo and the wait after it.
    EchoFacility* echo = nullptr;
    PingWaitHost* pingWait = nullptr;
    // The file dialogs of Import CSV and Export CSV.
    FileChooser* files = nullptr;
    // Where the editors write pargen.xml and var.xml: the system's files, or in tests one that
    // fails as a full disk would.
    FileOutput* fileOutput = &SystemFileOutput();
    // How long an update waits for another update of the same project before it refuses.
    std::chrono::milliseconds projectLockWait = kProjectLockWait;
};

} // namespace fabricor
