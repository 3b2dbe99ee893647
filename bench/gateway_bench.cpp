// Times a 10-register read through the software gateway against the same read sent straight to
// the RTU slave, both over a socat pseudo-terminal pair to a libmodbus RTU slave, the TCP side on
// 127.0.0.1. Prints requests per second and latencies; judges nothing. A pseudo-terminal has no
// baud rate, so these are the gateway's own costs; a real line adds its transmission times
// (see the README).
//
//   bench_gateway [--count N]

#include "gateway/gateway_server.h"
#include "gateway/rtu_peers.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace fabricor;

struct Figures {
    double seconds = 0;
    std::vector<double> ms; // each request's latency
    int failures = 0;
};

Figures Time(modbus_t* context, int count) {
    uint16_t registers[10];
    for (int i = 0; i < 50; ++i) // warm up
        modbus_read_registers(context, 20, 10, registers);
    Figures figures;
    figures.ms.reserve(size_t(count));
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        const auto before = Clock::now();
        if (modbus_read_registers(context, 20, 10, registers) != 10 || registers[9] != 1029)
            ++figures.failures;
        figures.ms.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - before).count());
    }
    figures.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::sort(figures.ms.begin(), figures.ms.end());
    return figures;
}

double Percentile(const std::vector<double>& sorted, double p) {
    return sorted[std::min(sorted.size() - 1, size_t(p * double(sorted.size())))];
}

void Print(const char* name, const Figures& f) {
    std::printf("%-16s %8.0f req/s  median %.3f ms  p90 %.3f ms  p99 %.3f ms  worst %.3f ms  "
                "failures %d\n",
                name, double(f.ms.size()) / f.seconds, Percentile(f.ms, 0.5), Percentile(f.ms, 0.9),
                Percentile(f.ms, 0.99), f.ms.back(), f.failures);
}

} // namespace

int main(int argc, char** argv) {
    int count = 5000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--count") == 0)
            count = std::max(1, std::atoi(argv[++i]));

    test_support::TempDir dir;
    test_support::PtyPair line(dir.path());
    if (!line.ready()) {
        std::fprintf(stderr, "bench_gateway: socat did not start\n");
        return 1;
    }
    test_support::RtuSlave slave(line.slave(), 1);

    modbus_t* direct = modbus_new_rtu(line.master().c_str(), 115200, 'N', 8, 1);
    modbus_set_slave(direct, 1);
    if (modbus_connect(direct) != 0) {
        std::fprintf(stderr, "bench_gateway: %s\n", modbus_strerror(errno));
        return 1;
    }
    const Figures straight = Time(direct, count);
    modbus_close(direct);
    modbus_free(direct);

    gateway::GatewayOptions options;
    options.settings.baudRate = 115200;
    options.settings.rows = {{3, 0, 1, 0, 100, "bench"}};
    options.serialDevice = line.master();
    options.listen = {"127.0.0.1", 0};
    gateway::GatewayServer server(options);
    if (auto problem = server.Open(); !problem.empty()) {
        std::fprintf(stderr, "bench_gateway: %s\n", problem.c_str());
        return 1;
    }
    int stop[2];
    if (::pipe(stop) != 0)
        return 1;
    std::thread loop([&] { server.Run(stop[0]); });
    modbus_t* client = modbus_new_tcp("127.0.0.1", server.port());
    modbus_set_response_timeout(client, 2, 0);
    Figures through;
    if (modbus_connect(client) == 0)
        through = Time(client, count);
    modbus_close(client);
    modbus_free(client);
    [[maybe_unused]] auto ignored = ::write(stop[1], "x", 1);
    loop.join();
    if (through.ms.empty()) {
        std::fprintf(stderr, "bench_gateway: cannot reach the gateway\n");
        return 1;
    }

    std::printf("%d reads of 10 holding registers each, RTU slave on a pseudo-terminal\n", count);
    Print("straight to RTU", straight);
    Print("through gateway", through);
    std::printf("added by the gateway: median %.3f ms, p90 %.3f ms\n",
                Percentile(through.ms, 0.5) - Percentile(straight.ms, 0.5),
                Percentile(through.ms, 0.9) - Percentile(straight.ms, 0.9));
    return 0;
}
