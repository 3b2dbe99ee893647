#include "front/shell/test_device_window.h"

#include "base/atomic_file.h"
#include "gateway/gateway_project.h"
#include "gateway/probe_client.h"
#include "platform/files.h"
#include "style/style.h"

#include <QAbstractTableModel>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace fabricor {

using namespace gateway;

namespace {

constexpr double kTrendSeconds = 300; // the plot shows the last five minutes
constexpr size_t kTrendSamples = 600;

QColor StatusColour(ProbeStatus status) {
    switch (status) {
    case ProbeStatus::Ok:
        return QColor(198, 239, 206);
    case ProbeStatus::TimeOut:
        return QColor(255, 235, 156);
    case ProbeStatus::Exception:
    case ProbeStatus::NoConnection:
        return QColor(255, 199, 206);
    case ProbeStatus::NotServed:
        return QColor(221, 221, 221);
    case ProbeStatus::Pending:
        break;
    }
    return {};
}

QString RangeText(uint32_t first, uint32_t count) {
    return count <= 1 ? QString::number(first)
                      : QStringLiteral("%1-%2").arg(first).arg(first + count - 1);
}

} // namespace

// The reads' thread and what it shares with the window. The thread owns a reference, so a
// stopped test ends on its own even after the window is gone; it reaches the window only
// through `window`, which the window clears under the lock when it stops.
struct ProbeWorker {
    ProbeWorker(const std::string& host, uint16_t port, int timeOutMs)
        : client(host, port, timeOutMs) {}
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    QPointer<TFTestDevice> window;
    ProbeClient client;

    bool Stopped() {
        std::lock_guard lock(mutex);
        return stop;
    }
    template <typename F> void Post(F&& call) {
        std::lock_guard lock(mutex);
        if (window)
            QMetaObject::invokeMethod(window.data(), std::forward<F>(call), Qt::QueuedConnection);
    }
};

class ProbeRowsModel final : public QAbstractTableModel {
public:
    explicit ProbeRowsModel(TFTestDevice& window, const std::vector<std::string>& causes,
                            QObject* parent)
        : QAbstractTableModel(parent), window_(window), causes_(causes) {}
    enum Column { Row, Mnemonic, Kind, Tcp, Device, Rtu, Status, Time, Values, Cause, Count };

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(window_.plan().size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : Count;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const char* const names[] = {"Row", "Mnemonic", "Data type", "TCP",    "Device",
                                            "RTU", "Status",   "Time",      "Values", "Cause"};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < Count)
            return QString::fromLatin1(names[section]);
        return {};
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const auto& request = window_.plan()[size_t(index.row())];
        const auto& result = window_.results()[size_t(index.row())];
        if (role == Qt::BackgroundRole && index.column() == Status)
            return result.status == ProbeStatus::Pending ? QVariant()
                                                         : QVariant(StatusColour(result.status));
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
            return {};
        switch (index.column()) {
        case Row:
            return request.row ? QVariant(qulonglong(request.row)) : QVariant();
        case Mnemonic:
            return QString::fromStdString(request.mnemonic);
        case Kind:
            return QString::fromStdString(KindWord(request.kind));
        case Tcp:
            return RangeText(request.tcpAddress, request.count);
        case Device:
            return request.rtuDevice;
        case Rtu:
            return RangeText(request.rtuAddress, request.count);
        case Status:
            return QString::fromStdString(StatusText(result));
        case Time:
            return result.status == ProbeStatus::Pending || result.status == ProbeStatus::NotServed
                       ? QVariant()
                       : QVariant(QStringLiteral("%1 ms").arg(result.ms, 0, 'f', 1));
        case Values: {
            QStringList values;
            for (size_t i = 0; i < result.values.size() && i < 16; ++i)
                values << QString::number(result.values[i]);
            if (result.values.size() > 16)
                values << QStringLiteral("...");
            return values.join(' ');
        }
        case Cause:
            return QString::fromStdString(request.notServed.empty() ? causes_[size_t(index.row())]
                                                                    : request.notServed);
        }
        return {};
    }
    void Reset() {
        beginResetModel();
        endResetModel();
    }
    void RowChanged(size_t row) {
        emit dataChanged(index(int(row), Status), index(int(row), Values));
    }
    void CausesChanged() {
        if (rowCount())
            emit dataChanged(index(0, Cause), index(rowCount() - 1, Cause));
    }

private:
    TFTestDevice& window_;
    const std::vector<std::string>& causes_;
};

