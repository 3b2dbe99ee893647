#pragma once

// Real Modbus peers for the gateway tests: a socat pseudo-terminal pair as the RTU line, a
// libmodbus RTU slave on its far end, and the gateway itself running on a thread.

#include "gateway/gateway_server.h"

#include <modbus/modbus.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace fabricor::testing {

// Two linked pseudo-terminals: the gateway opens `master()`, the slave `slave()`.
class PtyPair {
public:
    explicit PtyPair(const std::filesystem::path& folder)
        : master_(folder / "gateway-end"), slave_(folder / "slave-end") {
        int pipeEnds[2];
        if (::pipe(pipeEnds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        std::string a = "pty,raw,echo=0,link=" + master_.string();
        std::string b = "pty,raw,echo=0,link=" + slave_.string();
        const char* argv[] = {"socat", "-d", "-d", a.c_str(), b.c_str(), nullptr};
        if (posix_spawn(&socat_, "/usr/bin/socat", &actions, nullptr, const_cast<char**>(argv),
                        environ) != 0)
            socat_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeEnds[1]);
        std::string said;
        char buffer[512];
        ssize_t got;
        while (said.find("starting data transfer loop") == std::string::npos &&
               (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0)
            said.append(buffer, size_t(got));
        ::close(pipeEnds[0]);
        ready_ = said.find("starting data transfer loop") != std::string::npos;
    }
    ~PtyPair() { Kill(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // Ends the line for good, as a serial adapter pulled out.
    void Kill() {
        if (socat_ > 0) {
            ::kill(socat_, SIGTERM);
            ::waitpid(socat_, nullptr, 0);
            socat_ = 0;
        }
    }
    bool ready() const { return ready_; }
    std::string master() const { return master_.string(); }
    std::string slave() const { return slave_.string(); }

private:
    std::filesystem::path master_, slave_;
    pid_t socat_ = 0;
    bool ready_ = false;
};

// A libmodbus RTU slave on its own thread. Holding register i holds 1000 + i, input register i
// 2000 + i, coil i is on when i is a multiple of 3, discrete input i when i is odd; 200 of each.
class RtuSlave {
public:
    RtuSlave(const std::string& device, int address) {
        context_ = modbus_new_rtu(device.c_str(), 9600, 'N', 8, 1);
        mapping_ = modbus_mapping_new(200, 200, 200, 200);
        for (int i = 0; i < 200; ++i) {
            mapping_->tab_registers[i] = uint16_t(1000 + i);
            mapping_->tab_input_registers[i] = uint16_t(2000 + i);
            mapping_->tab_bits[i] = i % 3 == 0;
            mapping_->tab_input_bits[i] = i % 2;
        }
        modbus_set_slave(context_, address);
        modbus_set_indication_timeout(context_, 0, 50000);
        connected_ = modbus_connect(context_) == 0;
        if (connected_)
            thread_ = std::thread([this] { Serve(); });
    }
    ~RtuSlave() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (connected_)
            modbus_close(context_);
        modbus_mapping_free(mapping_);
        modbus_free(context_);
    }
    RtuSlave(const RtuSlave&) = delete;
    RtuSlave& operator=(const RtuSlave&) = delete;

    bool connected() const { return connected_; }
    // A muted slave still reads every request but answers none, as a device switched off.
    // (Not a device address nobody has: libmodbus's slave then takes the next request for the
    // answer it expects from that device.)
    void Mute(bool muted) { muted_ = muted; }
    // Every request it received, for it or not: address, function and data, without the CRC.
    std::vector<std::vector<uint8_t>> requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    uint16_t Register(int i) {
        std::lock_guard lock(mutex_);
        return mapping_->tab_registers[i];
    }
    bool Coil(int i) {
        std::lock_guard lock(mutex_);
        return mapping_->tab_bits[i] != 0;
    }

private:
    void Serve() {
        uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stop_) {
            const int got = modbus_receive(context_, request);
            if (got <= 0)
                continue;
            std::lock_guard lock(mutex_);
            requests_.emplace_back(request, request + got - 2);
            if (!muted_)
                modbus_reply(context_, request, got, mapping_);
        }
    }

    modbus_t* context_ = nullptr;
    modbus_mapping_t* mapping_ = nullptr;
    bool connected_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<bool> muted_{false};
    std::mutex mutex_;
    std::vector<std::vector<uint8_t>> requests_;
    std::thread thread_;
};

// An RTU device that misbehaves on cue: each request for its address takes the next step of its
// script, and once the script is used up it answers right at once. It serves holding registers
// only (register i holds 1000 + i) and, like a real device, one request at a time: while it
// waits to answer late, the next request waits on the line.
class ScriptedRtuPeer {
public:
    enum class Act {
        Answer,      // the right answer after `delay`
        Silent,      // no answer
        Drip,        // `bytes` (then nothing), one byte every `delay`
        OtherDevice, // the right answer, from the next address, after `delay`
        WrongLength, // the right answer with one register too many, after `delay`
    };
    struct Step {
        Act act = Act::Answer;
        std::chrono::milliseconds delay{0};
        std::vector<uint8_t> bytes;
    };

    ScriptedRtuPeer(const std::string& device, uint8_t address) : address_(address) {
        fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios raw{};
        if (fd_ >= 0 && ::tcgetattr(fd_, &raw) == 0) {
            ::cfmakeraw(&raw);
            ::tcsetattr(fd_, TCSANOW, &raw);
            thread_ = std::thread([this] { Serve(); });
        }
    }
    ~ScriptedRtuPeer() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
    }
    ScriptedRtuPeer(const ScriptedRtuPeer&) = delete;
    ScriptedRtuPeer& operator=(const ScriptedRtuPeer&) = delete;

    bool connected() const { return thread_.joinable(); }
    void Script(std::vector<Step> steps) {
        std::lock_guard lock(mutex_);
        script_.assign(steps.begin(), steps.end());
    }
    // Every answer, scripted or not, waits this long first: a slow line and a slow device.
    void AnswerAfter(std::chrono::milliseconds delay) { everyAnswer_ = delay; }
    size_t requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }

