#pragma once

#include "front/seams/seams.h"

#include <QString>

#include <exception>
#include <functional>

class QWidget;

namespace fabricor {

// A failure that a command does not handle where it arises ends that command and is shown here,
// at the boundary where the command started (the slot of the button or menu that started it):
// its text goes into a message box and the program goes on. No exception crosses the event loop.
// Returns true when the command ran to its end.
// The text shown for a failure; running out of memory says so.
QString FailureText(const std::exception& failure);

bool RunCommand(QWidget* parent, MessageBoxes& boxes, const std::function<void()>& command);

} // namespace fabricor
