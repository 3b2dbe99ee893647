#include "front/firmware/update_dialog.h"

#include "base/atomic_file.h"
#include "base/project_files.h"
#include "base/regular_file.h"
#include "base/sha256.h"
#include "firmware/flash_tool.h"
#include "firmware/update_pipeline.h"
#include "front/firmware/report_pdf.h"
#include "front/seams/top_level_handler.h"
#include "platform/files.h"
#include "project/commissioning_report.h"
#include "style/style.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTextLayout>
#include <QThread>

#include <filesystem>
#include <stdexcept>

namespace fabricor {

namespace {

class BoxReporter final : public MergeReporter {
public:
    BoxReporter(MessageBoxes& boxes, QWidget* parent) : boxes_(boxes), parent_(parent) {}
    void Report(const std::string& message) override {
        IdleCursor idle;
        boxes_.Plain(parent_, QString::fromStdString(message));
    }

private:
    MessageBoxes& boxes_;
    QWidget* parent_;
};

// The bar counts lines; a base firmware long enough to overflow an int is scaled down.
class BarProgress final : public MergeProgress {
public:
    explicit BarProgress(QProgressBar& bar) : bar_(bar) {}
    void SetMaximum(int64_t maximum) override {
        while (maximum / scale_ > INT32_MAX)
            scale_ *= 2;
        bar_.setMaximum(int(maximum / scale_));
    }
    void SetPosition(int64_t position) override { bar_.setValue(int(position / scale_)); }

private:
    QProgressBar& bar_;
    int64_t scale_ = 1;
};

// The red line: wrapped at blanks, or anywhere in a long path, onto the lines it has; what does
// not fit ends in "…" (the whole text is in the tooltip).
class ReasonLabel final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        const QRect area = contentsRect();
        const QFontMetrics metrics = fontMetrics();
        const int lines = std::max(1, area.height() / metrics.lineSpacing());
        const QString all = text();
        QTextLayout layout(all, font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        QPoint at(area.left(), area.top() + metrics.ascent());
        for (int n = 0; n < lines; ++n) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(area.width());
            QString shown = all.mid(line.textStart(), line.textLength());
            if (n == lines - 1 && line.textStart() + line.textLength() < all.size())
                shown = metrics.elidedText(all.mid(line.textStart()), Qt::ElideRight, area.width());
            painter.drawText(at, shown);
            at.ry() += metrics.lineSpacing();
        }
        layout.endLayout();
    }
};

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(platform::PathOfUtf8(path), error);
}

// The paths of the upper part, in one column right of their captions.
constexpr int kPathLeft = 128;
constexpr int kPathWidth = 294;
constexpr int kRowHeight = 16;

// Leftovers of the per-bank staging of earlier tools, removed after every merge.
constexpr const char* kBankLeftovers[] = {"\xC2\xB0"
                                          "B1\xC2\xB0.sx",
                                          "\xC2\xB0"
                                          "B2\xC2\xB0.sx",
                                          "\xC2\xB0"
                                          "B3\xC2\xB0.sx",
                                          "\xC2\xB0"
                                          "B4\xC2\xB0.sx",
                                          "\xC2\xB0"
                                          "B5\xC2\xB0.sx"};

} // namespace