    static void AddCrc(std::vector<uint8_t>& frame) {
        uint16_t crc = 0xFFFF;
        for (uint8_t byte : frame) {
            crc ^= byte;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
        }
        frame.push_back(uint8_t(crc));
        frame.push_back(uint8_t(crc >> 8));
    }

private:
    // Sleeps, unless the peer is being stopped. False when it is.
    bool Pause(std::chrono::milliseconds delay) {
        std::unique_lock lock(mutex_);
        return !wake_.wait_for(lock, delay, [this] { return stop_; });
    }
    bool Stopping() {
        std::lock_guard lock(mutex_);
        return stop_;
    }

    // A request's length from its first bytes, 0 while not known yet.
    static size_t RequestLength(const std::vector<uint8_t>& in) {
        if (in.size() < 2)
            return 0;
        if (in[1] == 15 || in[1] == 16)
            return in.size() >= 7 ? 9u + in[6] : 0;
        return 8;
    }

    std::vector<uint8_t> RightAnswer(const std::vector<uint8_t>& request, int extra) {
        std::vector<uint8_t> answer = {address_, request[1]};
        const int first = (request[2] << 8) | request[3];
        const int count = (request[4] << 8) | request[5];
        if (request[1] == 3 || request[1] == 4) {
            answer.push_back(uint8_t(2 * (count + extra)));
            for (int i = 0; i < count + extra; ++i) {
                answer.push_back(uint8_t((1000 + first + i) >> 8));
                answer.push_back(uint8_t(1000 + first + i));
            }
        } else {
            for (size_t i = 2; i < 6; ++i)
                answer.push_back(request[i]);
        }
        return answer;
    }

