#include "front/seams/top_level_handler.h"

#include <exception>
#include <new>

namespace fabricor {

QString FailureText(const std::exception& failure) {
    if (dynamic_cast<const std::bad_alloc*>(&failure))
        return QStringLiteral("Not enough memory to finish: %1")
            .arg(QString::fromUtf8(failure.what()));
    return QString::fromUtf8(failure.what());
}

bool RunCommand(QWidget* parent, MessageBoxes& boxes, const std::function<void()>& command) {
    try {
        command();
        return true;
    } catch (const std::exception& failure) {
        boxes.Error(parent, FailureText(failure));
    } catch (...) {
        boxes.Error(parent, QStringLiteral("Unexpected failure"));
    }
    return false;
}

} // namespace fabricor