TFModifyFileSx::TFModifyFileSx(const Workspace& workspace, const Services& services,
                               QWidget* parent)
    : QDialog(parent), workspace_(workspace), services_(services) {
    setObjectName("TFModifyFileSx");
    setWindowTitle(QStringLiteral("Generate Firmware"));
    UseToolWindowFrame(this);
    ApplyFabricorLook(this);
    setFixedSize(430, 224);

    LbButton1_ = new QPushButton(QStringLiteral("X"), this);
    LbButton1_->setObjectName("LbButton1");
    LbButton1_->setGeometry(400, 3, 25, 17);
    LbButton1_->setStyleSheet(QStringLiteral("padding: 0px;"));
    connect(LbButton1_, &QPushButton::clicked, this, &QDialog::reject);

    LbButton2_ = new QPushButton(QStringLiteral("Execute update firmware"), this);
    LbButton2_->setObjectName("LbButton2");
    LbButton2_->setGeometry(160, 142, 153, 23);
    LbButton2_->setStyleSheet(QStringLiteral("padding: 0px;")); // the caption needs every pixel
    LbButton2_->setEnabled(false);
    connect(LbButton2_, &QPushButton::clicked, this, &TFModifyFileSx::LbButton2Click);

    // Left of the placed controls: the commissioning report of what was just merged.
    reportButton_ = new QPushButton(QStringLiteral("Save report as PDF..."), this);
    reportButton_->setObjectName("SaveReportPdf");
    reportButton_->setGeometry(8, 142, 140, 23);
    reportButton_->setStyleSheet(QStringLiteral("padding: 0px;"));
    reportButton_->setEnabled(false);
    connect(reportButton_, &QPushButton::clicked, this, &TFModifyFileSx::SaveReportClick);

    cbport_ = new QComboBox(this);
    cbport_->setObjectName("cbport");
    for (int port = 1; port <= kSerialPortCount; ++port)
        cbport_->addItem(QStringLiteral("COM%1").arg(port));
    cbport_->setGeometry(328, 143, 89, cbport_->sizeHint().height());

    Avanzamento_ = new QProgressBar(this);
    Avanzamento_->setObjectName("Avanzamento");
    Avanzamento_->setGeometry(8, 176, 417, 24);
    Avanzamento_->setTextVisible(false);
    Avanzamento_->setValue(0);

    // The upper part, above the controls placed below it: what the update reads and writes.
    // The rows at 72 and 88 show the SHA-256 of bank1.bin and of the new firmware once merged.
    auto addRow = [this](const char* name, const QString& caption, int top) {
        auto* title = new QLabel(caption, this);
        title->setObjectName(QStringLiteral("%1Caption").arg(QLatin1String(name)));
        title->setGeometry(8, top, kPathLeft - 12, kRowHeight);
        auto* value = new QLabel(this);
        value->setObjectName(name);
        value->setGeometry(kPathLeft, top, kPathWidth, kRowHeight);
        title->setBuddy(value);
        return value;
    };
    projectPath_ = addRow("ProjectPath", QStringLiteral("Project"), 24);
    basePath_ = addRow("BaseFirmwarePath", QStringLiteral("Reads base firmware"), 40);
    newPath_ = addRow("NewFirmwarePath", QStringLiteral("Writes new firmware"), 56);
    imageHash_ = addRow("ImageHash", QStringLiteral("SHA-256 bank1.bin"), 72);
    firmwareHash_ = addRow("FirmwareHash", QStringLiteral("SHA-256 new firmware"), 88);
    for (QLabel* hash : {imageHash_, firmwareHash_})
        hash->setTextInteractionFlags(Qt::TextSelectableByMouse);
    imageHashCaption_ = findChild<QLabel*>(QStringLiteral("ImageHashCaption"));
    firmwareHashCaption_ = findChild<QLabel*>(QStringLiteral("FirmwareHashCaption"));
    // The red line takes the hash rows' place, never shown with them (a merge that gives hashes
    // leaves nothing to say), down to the port's caption: three lines, so a long reason shows
    // whole; the tooltip holds it too.
    disabledReason_ = new ReasonLabel(this);
    disabledReason_->setObjectName("DisabledReason");
    disabledReason_->setGeometry(8, 72, 417, 126 - 2 - 72);
    disabledReason_->setStyleSheet(QStringLiteral("color: rgb(176, 32, 32);"));
    auto* portCaption = new QLabel(QStringLiteral("Serial port"), this);
    portCaption->setObjectName("PortCaption");
    portCaption->setGeometry(328, 126, 89, kRowHeight);
    portCaption->setBuddy(cbport_);

    // Below the hash rows: how far the report is, then where it went.
    reportProgress_ = new QLabel(this);
    reportProgress_->setObjectName("ReportProgress");
    reportProgress_->setGeometry(8, 104, 417, kRowHeight);

    auto* bar = new QFrame(this);
    bar->setObjectName("DecorativeBar");
    bar->setGeometry(8, 208, 417, 10);
    bar->setStyleSheet(
        QStringLiteral("background-color: rgb(166, 202, 240); border: 1px solid rgb(64, 64, 64);"));
}

