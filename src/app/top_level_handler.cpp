#include "app/top_level_handler.h"

#include <exception>

namespace fabricor {

bool RunCommand(QWidget* parent, MessageBoxes& boxes, const std::function<void()>& command) {
    try {
        command();
        return true;
    } catch (const std::exception& failure) {
        boxes.Error(parent, QString::fromUtf8(failure.what()));
    } catch (...) {
        boxes.Error(parent, QStringLiteral("Unexpected failure"));
    }
    return false;
}

} // namespace fabricor
