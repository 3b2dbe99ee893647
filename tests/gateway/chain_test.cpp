// The whole chain on one PC, every part a real process: Modbus TCP clients that are not ours
// (mbpoll, pymodbus) -> fabricor-cli gateway -> a socat pseudo-terminal pair -> fabricor-cli
// simulate.

#include "gateway/rtu_peers.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <fstream>
#if defined(__GNUC__) && !defined(__clang__)
// GCC 12 with the sanitizers takes std::regex's own state for uninitialized.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <regex>

namespace fabricor::test_support {
namespace {

// A program started with its output and error output on one pipe; killed if still running.
class Program {
public:
    explicit Program(std::vector<std::string> args) {
        int ends[2];
        if (::pipe(ends) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
        posix_spawn_file_actions_adddup2(&actions, ends[1], 2);
        posix_spawn_file_actions_addclose(&actions, ends[0]);
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        output_ = ends[0];
    }
    ~Program() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(output_);
    }
    // What it said until `text` appears (bounded); all it said to its end with an empty `text`.
    const std::string& WaitFor(const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        char buffer[4096];
        while ((text.empty() || said_.find(text) == std::string::npos) &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd wait{output_, POLLIN, 0};
            if (::poll(&wait, 1, 100) <= 0)
                continue;
            const ssize_t got = ::read(output_, buffer, sizeof buffer);
            if (got <= 0)
                break;
            said_.append(buffer, size_t(got));
        }
        return said_;
    }
    void Signal(int signal) { ::kill(pid_, signal); }
    // Its exit status, once it has ended.
    int Wait() {
        WaitFor("");
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = 0;
    int output_ = -1;
    std::string said_;
};

// pymodbus, one line per operation "KIND:UNIT:ADDRESS:COUNT-OR-VALUE": hr, ir, co read, wr writes
// a register, wc coils given as 0s and 1s. Each line: the values, or "exception N".
constexpr const char* kPymodbus = R"(
import sys
from pymodbus.client import ModbusTcpClient
c = ModbusTcpClient('127.0.0.1', port=int(sys.argv[1]), timeout=5, retries=0)
c.connect()
for op in sys.argv[2:]:
    kind, unit, address, last = op.split(':')
    unit, address = int(unit), int(address)
    if kind == 'hr': r = c.read_holding_registers(address, int(last), slave=unit)
    if kind == 'ir': r = c.read_input_registers(address, int(last), slave=unit)
    if kind == 'co': r = c.read_coils(address, int(last), slave=unit)
    if kind == 'wr': r = c.write_register(address, int(last), slave=unit)
    if kind == 'wc': r = c.write_coils(address, [b == '1' for b in last], slave=unit)
    if r.isError(): print('exception', r.exception_code)
    elif kind in ('hr', 'ir'): print(*r.registers)
    elif kind == 'co': print(*[int(b) for b in r.bits[:8]])
    else: print('written')
)";

const std::string kCli = std::string(FABRICOR_APP_DIR) + "/fabricor-cli";

// Device 2: holding registers 3 to 6 at TCP 1, coils 0 to 15 at TCP 0; device 7: input
// registers 0 to 9 at TCP 100; a last row that the first one shadows.
class ChainTest : public ::testing::Test {
protected:
    void Start(const char* mode, std::vector<std::string> simulateOptions,
               std::vector<std::string> gatewayOptions = {}) {
        WriteFile(dir / "pargen.xml",
                  std::string("<General_Parameter><TCP_PORT>502</TCP_PORT><BAUD>7</BAUD>"
                              "<PARITY>2</PARITY><TIME_OUT>1000</TIME_OUT><OFFSET>0</OFFSET>"
                              "<MODE>") +
                      mode + "</MODE><STOP_BIT>0</STOP_BIT></General_Parameter>");
        WriteFile(dir / "var.xml",
                  "<TCP_TO_RTU><row DATA_TYPE=\"3\" TCP_ADDRESS=\"1\" RTU_ADD_DEV=\"2\" "
                  "RTU_ADDRESS=\"3\" N_POINT=\"4\" MNEMONIC=\"pump\"/><row DATA_TYPE=\"1\" "
                  "TCP_ADDRESS=\"0\" RTU_ADD_DEV=\"2\" RTU_ADDRESS=\"0\" N_POINT=\"16\" "
                  "MNEMONIC=\"\"/><row DATA_TYPE=\"4\" TCP_ADDRESS=\"100\" RTU_ADD_DEV=\"7\" "
                  "RTU_ADDRESS=\"0\" N_POINT=\"10\" MNEMONIC=\"flow\"/><row DATA_TYPE=\"3\" "
                  "TCP_ADDRESS=\"2\" RTU_ADD_DEV=\"3\" RTU_ADDRESS=\"0\" N_POINT=\"2\" "
                  "MNEMONIC=\"\"/></TCP_TO_RTU>");
        ASSERT_TRUE(line.ready());
        simulateOptions.insert(simulateOptions.begin(),
                               {kCli, "simulate", dir.str(), "--serial", line.slave()});
        simulate.emplace(simulateOptions);
        ASSERT_NE(simulate->WaitFor("Ctrl-C stops it.").find("Ctrl-C"), std::string::npos);
        gatewayOptions.insert(gatewayOptions.begin(), {kCli, "gateway", dir.str(), "--serial",
                                                       line.master(), "--listen", "127.0.0.1:0"});
        gateway.emplace(gatewayOptions);
        const std::string& said = gateway->WaitFor("Ctrl-C stops it.");
        const auto at = said.find("listening on 127.0.0.1:");
        ASSERT_NE(at, std::string::npos) << said;
        port = said.substr(at + 23, said.find(';', at) - at - 23);
    }
    std::string Pymodbus(std::vector<std::string> ops) {
        ops.insert(ops.begin(), {"/usr/bin/python3", "-c", kPymodbus, port});
        Program client(ops);
        std::string said = client.WaitFor("");
        EXPECT_EQ(client.Wait(), 0) << said;
        return said;
    }

