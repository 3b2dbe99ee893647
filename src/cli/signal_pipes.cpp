#include "cli/signal_pipes.h"

#ifdef _WIN32
#include <winsock2.h> // before windows.h

#include <windows.h>

#include <cstdint>

namespace fabricor::cli {

namespace {

// One stop connection at a time: the console handler finds its writing end here.
SOCKET stopWrite = INVALID_SOCKET;

// Ctrl-C, Ctrl-Break or a closed console: the loop waits on sockets only, so the stop is a byte
// sent over a loopback connection of the process's own. The caller has started Windows sockets.
BOOL WINAPI StopOnConsoleEvent(DWORD) {
    const char byte = 1;
    ::send(stopWrite, &byte, 1, 0);
    return TRUE;
}

} // namespace

SignalPipes::SignalPipes() {
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    SOCKET writer = INVALID_SOCKET, reader = INVALID_SOCKET;
    if (listener != INVALID_SOCKET &&
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(listener, 1) == 0 &&
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
        (writer = ::socket(AF_INET, SOCK_STREAM, 0)) != INVALID_SOCKET &&
        ::connect(writer, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        reader = ::accept(listener, nullptr, nullptr);
    if (listener != INVALID_SOCKET)
        ::closesocket(listener);
    if (reader == INVALID_SOCKET) {
        if (writer != INVALID_SOCKET)
            ::closesocket(writer);
        return;
    }
    stop_[0] = int(intptr_t(reader));
    stop_[1] = int(intptr_t(writer));
    stopWrite = writer;
    SetConsoleCtrlHandler(StopOnConsoleEvent, TRUE);
    ok_ = true;
}

SignalPipes::~SignalPipes() {
    if (!ok_)
        return;
    SetConsoleCtrlHandler(StopOnConsoleEvent, FALSE);
    stopWrite = INVALID_SOCKET;
    ::closesocket(SOCKET(intptr_t(stop_[1])));
    ::closesocket(SOCKET(intptr_t(stop_[0])));
}

bool SignalPipes::Take(int fd) {
    u_long waiting = 0;
    if (fd < 0 || ::ioctlsocket(SOCKET(intptr_t(fd)), FIONREAD, &waiting) != 0 || waiting == 0)
        return false;
    char bytes[64];
    while (waiting > 0) {
        const int got = ::recv(SOCKET(intptr_t(fd)), bytes, sizeof bytes, 0);
        if (got <= 0)
            break;
        waiting = waiting > u_long(got) ? waiting - u_long(got) : 0;
    }
    return true;
}

} // namespace fabricor::cli

#else
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

#endif
