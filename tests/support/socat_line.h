#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fabricor::test_support {

// A serial line made of a socat pseudo-terminal pair: `device` is the end a program under test
// opens, `host` the far end, which the test reads as the device would (Gather, Drain) or leaves
// to a peer of its own (an RTU slave) to open.
class SocatLine {
public:
    enum class FarEnd { ReadByTest, LeftToPeer };

    // Starts socat and waits until it tells (on its error output) that both ends exist.
    explicit SocatLine(const std::filesystem::path& folder, FarEnd farEnd = FarEnd::ReadByTest,
                       const std::string& deviceName = "device",
                       const std::string& hostName = "host")
        : device_(folder / deviceName), host_(folder / hostName) {
        int pipeEnds[2];
        if (::pipe(pipeEnds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        std::string device = "pty,raw,echo=0,link=" + device_.string();
        std::string host = "pty,raw,echo=0,link=" + host_.string();
        const char* argv[] = {"socat", "-d", "-d", device.c_str(), host.c_str(), nullptr};
        if (posix_spawn(&socat_, "/usr/bin/socat", &actions, nullptr, const_cast<char**>(argv),
                        environ) != 0)
            socat_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeEnds[1]);
        char buffer[512];
        ssize_t got;
        while (said_.find("starting data transfer loop") == std::string::npos &&
               (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0)
            said_.append(buffer, size_t(got));
        ::close(pipeEnds[0]);
        if (ready() && farEnd == FarEnd::ReadByTest)
            hostFd_ = ::open(host_.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    }
    ~SocatLine() {
        if (hostFd_ >= 0)
            ::close(hostFd_);
        Kill();
    }
    SocatLine(const SocatLine&) = delete;
    SocatLine& operator=(const SocatLine&) = delete;

    bool ready() const { return said_.find("starting data transfer loop") != std::string::npos; }
    bool open() const { return hostFd_ >= 0; }
    const std::string& said() const { return said_; }
    const std::filesystem::path& device() const { return device_; }
    const std::filesystem::path& host() const { return host_; }

    // Ends the line for good, as a serial adapter pulled out.
    void Kill() {
        if (socat_ > 0) {
            ::kill(socat_, SIGTERM);
            ::waitpid(socat_, nullptr, 0);
            socat_ = 0;
        }
    }

    // Holds socat still, as a busy machine does: what is written waits between the two ends.
    void Pause() { ::kill(socat_, SIGSTOP); }
    void Resume() { ::kill(socat_, SIGCONT); }

    // Reads what arrives for one short wait; `done` tells when to stop waiting for more.
    template <typename Done>
    std::string Gather(Done done, std::chrono::seconds limit = std::chrono::seconds(30)) {
        std::string received;
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done(received) && std::chrono::steady_clock::now() < deadline) {
            pollfd line{hostFd_, POLLIN, 0};
            if (::poll(&line, 1, 50) > 0 && (line.revents & POLLIN)) {
                char buffer[4096];
                ssize_t got = ::read(hostFd_, buffer, sizeof buffer);
                if (got > 0)
                    received.append(buffer, size_t(got));
            }
        }
        return received;
    }

    // Appends whatever has arrived, without waiting: for a sender on the test's own thread, which
    // would block for good once the line is full.
    void Drain(std::string& into) {
        char buffer[4096];
        ssize_t got;
        while ((got = ::read(hostFd_, buffer, sizeof buffer)) > 0)
            into.append(buffer, size_t(got));
    }

private:
    std::filesystem::path device_, host_;
    pid_t socat_ = 0;
    int hostFd_ = -1;
    std::string said_;
};

} // namespace fabricor::test_support