TFModifyFileSx::~TFModifyFileSx() {
    if (reportThread_) {
        reportThread_->wait();
        delete reportThread_;
        QGuiApplication::restoreOverrideCursor(); // its ReportDone will never run
    }
}

void TFModifyFileSx::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TFModifyFileSx::FormShow() {
    CentreOnScreen(this);
    cbport_->setCurrentIndex(0);
    Avanzamento_->setValue(0);
    LbButton2_->setEnabled(false);

    // Without a project folder there is nothing to update: "/bin/" must never pass for its bin
    // folder, and another project's image must never be taken for this one's.
    const std::string& project = workspace_.ProjectFolder;
    const ProjectFiles files(project);
    if (!project.empty() && FolderExists(files.BinFolder()))
        BinDir = files.MergeBinFolder();
    else
        BinDir.clear();
    const std::string base = ProjectFiles::BaseFirmwareIn(workspace_.MasterFolder);
    ShowPlan(project, base, project.empty() ? std::string() : files.NewFirmware());
    const QString disabled = QStringLiteral("\"Execute update firmware\" is off: ");
    if (project.empty()) {
        ShowReason(disabled + QStringLiteral("no project is open."));
        return;
    }

    if (!FileExists(base)) {
        // A FIFO or a device there is named for what it is rather than reported missing.
        if (RegularFile opened = RegularFile::Open(base, kFirmwareReadLimit); !opened.missing()) {
            ShowReason(disabled + QString::fromStdString(opened.error()));
            services_.boxes->Error(this, QString::fromStdString(opened.error()));
            return;
        }
        ShowReason(disabled + QStringLiteral("%1 is missing from MASTER.")
                                  .arg(QString::fromLatin1(ProjectFiles::kBaseFirmwareName)));
        services_.boxes->Error(this,
                               QStringLiteral("Error file %1 not found")
                                   .arg(QString::fromLatin1(ProjectFiles::kBaseFirmwareName)));
        return;
    }
    if (!QDir::setCurrent(QString::fromStdString(workspace_.MasterFolder))) {
        ShowReason(disabled + QStringLiteral("MASTER cannot be made the working folder."));
        services_.boxes->Error(this, QStringLiteral("Error"));
        return;
    }
    BaseFileSx = ProjectFiles::kBaseFirmwareName;
    OutDir = files.OutputFolder();
    NewFileSxName = ProjectFiles::NewFirmwareName();
    // The tool learns the new firmware's path from one quoted Windows-1252 string; a path that
    // string cannot carry would start it on another file or on none, with nothing said here.
    if (std::string problem = FlashToolPathProblem(files.NewFirmware()); !problem.empty()) {
        ShowReason(disabled + QStringLiteral("Progwerk.exe cannot be given this project's path, "
                                             "since %1.")
                                  .arg(QString::fromStdString(problem)));
        return;
    }
    LbButton2_->setEnabled(true);
}

void TFModifyFileSx::ShowReason(const QString& text) {
    disabledReason_->setText(text);
    disabledReason_->setToolTip(text);
}

void TFModifyFileSx::ShowPath(QLabel* label, const std::string& path) {
    const QString full = QString::fromStdString(path);
    // Long paths lose their middle: the root and the file name are what tell them apart.
    label->setText(label->fontMetrics().elidedText(full, Qt::ElideMiddle, label->width()));
    label->setToolTip(full);
}

