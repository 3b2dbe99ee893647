#include "gateway/probe_client.h"

#include "gateway/modbus_codes.h"

#ifdef _WIN32
#include <winsock2.h> // before libmodbus's windows.h

#include <modbus/modbus.h>
#else
#include <modbus/modbus.h>
#include <sys/socket.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

namespace {

// Ends a read that waits on the socket at once (Stop): no more data either way.
void ShutDown(int socket) {
#ifdef _WIN32
    ::shutdown(SOCKET(socket), SD_BOTH);
#else
    ::shutdown(socket, SHUT_RDWR);
#endif
}

} // namespace

namespace fabricor::gateway {

ProbeClient::ProbeClient(std::string host, uint16_t port, int timeOutMs)
    : host_(std::move(host)), port_(port), timeOutMs_(timeOutMs) {}

ProbeClient::~ProbeClient() {
    Drop();
}

void ProbeClient::Drop() {
    if (!context_)
        return;
    std::lock_guard lock(socketMutex_);
    socket_ = -1;
    modbus_close(context_);
    modbus_free(context_);
    context_ = nullptr;
}

std::string ProbeClient::Connect() {
    Drop();
    if (interrupted_)
        return "stopped";
    context_ = modbus_new_tcp_pi(host_.c_str(), std::to_string(port_).c_str());
    if (!context_)
        return std::strerror(errno);
    modbus_set_response_timeout(context_, uint32_t(timeOutMs_ / 1000),
                                uint32_t(timeOutMs_ % 1000) * 1000);
    if (modbus_connect(context_) != 0) {
        std::string problem = modbus_strerror(errno);
        Drop();
        return host_ + ":" + std::to_string(port_) + ": " + problem;
    }
    std::lock_guard lock(socketMutex_);
    socket_ = modbus_get_socket(context_);
    // Stopped between the check above and now: the read must still end at once.
    if (interrupted_)
        ShutDown(socket_);
    return {};
}

void ProbeClient::Interrupt() {
    interrupted_ = true;
    std::lock_guard lock(socketMutex_);
    if (socket_ >= 0)
        ShutDown(socket_);
}

ProbeResult ProbeClient::Read(const ProbeRequest& request) {
    ProbeResult result;
    if (!request.notServed.empty()) {
        result.status = ProbeStatus::NotServed;
        return result;
    }
    if (!context_) {
        if (auto problem = Connect(); !problem.empty()) {
            result.status = ProbeStatus::NoConnection;
            result.problem = problem;
            return result;
        }
    }
    modbus_set_slave(context_, request.unit);
    const auto start = std::chrono::steady_clock::now();
    int got = -1;
    if (request.kind == 1 || request.kind == 2) {
        uint8_t bits[MODBUS_MAX_READ_BITS];
        got = request.kind == 1
                  ? modbus_read_bits(context_, request.tcpAddress, request.count, bits)
                  : modbus_read_input_bits(context_, request.tcpAddress, request.count, bits);
        for (int i = 0; i < got; ++i)
            result.values.push_back(bits[i]);
    } else {
        uint16_t registers[MODBUS_MAX_READ_REGISTERS];
        got = request.kind == 3
                  ? modbus_read_registers(context_, request.tcpAddress, request.count, registers)
                  : modbus_read_input_registers(context_, request.tcpAddress, request.count,
                                                registers);
        for (int i = 0; i < got; ++i)
            result.values.push_back(registers[i]);
    }
    const int error = errno;
    result.ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (got == request.count) {
        result.status = ProbeStatus::Ok;
        return result;
    }
    result.values.clear();
    if (got < 0 && error > MODBUS_ENOBASE &&
        error <= MODBUS_ENOBASE + MODBUS_EXCEPTION_GATEWAY_TARGET) {
        // The gateway's own "the device did not answer" counts as the device's time-out.
        result.exception = uint8_t(error - MODBUS_ENOBASE);
        result.status = result.exception == kGatewayTargetFailed ? ProbeStatus::TimeOut
                                                                 : ProbeStatus::Exception;
        return result;
    }
    if (got < 0 && error == ETIMEDOUT && !interrupted_) {
        result.status = ProbeStatus::TimeOut;
    } else {
        result.status = ProbeStatus::NoConnection;
        result.problem = interrupted_ ? "stopped" : modbus_strerror(error);
    }
    Drop();
    return result;
}

void RunProbePass(ProbeClient& client, const std::vector<ProbeRequest>& plan,
                  const std::function<void(size_t, const ProbeResult&)>& done,
                  const std::function<bool()>& stop) {
    // Once the device cannot be reached, each further read would wait for its own connection
    // attempt: the rest of the pass is given up with the same reason, the next pass tries again.
    std::optional<ProbeResult> unreachable;
    for (size_t i = 0; i < plan.size(); ++i) {
        if (stop && stop())
            return;
        if (unreachable && plan[i].notServed.empty()) {
            done(i, *unreachable);
            continue;
        }
        ProbeResult result = client.Read(plan[i]);
        if (result.status == ProbeStatus::NoConnection)
            unreachable = result;
        done(i, result);
    }
}

} // namespace fabricor::gateway
