// A libmodbus RTU slave on a serial port, for trying the gateway without a field device:
// holding register i holds 1000 + i, input register i 2000 + i, coil i is on when i is a
// multiple of 3, discrete input i when i is odd (200 of each). Runs until Ctrl-C.
//
//   rtu_slave DEVICE [ADDRESS]

#include "gateway/rtu_peers.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "Usage: rtu_slave DEVICE [ADDRESS]\n");
        return 2;
    }
    const int address = argc > 2 ? std::atoi(argv[2]) : 1;
    fabricor::test_support::RtuSlave slave(argv[1], address);
    if (!slave.connected()) {
        std::fprintf(stderr, "rtu_slave: cannot open %s\n", argv[1]);
        return 1;
    }
    std::printf("RTU slave %d on %s; Ctrl-C stops it.\n", address, argv[1]);
    std::fflush(stdout);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    int signal = 0;
    sigwait(&stop, &signal);
    return 0;
}