// The selected row's first value over the last minutes, drawn with QPainter: one line graph
// does not need a charting module the Windows build would have to carry too.
class TrendPlot final : public QWidget {
public:
    explicit TrendPlot(QWidget* parent) : QWidget(parent) {
        setObjectName("Trend");
        setMinimumHeight(120);
    }
    void Show(QString title, std::deque<std::pair<double, double>> samples, double now) {
        title_ = std::move(title);
        samples_ = std::move(samples);
        now_ = now;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillRect(rect(), Qt::white);
        const QRectF area = QRectF(rect()).adjusted(48, 18, -8, -16);
        painter.setPen(QColor(180, 180, 180));
        painter.drawRect(area);
        painter.setPen(kTextColour);
        painter.drawText(QRectF(rect()).adjusted(4, 2, -4, 0), Qt::AlignLeft | Qt::AlignTop,
                         title_);
        painter.drawText(QRectF(area.left(), area.bottom(), area.width(), 16),
                         Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("-5 min"));
        painter.drawText(QRectF(area.left(), area.bottom(), area.width(), 16),
                         Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("now"));
        if (samples_.empty())
            return;
        double low = samples_.front().second, high = low;
        for (const auto& [time, value] : samples_)
            low = std::min(low, value), high = std::max(high, value);
        if (high == low)
            low -= 1, high += 1;
        painter.drawText(QRectF(0, area.top() - 6, 44, 14), Qt::AlignRight, QString::number(high));
        painter.drawText(QRectF(0, area.bottom() - 8, 44, 14), Qt::AlignRight,
                         QString::number(low));
        auto at = [&](double time, double value) {
            return QPointF(area.left() + area.width() * (1 - (now_ - time) / kTrendSeconds),
                           area.bottom() - area.height() * (value - low) / (high - low));
        };
        QPainterPath path(at(samples_.front().first, samples_.front().second));
        for (const auto& [time, value] : samples_)
            path.lineTo(at(time, value));
        painter.setPen(QPen(QColor(31, 119, 180), 1.5));
        painter.setClipRect(area);
        painter.drawPath(path);
    }

private:
    QString title_;
    std::deque<std::pair<double, double>> samples_;
    double now_ = 0;
};