    TempDir dir;
    PtyPair line{dir.path()};
    std::optional<Program> simulate, gateway;
    std::string port;
};

TEST_F(ChainTest, ReadsShowTheValuePatternOrTheValueFile) {
    WriteFile(dir / "values.csv", "device,kind,address,value\n2,Holding Register,4,777\n");
    ASSERT_NO_FATAL_FAILURE(Start("1", {"--values", (dir / "values.csv").string()}));
    Program mbpoll({"/usr/bin/mbpoll", "-m", "tcp", "-p", port, "-r", "2", "-c", "4", "-t", "4",
                    "-1", "127.0.0.1"});
    const std::string said = mbpoll.WaitFor("");
    EXPECT_EQ(mbpoll.Wait(), 0) << said;
    EXPECT_TRUE(std::regex_search(said, std::regex(R"(\[2\]:\s+2003\s+\[3\]:\s+777\s+\[4\]:\s+)"
                                                   R"(2005\s+\[5\]:\s+2006)")))
        << said;
    EXPECT_EQ(Pymodbus({"ir:1:100:2", "co:1:0:8"}), "37000 37001\n0 1 0 1 0 1 0 1\n");
}

TEST_F(ChainTest, WritesAreKept) {
    ASSERT_NO_FATAL_FAILURE(Start("1", {}));
    EXPECT_EQ(Pymodbus({"wr:1:2:4321", "wc:1:0:111", "hr:1:1:3", "co:1:0:8"}),
              "written\nwritten\n2003 4321 2005\n1 1 1 1 0 1 0 1\n");
}

// Routing Mode passes addresses through: what the table does not map reaches the devices.
TEST_F(ChainTest, UnmappedObjectsGetExceptionTwoAndUnnamedDevicesSilence) {
    ASSERT_NO_FATAL_FAILURE(Start("0", {}));
    EXPECT_EQ(Pymodbus({"hr:2:3:1", "hr:2:7:1", "ir:2:3:1", "hr:9:3:1"}),
              "2003\nexception 2\nexception 2\nexception 11\n");
}

TEST_F(ChainTest, SilentDevicesTimeOutAndTheCountersAndTheLogTellIt) {
    const auto log = dir / "gateway.log";
    ASSERT_NO_FATAL_FAILURE(Start("1", {"--silent", "7", "--verbose"}, {"--log", log.string()}));
    EXPECT_EQ(Pymodbus({"ir:1:100:1", "hr:1:1:1"}), "exception 11\n2003\n");
    gateway->Signal(SIGUSR1);
    const std::string& said = gateway->WaitFor("by RTU device:\n  device 2:");
    EXPECT_NE(said.find("warning: row 4: Holding Register TCP addresses 2 to 3 all lie within "
                        "row 1's"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("  row 3 flow (Input Register TCP 100 to 109 -> RTU 7 address 0): "
                        "requests 1, answers 0, exceptions 0, time-outs 1, last answer none\n"),
              std::string::npos)
        << said;
    EXPECT_TRUE(std::regex_search(said, std::regex("device 2: requests 1, answers 1, exceptions "
                                                   "0, time-outs 0, last answer "
                                                   R"(\d\d:\d\d:\d\d\.\d\d\d)")))
        << said;
    gateway->Signal(SIGTERM);
    EXPECT_EQ(gateway->Wait(), 0);
    simulate->Signal(SIGTERM);
    EXPECT_EQ(simulate->Wait(), 0);
    EXPECT_NE(simulate->WaitFor("").find("device 7: fc 4 read input registers at 0 count 1, plays "
                                         "dead: silence"),
              std::string::npos);

    std::ifstream file(log);
    std::string text, row;
    size_t lines = 0;
    while (std::getline(file, row)) {
        ++lines;
        EXPECT_TRUE(
            std::regex_match(row, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} .*)")))
            << row;
        text += row.substr(std::min<size_t>(24, row.size())) + "\n";
    }
    EXPECT_GT(lines, 20u);
    EXPECT_NE(text.find("fc 4 read input registers at 100 count 1 -> RTU 7 fc 4 read input "
                        "registers at 0 count 1 -> no answer"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Stopped.\nrequests: 2\n"), std::string::npos) << text;
}

} // namespace
} // namespace fabricor::test_support