void TFModifyFileSx::ShowPlan(const std::string& project, const std::string& base,
                              const std::string& written) {
    ShowPath(projectPath_, project.empty() ? std::string("(none)") : project);
    ShowPath(basePath_, base);
    ShowPath(newPath_, written);
    ForgetLastMerge();
}

void TFModifyFileSx::ForgetLastMerge() {
    ShowReason(QString());
    // The hash rows appear with their hashes: before a merge there is nothing to show.
    for (QLabel* row : {imageHash_, firmwareHash_, imageHashCaption_, firmwareHashCaption_})
        row->hide();
    imageHash_->clear();
    firmwareHash_->clear();
    mergeWritten_ = false;
    reportButton_->setEnabled(false);
    if (!reportThread_)
        reportProgress_->clear();
}

void TFModifyFileSx::LbButton2Click() {
    RunCommand(this, *services_.boxes, [this] {
        // Nests inside Update Device's lock; shown on its own, the dialog takes it here.
        ProjectUpdate update{ProjectFiles(workspace_.ProjectFolder), services_.projectLockWait};
        if (update.refused()) {
            services_.boxes->Error(this, QString::fromStdString(update.refusal()));
            return;
        }
        // A firmware that the merge did not finish, or an older one left beside it, never goes
        // to the device.
        if (ExeModFileSxClick(update))
            ExeUpdateFirClick();
    });
}

bool TFModifyFileSx::ExeModFileSxClick(ProjectUpdate& update) {
    ForgetLastMerge();
    BoxReporter reporter(*services_.boxes, this);
    BarProgress progress(*Avanzamento_);
    MergeResult merged;
    {
        BusyCursor busy;
        merged = *update.Merge(BaseFileSx, reporter, progress).merge;
    }
    if (merged.outcome == MergeOutcome::OpenFailed)
        throw std::runtime_error(merged.error);
    for (const char* leftover : kBankLeftovers) {
        std::error_code ignored; // only those that exist are removed
        std::filesystem::remove(platform::PathOfUtf8(OutDir + leftover), ignored);
    }
    if (merged.outcome == MergeOutcome::Written) {
        ShowHash(imageHash_, Sha256OfFile(ProjectFiles::ImageInMergeBin(BinDir)));
        ShowHash(firmwareHash_, merged.hash); // taken as the merge wrote it
        mergeWritten_ = true;
        reportButton_->setEnabled(!reportThread_);
    } else if (merged.outcome == MergeOutcome::MergeFailed) {
        // The box says only that it failed; the cause stays here for the user to act on.
        ShowReason(
            QStringLiteral("%1 was not written: %2")
                .arg(QString::fromStdString(NewFileSxName), QString::fromStdString(merged.error)));
    }
    return merged.outcome == MergeOutcome::Written;
}