TFTestDevice::TFTestDevice(const Services& services, QWidget* parent)
    : QDialog(parent), services_(services) {
    setObjectName("TFTestDevice");
    setWindowTitle(QStringLiteral("Test Device"));
    ApplyFabricorLook(this);
    resize(1180, 640);

    E_Host_ = new QLineEdit(this);
    E_Host_->setObjectName("E_Host");
    SE_Port_ = new QSpinBox(this);
    SE_Port_->setObjectName("SE_Port");
    SE_Port_->setRange(1, 65535);
    SE_Interval_ = new QSpinBox(this);
    SE_Interval_->setObjectName("SE_Interval");
    SE_Interval_->setRange(0, 3600000);
    SE_Interval_->setSingleStep(100);
    SE_Interval_->setSuffix(QStringLiteral(" ms"));
    SE_Interval_->setValue(1000);
    btn_Start_ = new QPushButton(QStringLiteral("Start"), this);
    btn_Start_->setObjectName("btn_Start");
    btn_Stop_ = new QPushButton(QStringLiteral("Stop"), this);
    btn_Stop_->setObjectName("btn_Stop");
    btn_SaveCsv_ = new QPushButton(QStringLiteral("Save results as CSV"), this);
    btn_SaveCsv_->setObjectName("btn_SaveCsv");
    L_Summary_ = new QLabel(this);
    L_Summary_->setObjectName("L_Summary");
    L_Summary_->setWordWrap(true);
    // Room for a few causes, so the rows below do not jump as the summary grows.
    L_Summary_->setMinimumHeight(5 * fontMetrics().lineSpacing());
    L_Summary_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    model_ = new ProbeRowsModel(*this, causes_, this);
    Grid_ = new QTableView(this);
    Grid_->setObjectName("Grid");
    Grid_->setModel(model_);
    Grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    Grid_->verticalHeader()->hide();
    Grid_->verticalHeader()->setDefaultSectionSize(20);
    Grid_->horizontalHeader()->setStretchLastSection(true);
    for (auto [column, width] : {std::pair{ProbeRowsModel::Row, 44},
                                 {ProbeRowsModel::Mnemonic, 110},
                                 {ProbeRowsModel::Kind, 110},
                                 {ProbeRowsModel::Tcp, 80},
                                 {ProbeRowsModel::Device, 50},
                                 {ProbeRowsModel::Rtu, 80},
                                 {ProbeRowsModel::Status, 230},
                                 {ProbeRowsModel::Time, 70},
                                 {ProbeRowsModel::Values, 170}})
        Grid_->setColumnWidth(column, width);
    Trend_ = new TrendPlot(this);

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Host"), this));
    controls->addWidget(E_Host_);
    controls->addWidget(new QLabel(QStringLiteral("Port"), this));
    controls->addWidget(SE_Port_);
    controls->addWidget(new QLabel(QStringLiteral("Interval"), this));
    controls->addWidget(SE_Interval_);
    controls->addWidget(btn_Start_);
    controls->addWidget(btn_Stop_);
    controls->addStretch();
    controls->addWidget(btn_SaveCsv_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(L_Summary_);
    layout->addWidget(Grid_, 1);
    layout->addWidget(Trend_);

    refresh_ = new QTimer(this);
    refresh_->setInterval(250);
    connect(refresh_, &QTimer::timeout, this, &TFTestDevice::Refresh);
    connect(btn_Start_, &QPushButton::clicked, this, &TFTestDevice::Start);
    connect(btn_Stop_, &QPushButton::clicked, this, &TFTestDevice::Stop);
    connect(btn_SaveCsv_, &QPushButton::clicked, this, &TFTestDevice::SaveResultsAsCsv);
    connect(Grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { ShowTrend(); });
    ShowRunning(false);
}

TFTestDevice::~TFTestDevice() {
    Stop();
}

bool TFTestDevice::running() const {
    return worker_ != nullptr;
}

void TFTestDevice::LoadProject(const std::string& projectFolder) {
    Stop();
    project_ = projectFolder;
    const auto loaded = LoadGatewayProject(projectFolder);
    E_Host_->setText(QString::fromStdString(loaded.deviceAddress));
    SE_Port_->setValue(std::clamp(int(loaded.settings.tcpPort), 1, 65535));
    mode_ = loaded.settings.mode;
    rows_ = loaded.settings.rows;
    timeOutMs_ = loaded.settings.timeOutMs;
    plan_ = PlanNatProbe(rows_);
    // Routing Mode passes requests through: each row is read at its device's own address.
    if (mode_ == OperationMode::Routing)
        for (auto& request : plan_)
            request.tcpAddress = request.rtuAddress;
    ClearResults();
    if (!loaded.problems.empty()) {
        plan_.clear();
        results_.clear();
        model_->Reset();
        L_Summary_->setText(QStringLiteral("The project would not save cleanly: %1")
                                .arg(QString::fromStdString(loaded.problems.front())));
    } else {
        L_Summary_->setText(QStringLiteral("%1 reads for %2 rows; Start reads them.")
                                .arg(plan_.size())
                                .arg(rows_.size()));
    }
    ShowTrend();
    ShowRunning(false);
}

// Rows the table never serves are known before any read.
void TFTestDevice::ClearResults() {
    results_.assign(plan_.size(), {});
    for (size_t i = 0; i < plan_.size(); ++i)
        if (!plan_[i].notServed.empty())
            results_[i].status = ProbeStatus::NotServed;
    causes_.assign(plan_.size(), {});
    history_.assign(plan_.size(), {});
    findings_.clear();
    model_->Reset();
}

void TFTestDevice::ShowRunning(bool running) {
    btn_Start_->setEnabled(!running && !plan_.empty());
    btn_Stop_->setEnabled(running);
    E_Host_->setEnabled(!running);
    SE_Port_->setEnabled(!running);
    SE_Interval_->setEnabled(!running);
}

void TFTestDevice::Start() {
    if (running() || plan_.empty())
        return;
    ClearResults();
    passes_ = 0;
    longestStepMs_ = 0;
    sinceStart_.start();
    // Wait a little longer than the device does, so its own time-out answer comes first.
    worker_ = std::make_shared<ProbeWorker>(E_Host_->text().trimmed().toStdString(),
                                            uint16_t(SE_Port_->value()), timeOutMs_ + 1000);
    worker_->window = this;
    const uint64_t generation = ++generation_;
    const auto interval = std::chrono::milliseconds(SE_Interval_->value());
    std::thread([worker = worker_, plan = plan_, interval, generation] {
        while (!worker->Stopped()) {
            RunProbePass(
                worker->client, plan,
                [&](size_t index, const ProbeResult& result) {
                    worker->Post([window = worker->window, generation, index, result] {
                        if (window)
                            window->TakeResult(generation, index, result);
                    });
                },
                [&] { return worker->Stopped(); });
            if (worker->Stopped())
                break;
            worker->Post([window = worker->window, generation] {
                if (window)
                    window->PassDone(generation);
            });
            std::unique_lock lock(worker->mutex);
            worker->wake.wait_for(lock, interval, [&] { return worker->stop; });
        }
    }).detach();
    refresh_->start();
    ShowRunning(true);
    L_Summary_->setText(QStringLiteral("Reading..."));
}

void TFTestDevice::Stop() {
    if (!worker_)
        return;
    {
        std::lock_guard lock(worker_->mutex);
        worker_->stop = true;
        worker_->window = nullptr;
    }
    worker_->wake.notify_all();
    worker_->client.Interrupt();
    worker_.reset();
    ++generation_;
    refresh_->stop();
    dirty_ = true;
    Refresh();
    ShowRunning(false);
}

void TFTestDevice::closeEvent(QCloseEvent* event) {
    Stop();
    QDialog::closeEvent(event);
}

void TFTestDevice::Measure(const QElapsedTimer& step) {
    longestStepMs_ = std::max(longestStepMs_, double(step.nsecsElapsed()) / 1e6);
}

void TFTestDevice::TakeResult(uint64_t generation, size_t index, ProbeResult result) {
    if (generation != generation_ || index >= results_.size())
        return;
    QElapsedTimer step;
    step.start();
    if (result.status == ProbeStatus::Ok && !result.values.empty()) {
        auto& samples = history_[index];
        const double now = double(sinceStart_.elapsed()) / 1000;
        samples.emplace_back(now, result.values.front());
        while (samples.size() > kTrendSamples || samples.front().first < now - kTrendSeconds)
            samples.pop_front();
    }
    results_[index] = std::move(result);
    model_->RowChanged(index);
    dirty_ = true;
    Measure(step);
}

void TFTestDevice::PassDone(uint64_t generation) {
    if (generation == generation_)
        ++passes_;
}

void TFTestDevice::Refresh() {
    if (!dirty_)
        return;
    QElapsedTimer step;
    step.start();
    dirty_ = false;
    findings_ = DiagnoseProbe(plan_, results_, mode_);
    std::fill(causes_.begin(), causes_.end(), std::string());
    for (const auto& finding : findings_)
        for (size_t index : finding.requests)
            if (index < causes_.size())
                causes_[index] = finding.device >= 0 && finding.cause != ProbeCause::NotServed
                                     ? "device " + std::to_string(finding.device) + ": " +
                                           ShortCause(finding.cause)
                                     : ShortCause(finding.cause);
    model_->CausesChanged();
    QStringList lines{QString::fromStdString(ProbeSummary(results_, findings_))};
    for (const auto& finding : findings_)
        lines << QStringLiteral("· ") + QString::fromStdString(finding.text);
    L_Summary_->setText(lines.join('\n'));
    ShowTrend();
    Measure(step);
}

QString TFTestDevice::summary() const {
    return L_Summary_->text();
}

void TFTestDevice::ShowTrend() {
    const int row = Grid_->currentIndex().isValid() ? Grid_->currentIndex().row() : -1;
    if (row < 0 || size_t(row) >= history_.size()) {
        Trend_->Show(QStringLiteral("Select a row to see its first value over the last 5 minutes"),
                     {}, 0);
        return;
    }
    const auto& request = plan_[size_t(row)];
    Trend_->Show(QStringLiteral("Row %1 %2: %3 %4")
                     .arg(request.row)
                     .arg(QString::fromStdString(request.mnemonic))
                     .arg(QString::fromStdString(KindWord(request.kind)))
                     .arg(request.tcpAddress),
                 history_[size_t(row)], double(sinceStart_.elapsed()) / 1000);
}

void TFTestDevice::SaveResultsAsCsv() {
    if (!services_.files)
        return;
    QString path = QString::fromStdString(
        platform::Utf8Name(platform::PathOfUtf8(project_) / "test-device.csv"));
    if (!services_.files->ChooseFile(this, QStringLiteral("Save results as CSV"),
                                     QStringLiteral("CSV files (*.csv)"), true, path))
        return;
    std::string text = ProbeCsvHeader();
    for (size_t i = 0; i < plan_.size(); ++i)
        text += ProbeCsvLine(plan_[i], results_[i]);
    AtomicFileWriter writer(path.toStdString(), *services_.fileOutput);
    Status status = writer.Open();
    if (status.ok())
        status = writer.Write(text);
    if (status.ok())
        status = writer.Commit();
    if (!status.ok())
        services_.boxes->Error(this, QString::fromStdString(status.message()));
}

} // namespace fabricor
