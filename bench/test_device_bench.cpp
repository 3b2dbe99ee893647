// Test Device polling a 2000-row table through the software gateway and an RTU slave on a
// pseudo-terminal, without a pause between passes: the longest step of the user-interface
// thread (one result taken, one summary made) and the longest stall of its event loop (a 5 ms
// heartbeat timer, painting included). Runs offscreen unless a display is asked for.
//
//   bench_test_device [--passes N]

#include "front/shell/test_device_window.h"
#include "documents/pargen.h"
#include "gateway/gateway_server.h"
#include "gateway/rtu_peers.h"
#include "probe_table.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSpinBox>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace fabricor;

int main(int argc, char** argv) {
    int passes = 3;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--passes") == 0)
            passes = std::max(1, std::atoi(argv[++i]));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    test_support::TempDir dir;
    auto parameters = NewProjectGeneralParameters();
    parameters.baudIndex = 7; // 115200
    if (!WriteGeneralParameters((dir / "pargen.xml").string(),
                                EncodeGeneralParameters(parameters)) ||
        !WriteTranslateTable((dir / "var.xml").string(), BenchProbeTable())) {
        std::fprintf(stderr, "bench_test_device: cannot write the project\n");
        return 1;
    }
    test_support::PtyPair line(dir.path());
    test_support::RtuSlave slave(line.slave(), 1);
    gateway::GatewayOptions options;
    options.settings.baudRate = 115200;
    options.settings.rows = BenchProbeTable();
    options.serialDevice = line.master();
    test_support::RunningGateway gateway(options);
    if (!line.ready() || !gateway.problem().empty()) {
        std::fprintf(stderr, "bench_test_device: no gateway: %s\n", gateway.problem().c_str());
        return 1;
    }

    TFTestDevice window{Services{}};
    window.LoadProject(dir.str());
    window.findChild<QSpinBox*>("SE_Port")->setValue(gateway.port());
    window.findChild<QSpinBox*>("SE_Interval")->setValue(0);
    // The first showing loads fonts and lays out 2000 rows once: timed apart from the polling.
    QElapsedTimer firstShow;
    firstShow.start();
    window.show();
    QApplication::processEvents();
    const double firstShowMs = double(firstShow.nsecsElapsed()) / 1e6;

    QElapsedTimer clock, sinceTick;
    double longestStall = 0;
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const double stall = double(sinceTick.nsecsElapsed()) / 1e6 - 5;
        if (stall > 20 && std::getenv("BENCH_VERBOSE"))
            std::fprintf(stderr, "stall %.1f ms at %.3f s\n", stall,
                         double(clock.elapsed()) / 1000);
        longestStall = std::max(longestStall, stall);
        sinceTick.restart();
    });
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (window.passes() >= passes || clock.elapsed() > 120000)
            application.quit();
    });
    clock.start();
    sinceTick.start();
    heartbeat.start();
    watch.start();
    window.Start();
    application.exec();
    const double seconds = double(clock.elapsed()) / 1000;
    window.Stop();

    std::printf("Test Device polling %zu reads, %d passes in %.2f s\n", window.plan().size(),
                window.passes(), seconds);
    std::printf("longest user-interface step: %.2f ms (target under 50 ms)\n",
                window.longestStepMs());
    std::printf("longest event-loop stall while polling (painting included): %.2f ms\n",
                longestStall);
    std::printf("first showing of the window: %.2f ms\n", firstShowMs);
    std::printf("%s\n", window.summary().section('\n', 0, 0).toStdString().c_str());
    return 0;
}
