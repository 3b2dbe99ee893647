// Times 'probe' of a 2000-row table through the software gateway and a libmodbus RTU slave on a
// socat pseudo-terminal pair, the gateway set to 115200 baud 8N1, and sets it against the line's
// physical limit: the request and answer frames of every read at 115200 baud, 11 bits a
// character (start, 8 data, parity or a second stop, stop), each frame followed by the
// 3.5-character silence that ends it. A pseudo-terminal carries bytes without a baud rate, so the
// time measured is the gateway's and the probe's own work plus the silences the gateway keeps
// (1750 us above 19200 baud); on a real line the transmission times come on top.
//
//   bench_probe [--passes N]

#include "gateway/gateway_server.h"
#include "gateway/probe.h"
#include "gateway/probe_client.h"
#include "gateway/rtu_peers.h"
#include "probe_table.h"
#include "support/temp_dir.h"

#include <chrono>
#include <cstdio>
#include <cstring>

using namespace fabricor;

namespace {

constexpr int kBaud = 115200;
constexpr double kBitsPerCharacter = 11;

// Bytes of the RTU request and answer of one read: address, function, data, CRC.
double FrameBytes(const gateway::ProbeRequest& request) {
    const double requestBytes = 1 + 1 + 4 + 2;
    const double data = request.kind <= 2 ? (request.count + 7) / 8 : 2.0 * request.count;
    return requestBytes + 1 + 1 + 1 + data + 2;
}

} // namespace

int main(int argc, char** argv) {
    int passes = 3;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--passes") == 0)
            passes = std::max(1, std::atoi(argv[++i]));

    test_support::TempDir dir;
    test_support::PtyPair line(dir.path());
    if (!line.ready()) {
        std::fprintf(stderr, "bench_probe: socat did not start\n");
        return 1;
    }
    test_support::RtuSlave slave(line.slave(), 1);
    gateway::GatewayOptions options;
    options.settings.baudRate = kBaud;
    options.settings.timeOutMs = 1000;
    options.settings.rows = BenchProbeTable();
    options.serialDevice = line.master();
    test_support::RunningGateway gateway(options);
    if (!gateway.problem().empty()) {
        std::fprintf(stderr, "bench_probe: %s\n", gateway.problem().c_str());
        return 1;
    }

    const auto plan = gateway::PlanNatProbe(options.settings.rows);
    double limitSeconds = 0;
    const double characterSeconds = kBitsPerCharacter / kBaud;
    for (const auto& request : plan)
        limitSeconds += (FrameBytes(request) + 2 * 3.5) * characterSeconds;

    gateway::ProbeClient client("127.0.0.1", gateway.port(), 2000);
    double best = 1e9;
    size_t failures = 0;
    for (int pass = 0; pass < passes; ++pass) {
        const auto start = std::chrono::steady_clock::now();
        gateway::RunProbePass(client, plan, [&](size_t, const gateway::ProbeResult& result) {
            failures += result.status != gateway::ProbeStatus::Ok;
        });
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("probe of %zu rows (%zu reads) through the gateway, RTU slave on a "
                "pseudo-terminal, %d baud 8N1\n",
                options.settings.rows.size(), plan.size(), kBaud);
    std::printf("best of %d passes: %.3f s; failed reads: %zu\n", passes, best, failures);
    std::printf("physical limit of the line (frames at %d baud, 11 bits a character, 3.5 "
                "characters of silence after each): %.3f s\n",
                kBaud, limitSeconds);
    std::printf("ratio: %.2fx (target within 1.5x)\n", best / limitSeconds);
    // On a real line the frames take their time on top of what was measured here.
    std::printf("projected on a real line (measured + line): %.3f s, %.2fx\n", best + limitSeconds,
                (best + limitSeconds) / limitSeconds);
    return failures ? 1 : 0;
}
