#pragma once

// What happens when the user or the system interrupts the program (Ctrl-C, a closed terminal or
// console, a request to end).
namespace fabricor::platform {

// Calls `cleanUp` on an interruption, then ends the process as the interruption would have
// (the caller sees the conventional status). An interruption that was ignored when the program
// started stays ignored. `cleanUp` must do only what RemoveFileNow does.
void OnInterrupt(void (*cleanUp)());

// Removes a file; safe to call from OnInterrupt's clean-up (no allocation, no lock).
void RemoveFileNow(const char* path);

} // namespace fabricor::platform
