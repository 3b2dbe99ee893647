#pragma once

// Processes of this machine, by id.
namespace fabricor::platform {

using ProcessId = long long;

ProcessId CurrentProcessId();
// Whether the process still runs; true as well when that cannot be told (it runs under another
// user), so that nothing of a running process is taken for left over.
bool ProcessMayRun(ProcessId process);

} // namespace fabricor::platform
