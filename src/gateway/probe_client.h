#pragma once

#include "gateway/probe.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

typedef struct _modbus modbus_t;

namespace fabricor::gateway {

// The probe's Modbus TCP client (libmodbus). Only reads: it never writes to a device.
class ProbeClient {
public:
    ProbeClient(std::string host, uint16_t port, int timeOutMs);
    ~ProbeClient();
    ProbeClient(const ProbeClient&) = delete;
    ProbeClient& operator=(const ProbeClient&) = delete;

    // Empty when connected, else why not.
    std::string Connect();
    // Reads one request. A time-out or a broken connection drops the connection, so that a late
    // answer is never taken for the next one; the next read connects again.
    ProbeResult Read(const ProbeRequest& request);
    // From another thread: ends a read that is waiting, at once, and every read after it.
    void Interrupt();

private:
    void Drop();

    std::string host_;
    uint16_t port_;
    int timeOutMs_;
    modbus_t* context_ = nullptr;
    std::mutex socketMutex_; // Interrupt never shuts down a socket number already reused
    int socket_ = -1;
    std::atomic<bool> interrupted_{false};
};

// Sends every request of `plan` in order through `client`, handing each result to `done`
// (index, result) as it comes; `stop` returning true ends the pass early.
void RunProbePass(ProbeClient& client, const std::vector<ProbeRequest>& plan,
                  const std::function<void(size_t, const ProbeResult&)>& done,
                  const std::function<bool()>& stop = {});

} // namespace fabricor::gateway