    void Perform(const std::vector<uint8_t>& request) {
        Step step;
        {
            std::lock_guard lock(mutex_);
            ++requests_;
            if (!script_.empty()) {
                step = script_.front();
                script_.pop_front();
            }
        }
        if (!Pause(everyAnswer_.load() +
                   (step.act == Act::Drip ? std::chrono::milliseconds(0) : step.delay)))
            return;
        std::vector<uint8_t> answer;
        switch (step.act) {
        case Act::Silent:
            return;
        case Act::Drip:
            for (uint8_t byte : step.bytes) {
                if (::write(fd_, &byte, 1) != 1 || !Pause(step.delay))
                    return;
            }
            return;
        case Act::Answer:
            answer = RightAnswer(request, 0);
            break;
        case Act::OtherDevice:
            answer = RightAnswer(request, 0);
            answer[0] = uint8_t(address_ + 1);
            break;
        case Act::WrongLength:
            answer = RightAnswer(request, 1);
            break;
        }
        AddCrc(answer);
        [[maybe_unused]] auto written = ::write(fd_, answer.data(), answer.size());
    }

    void Serve() {
        std::vector<uint8_t> in;
        while (!Stopping()) {
            pollfd wait{fd_, POLLIN, 0};
            if (::poll(&wait, 1, 20) <= 0)
                continue;
            uint8_t chunk[512];
            const ssize_t got = ::read(fd_, chunk, sizeof chunk);
            if (got <= 0)
                continue;
            in.insert(in.end(), chunk, chunk + got);
            for (size_t length; (length = RequestLength(in)) && in.size() >= length;) {
                const std::vector<uint8_t> request(in.begin(), in.begin() + ptrdiff_t(length));
                in.erase(in.begin(), in.begin() + ptrdiff_t(length));
                if (request[0] == address_)
                    Perform(request);
            }
        }
    }

    uint8_t address_;
    int fd_ = -1;
    std::atomic<std::chrono::milliseconds> everyAnswer_{std::chrono::milliseconds(0)};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::deque<Step> script_;
    size_t requests_ = 0;
    std::thread thread_;
};

// The gateway on a thread, on a free port of 127.0.0.1, stopped and joined at the end.
class RunningGateway {
public:
    explicit RunningGateway(gateway::GatewayOptions options)
        : options_(AddVerbose(std::move(options))), server_(options_) {
        problem_ = server_.Open();
        if (problem_.empty() && ::pipe(stop_) == 0)
            thread_ = std::thread([this] { server_.Run(stop_[0]); });
    }
    ~RunningGateway() { Stop(); }
    RunningGateway(const RunningGateway&) = delete;
    RunningGateway& operator=(const RunningGateway&) = delete;

    const std::string& problem() const { return problem_; }
    uint16_t port() const { return server_.port(); }

    // Stops the loop; the verbose lines and the counters can be read afterwards.
    void Stop() {
        if (thread_.joinable()) {
            [[maybe_unused]] auto ignored = ::write(stop_[1], "x", 1);
            thread_.join();
            ::close(stop_[0]);
            ::close(stop_[1]);
        }
    }
    std::string said() const { return verbose_.str(); }
    const gateway::GatewayCounters& counters() const { return server_.counters(); }

    // A libmodbus TCP client connected to the gateway; the caller frees it.
    modbus_t* Client(int unit = 1) const {
        modbus_t* client = modbus_new_tcp("127.0.0.1", port());
        modbus_set_slave(client, unit);
        modbus_set_response_timeout(client, 5, 0);
        if (modbus_connect(client) != 0) {
            modbus_free(client);
            return nullptr;
        }
        return client;
    }

private:
    gateway::GatewayOptions AddVerbose(gateway::GatewayOptions options) {
        options.verbose = &verbose_;
        options.listen = {"127.0.0.1", 0};
        return options;
    }

    std::ostringstream verbose_;
    gateway::GatewayOptions options_;
    gateway::GatewayServer server_;
    std::string problem_;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

} // namespace fabricor::testing
