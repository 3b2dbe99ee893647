#pragma once

namespace fabricor::cli {

// Signals as pipes a poll loop listens to: SIGINT and SIGTERM make stopFd() readable, SIGUSR1
// reportFd(). A handler only writes one byte (its flag) to its pipe, which is safe in a signal
// handler and wakes the loop; the loop does the work. The handlers before are put back at the end.
// On Windows, Ctrl-C, Ctrl-Break or a closed console make stopFd() (a loopback socket, since the
// loop waits on sockets there) readable, and there is no reportFd() (-1).
class SignalPipes {
public:
    SignalPipes();
    ~SignalPipes();
    SignalPipes(const SignalPipes&) = delete;
    SignalPipes& operator=(const SignalPipes&) = delete;

    bool ok() const { return ok_; }
    int stopFd() const { return stop_[0]; }
    int reportFd() const { return report_[0]; }
    // Takes the flags raised so far; true when there was any.
    static bool Take(int fd);

private:
    int stop_[2] = {-1, -1};
    int report_[2] = {-1, -1};
    bool ok_ = false;
};

} // namespace fabricor::cli
