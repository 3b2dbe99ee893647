#include "cli/signal_pipes.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace fabricor::cli {

namespace {

// One set of pipes at a time: the handlers find them here.
int stopWrite = -1;
int reportWrite = -1;

struct sigaction oldInt {
}, oldTerm{}, oldUsr1{};

void Raise(int fd) {
    const char byte = 1;
    const int saved = errno;
    if (fd >= 0) [[maybe_unused]]
        auto ignored = ::write(fd, &byte, 1);
    errno = saved;
}

void OnStop(int) {
    Raise(stopWrite);
}

void OnReport(int) {
    Raise(reportWrite);
}

void CloseBoth(int (&ends)[2]) {
    for (int& end : ends)
        if (end >= 0) {
            ::close(end);
            end = -1;
        }
}

} // namespace

SignalPipes::SignalPipes() {
    if (::pipe2(stop_, O_CLOEXEC | O_NONBLOCK) != 0 ||
        ::pipe2(report_, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    stopWrite = stop_[1];
    reportWrite = report_[1];
    struct sigaction action {};
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    action.sa_handler = OnStop;
    ::sigaction(SIGINT, &action, &oldInt);
    ::sigaction(SIGTERM, &action, &oldTerm);
    action.sa_handler = OnReport;
    ::sigaction(SIGUSR1, &action, &oldUsr1);
    ok_ = true;
}

SignalPipes::~SignalPipes() {
    if (ok_) {
        ::sigaction(SIGINT, &oldInt, nullptr);
        ::sigaction(SIGTERM, &oldTerm, nullptr);
        ::sigaction(SIGUSR1, &oldUsr1, nullptr);
    }
    stopWrite = reportWrite = -1;
    CloseBoth(stop_);
    CloseBoth(report_);
}

bool SignalPipes::Take(int fd) {
    char bytes[64];
    bool any = false;
    ssize_t got;
    while ((got = ::read(fd, bytes, sizeof bytes)) > 0 || (got < 0 && errno == EINTR))
        any = any || got > 0;
    return any;
}

} // namespace fabricor::cli
