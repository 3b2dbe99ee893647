#include "flash/flash_window.h"

#include "flash/flash_job.h"
#include "style/style.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace fabricor::flash {

namespace {
// The longest the line may hold the event loop per turn: the window follows the mouse and
// Close works while a line takes nothing.
constexpr std::chrono::milliseconds kSlice{30};
} // namespace

FlashWindow::FlashWindow(FlashJob& job, Transcript& transcript, QWidget* parent)
    : QWidget(parent), job_(job), transcript_(transcript) {
    setObjectName("FlashWindow");
    setWindowTitle(QStringLiteral("Progwerk"));
    ApplyFabricorLook(this);
    setFixedWidth(460);

    what_ = new QLabel(this);
    what_->setObjectName("What");
    what_->setWordWrap(true);
    bar_ = new QProgressBar(this);
    bar_->setObjectName("Progress");
    bar_->setTextVisible(false);
    outcome_ = new QLabel(this);
    outcome_->setObjectName("Outcome");
    outcome_->setWordWrap(true);
    close_ = new QPushButton(QStringLiteral("Close"), this);
    close_->setObjectName("Close");
    close_->setFixedSize(81, 22);
    connect(close_, &QPushButton::clicked, this, &QWidget::close);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 12);
    layout->addWidget(what_);
    layout->addWidget(bar_);
    layout->addWidget(outcome_);
    layout->addWidget(close_, 0, Qt::AlignRight);
}

void FlashWindow::Start() {
    std::string announcement = job_.Announcement();
    transcript_.Say(announcement);
    what_->setText(QString::fromStdString(announcement));
    // A long path wraps: give the label the lines it needs.
    what_->setMinimumHeight(what_->heightForWidth(what_->width()));
    adjustSize();
    if (Status opened = job_.Open(); !opened) {
        End(QString::fromStdString(opened.message()), 1);
        return;
    }
    bar_->setMaximum(int(job_.total()));
    QTimer::singleShot(0, this, &FlashWindow::SendSome);
}

void FlashWindow::SendSome() {
    if (finished_)
        return; // closed by the user
    if (!job_.done()) {
        if (Status sent = job_.Send(kSlice); !sent) {
            End(QString::fromStdString(sent.message()), 1);
            return;
        }
        bar_->setValue(int(job_.sent()));
        outcome_->setText(QString::fromStdString(job_.ProgressText()));
        if (job_.done())
            transcript_.Say("  " + job_.ProgressText());
        QTimer::singleShot(0, this, &FlashWindow::SendSome);
        return;
    }
    if (Status drained = job_.Finish(kSlice); !drained) {
        End(QString::fromStdString(drained.message()), 1);
        return;
    }
    if (!job_.finished()) {
        QTimer::singleShot(0, this, &FlashWindow::SendSome);
        return;
    }
    End(QStringLiteral("Done: %1 records sent to %2.")
            .arg(job_.total())
            .arg(QString::fromStdString(job_.port())),
        0);
}

void FlashWindow::ShowFailure(const QString& why, int status) {
    End(why, status);
}

void FlashWindow::End(const QString& message, int status) {
    finished_ = true;
    status_ = status;
    if (status == 0) {
        transcript_.Say(message.toStdString());
        outcome_->setStyleSheet(QString());
    } else {
        transcript_.Failed(message.toStdString());
        outcome_->setStyleSheet(QStringLiteral("color: rgb(176, 0, 0); font-weight: bold;"));
    }
    outcome_->setText(status == 0 ? message : QStringLiteral("Failed: ") + message);
    // A long reason wraps: give the label the lines it needs, as for the announcement.
    outcome_->setMinimumHeight(outcome_->heightForWidth(outcome_->width()));
    adjustSize();
    close_->setFocus();
}

void FlashWindow::closeEvent(QCloseEvent* event) {
    if (!finished_)
        End(QStringLiteral("stopped before every record was sent (%1 of %2)")
                .arg(job_.sent())
                .arg(job_.total()),
            1);
    event->accept();
    emit ended(status_);
}

} // namespace fabricor::flash
