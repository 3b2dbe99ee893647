#pragma once

#include "front/seams/services.h"
#include "gateway/probe.h"

#include <QDialog>
#include <QElapsedTimer>

#include <deque>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableView;
class QTimer;

namespace fabricor {

class ProbeRowsModel;
class TrendPlot;
struct ProbeWorker;

// Test Device: reads every row of the current project's table through the device, over and
// over, and shows per row whether it answers, how fast, with what, and if not the likely cause.
// The reads run on a thread of their own; the window only shows what they bring.
class TFTestDevice : public QDialog {
    Q_OBJECT
public:
    TFTestDevice(const Services& services, QWidget* parent = nullptr);
    ~TFTestDevice() override;

    // Takes the host, the port and the table from the project folder; stops a running test.
    void LoadProject(const std::string& projectFolder);

    bool running() const;
    const std::vector<gateway::ProbeRequest>& plan() const { return plan_; }
    const std::vector<gateway::ProbeResult>& results() const { return results_; }
    QString summary() const;
    // The longest time one result or one summary took on the user-interface thread.
    double longestStepMs() const { return longestStepMs_; }
    // Passes completed since Start.
    int passes() const { return passes_; }

    void Start();
    void Stop();
    void SaveResultsAsCsv();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void TakeResult(uint64_t generation, size_t index, gateway::ProbeResult result);
    void PassDone(uint64_t generation);
    void Refresh();
    void ShowTrend();
    void ClearResults();
    void ShowRunning(bool running);
    void Measure(const QElapsedTimer& step);

    Services services_;
    std::string project_;
    OperationMode mode_ = OperationMode::Nat;
    std::vector<TMyRec> rows_;
    int timeOutMs_ = 1000;
    std::vector<gateway::ProbeRequest> plan_;
    std::vector<gateway::ProbeResult> results_;
    std::vector<gateway::ProbeFinding> findings_;
    std::vector<std::string> causes_; // by request: the short cause of its failure
    // By request: (seconds since Start, first value) of the last minutes.
    std::vector<std::deque<std::pair<double, double>>> history_;
    QElapsedTimer sinceStart_;
    std::shared_ptr<ProbeWorker> worker_;
    uint64_t generation_ = 0;
    bool dirty_ = false;
    int passes_ = 0;
    double longestStepMs_ = 0;

    QLineEdit* E_Host_ = nullptr;
    QSpinBox* SE_Port_ = nullptr;
    QSpinBox* SE_Interval_ = nullptr;
    QPushButton* btn_Start_ = nullptr;
    QPushButton* btn_Stop_ = nullptr;
    QPushButton* btn_SaveCsv_ = nullptr;
    QLabel* L_Summary_ = nullptr;
    QTableView* Grid_ = nullptr;
    ProbeRowsModel* model_ = nullptr;
    TrendPlot* Trend_ = nullptr;
    QTimer* refresh_ = nullptr;
};

} // namespace fabricor
