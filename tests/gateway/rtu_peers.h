#pragma once

// Real Modbus peers for the gateway tests: a socat pseudo-terminal pair as the RTU line, a
// libmodbus RTU slave on its far end, and the gateway itself running on a thread.

#include "gateway/gateway_server.h"
#include "support/socat_line.h"

#include <modbus/modbus.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace fabricor::test_support {

// Two linked pseudo-terminals: the gateway opens `master()`, the slave `slave()`.
class PtyPair : public SocatLine {
public:
    explicit PtyPair(const std::filesystem::path& folder)
        : SocatLine(folder, FarEnd::LeftToPeer, "gateway-end", "slave-end") {}
    std::string master() const { return device().string(); }
    std::string slave() const { return host().string(); }
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
        address_ = uint8_t(address);
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
    // What it does with the next requests for it, one step each; then it answers as usual.
    struct Step {
        std::chrono::milliseconds delay{0}; // before answering; Drip: between bytes
        enum class Act { Reply, Silent, Frame, Drip } act = Act::Reply;
        std::vector<uint8_t> bytes; // Frame: sent with a CRC added; Drip: as they are
    };
    void Script(std::vector<Step> steps) {
        std::lock_guard lock(mutex_);
        script_.assign(steps.begin(), steps.end());
    }
    // Every answer waits this long: a slow line and a slow device.
    void AnswerAfter(std::chrono::milliseconds delay) { everyAnswer_ = delay; }
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
            Step step;
            {
                std::lock_guard lock(mutex_);
                requests_.emplace_back(request, request + got - 2);
                if (!script_.empty() && request[0] == address_) {
                    step = script_.front();
                    script_.pop_front();
                }
            }
            // Like a real device, it reads nothing more until it has answered.
            Pause(everyAnswer_.load() +
                  (step.act == Step::Act::Drip ? decltype(step.delay){} : step.delay));
            if (step.act == Step::Act::Frame)
                modbus_send_raw_request(context_, step.bytes.data(), int(step.bytes.size()));
            for (size_t i = 0; step.act == Step::Act::Drip && i < step.bytes.size() && !stop_;
                 ++i) {
                [[maybe_unused]] auto ignored =
                    ::write(modbus_get_socket(context_), &step.bytes[i], 1);
                Pause(step.delay);
            }
            std::lock_guard lock(mutex_);
            if (!muted_ && step.act == Step::Act::Reply)
                modbus_reply(context_, request, got, mapping_);
        }
    }
    void Pause(std::chrono::milliseconds delay) {
        for (auto until = std::chrono::steady_clock::now() + delay;
             !stop_ && std::chrono::steady_clock::now() < until;)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    modbus_t* context_ = nullptr;
    modbus_mapping_t* mapping_ = nullptr;
    uint8_t address_ = 0;
    bool connected_ = false;
    std::deque<Step> script_;
    std::atomic<std::chrono::milliseconds> everyAnswer_{};
    std::atomic<bool> stop_{false};
    std::atomic<bool> muted_{false};
    std::mutex mutex_;
    std::vector<std::vector<uint8_t>> requests_;
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

} // namespace fabricor::test_support