void TFModifyFileSx::SaveReportClick() {
    RunCommand(this, *services_.boxes, [this] {
        if (reportThread_)
            return;
        QString path = QString::fromStdString(OutDir + "commissioning-report.pdf");
        if (!services_.files ||
            !services_.files->ChooseFile(this, QStringLiteral("Save commissioning report"),
                                         QStringLiteral("PDF files (*.pdf)"), true, path))
            return;
        ReportSources sources;
        sources.projectFolder = workspace_.ProjectFolder;
        sources.masterFolder = workspace_.MasterFolder;
        sources.toolSettingsFolder = workspace_.DataFolder; // Progwerk.ini is kept there
        sources.portIndex = cbport_->currentIndex();
        SystemClock system;
        const LocalTime now = (services_.clock ? *services_.clock : system).Now();

        // A report of 2000 rows takes seconds to draw: a worker draws and writes it while the
        // dialog stays live. It paints only on a QPdfWriter (no pixmap, no widget), which Qt
        // allows off the user-interface thread; it touches no widget and reports back through
        // queued calls to this dialog, which waits for it before it goes away.
        reportButton_->setEnabled(false);
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        reportProgress_->setText(QStringLiteral("Writing the report: reading the project..."));
        reportThread_ = QThread::create([this, sources, now, path] {
            QElapsedTimer timer;
            timer.start();
            FixedClock clock(now);
            QString failure;
            int pages = 0;
            try {
                const CommissioningReport report = MakeCommissioningReport(sources, clock);
                const ReportPdf pdf = CommissioningReportPdf(report, [this](int page, int count) {
                    QMetaObject::invokeMethod(
                        this,
                        [this, page, count] {
                            reportProgress_->setText(
                                QStringLiteral("Writing the report: page %1 of %2...")
                                    .arg(page)
                                    .arg(count));
                        },
                        Qt::QueuedConnection);
                });
                pages = pdf.pages;
                // The PDF is whole in memory; the file takes it in one atomic replacement.
                auto written = WriteFileAtomically(
                    path.toStdString(),
                    std::string_view(pdf.bytes.constData(), static_cast<size_t>(pdf.bytes.size())));
                if (!written.ok())
                    failure = QString::fromStdString(written.message());
            } catch (const std::exception& error) {
                failure = QString::fromStdString(error.what());
            }
            const qint64 ms = timer.elapsed();
            QMetaObject::invokeMethod(
                this, [this, path, failure, pages, ms] { ReportDone(path, failure, pages, ms); },
                Qt::QueuedConnection);
        });
        reportThread_->start();
    });
}

void TFModifyFileSx::ReportDone(const QString& path, const QString& failure, int pages, qint64 ms) {
    reportThread_->wait();
    delete reportThread_;
    reportThread_ = nullptr;
    QGuiApplication::restoreOverrideCursor();
    reportButton_->setEnabled(mergeWritten_);
    if (!failure.isEmpty()) {
        reportProgress_->setText(QStringLiteral("The report was not written."));
        services_.boxes->Error(this, failure);
    } else {
        reportProgress_->setText(QStringLiteral("Report saved: %1, %2 pages in %3 s")
                                     .arg(QFileInfo(path).fileName())
                                     .arg(pages)
                                     .arg(double(ms) / 1000.0, 0, 'f', 1));
        reportProgress_->setToolTip(path);
    }
    emit reportWritten(failure.isEmpty());
}

void TFModifyFileSx::ShowHash(QLabel* label, const FileHash& hash) {
    const QString full = QString::fromStdString(hash.hex ? *hash.hex : hash.error);
    label->setText(label->fontMetrics().elidedText(full, Qt::ElideMiddle, label->width()));
    label->setToolTip(full);
    label->show();
    if (QWidget* caption = label == imageHash_ ? imageHashCaption_ : firmwareHashCaption_)
        caption->show();
}

void TFModifyFileSx::ExeUpdateFirClick() {
    std::string firmware = OutDir + NewFileSxName;
    if (!FileExists(firmware)) {
        services_.boxes->Plain(this, QStringLiteral("File *.Sx Not Found,Abort Procedure"));
        return;
    }
    std::string tool = workspace_.AppFolder + kSeparator + kFlashToolFileName;
    if (!FileExists(tool)) {
        services_.boxes->Plain(this, QStringLiteral("Progwerk.exe Not Found, Procedure Aborted"));
        return;
    }
    std::optional<std::string> parameters = FlashToolParameters(firmware, cbport_->currentIndex());
    if (!parameters) {
        services_.boxes->Error(
            this, QStringLiteral("The path %1 holds characters that cannot be passed to "
                                 "Progwerk.exe; nothing was started.")
                      .arg(QString::fromStdString(firmware)));
        return;
    }
    bool started = services_.shell->StartDetached(QString::fromStdString(tool),
                                                  QByteArray::fromStdString(*parameters),
                                                  QString::fromStdString(workspace_.MasterFolder));
    if (!started)
        services_.boxes->Error(this, QStringLiteral("Progwerk.exe could not be started; the "
                                                    "device was not updated."));
}

} // namespace fabricor
