#include "cli/cli.h"
#include "documents/pargen.h"
#include "documents/var.h"
#include "gateway/gateway_project.h"
#include "gateway/rtu_peers.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>

namespace fabricor::cli {
namespace {

using namespace fabricor::test_support;

class GatewayCommandTest : public ::testing::Test {
protected:
    GatewayCommandTest() {
        auto parameters = NewProjectGeneralParameters();
        parameters.timeOut = "200";
        EXPECT_TRUE(WriteGeneralParameters((dir / "pargen.xml").string(),
                                           EncodeGeneralParameters(parameters)));
        EXPECT_TRUE(WriteTranslateTable((dir / "var.xml").string(), {{3, 1, 2, 3, 4, "pump"}}));
    }
    TempDir dir;
};

TEST_F(GatewayCommandTest, RefusesWhatCheckRefusesAndBadUsage) {
    WriteFile(dir / "var.xml",
              "<TCP_TO_RTU><row DATA_TYPE=\"3\" TCP_ADDRESS=\"1\" RTU_ADD_DEV=\"2\" "
              "RTU_ADDRESS=\"3\" N_POINT=\"128\" MNEMONIC=\"\"/></TCP_TO_RTU>");
    auto refused = Cli({"gateway", dir.str(), "--serial", "/dev/null"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(
        refused.err.find("var.xml row 1 N° Point: Error!! N° Point must be between 0 and 127. \n"),
        std::string::npos)
        << refused.err;

    EXPECT_EQ(Cli({"gateway", dir.str()}).code, 2);
    EXPECT_EQ(Cli({"gateway", dir.str(), "--serial", "x", "--listen", "localhost:502"}).code, 2);
    EXPECT_EQ(Cli({"gateway", dir.str(), "--serial", "x", "--listen", "127.0.0.1:65536"}).code, 2);
    EXPECT_EQ(Cli({"gateway", "--help"}).code, 0);
}

TEST_F(GatewayCommandTest, RefusesSettingsTheDeviceWouldNotRunAsGiven) {
    struct Case {
        const char *baud, *parity, *stopBit, *timeOut;
        std::vector<std::string> refusals;
    };
    const Case cases[] = {
        {"-1",
         "0",
         "0",
         "70000",
         {"pargen.xml BAUD: no baud rate selected",
          "pargen.xml TIME_OUT 70000: the gateway needs a time-out from 1 to 65535 ms"}},
        {"3",
         "0",
         "0",
         "0",
         {"pargen.xml TIME_OUT 0: the gateway needs a time-out from 1 to 65535 ms"}},
        {"3",
         "2",
         "1",
         "100",
         {"pargen.xml PARITY 2 with STOP_BIT 1: two stop bits come only with no parity"}},
        {"3",
         "3",
         "1",
         "100",
         {"pargen.xml PARITY 3 with STOP_BIT 1: two stop bits come only with no parity"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refusals.front());
        WriteFile(dir / "pargen.xml",
                  std::string("<General_Parameter><TCP_PORT>502</TCP_PORT><BAUD>") + c.baud +
                      "</BAUD><PARITY>" + c.parity + "</PARITY><TIME_OUT>" + c.timeOut +
                      "</TIME_OUT><OFFSET>0</OFFSET><MODE>1</MODE><STOP_BIT>" + c.stopBit +
                      "</STOP_BIT></General_Parameter>");
        const auto project = gateway::LoadGatewayProject(dir.str());
        EXPECT_EQ(project.problems, std::vector<std::string>{}) << "it saves cleanly";
        EXPECT_EQ(project.refusals, c.refusals);
    }
    auto result = Cli({"gateway", dir.str(), "--serial", "/dev/null"});
    EXPECT_EQ(result.code, 1);
    EXPECT_EQ(result.err.find("would not save cleanly"), std::string::npos) << result.err;
}

TEST_F(GatewayCommandTest, TheLineAndTheTableComeFromTheProject) {
    struct Case {
        const char *baud, *parity, *stopBit, *timeOut, *mode;
        int baudRate;
        char parityLetter;
        int stopBits, timeOutMs;
        OperationMode operation;
    };
    const Case cases[] = {
        {"3", "0", "0", "1000", "1", 9600, 'N', 1, 1000, OperationMode::Nat},
        {"7", "2", "0", "$3E8", "0", 115200, 'E', 1, 1000, OperationMode::Routing},
        // Two stop bits come with no parity, as the General Parameter dialog saves them.
        {"6", "0", "1", "7", "1", 57600, 'N', 2, 7, OperationMode::Nat},
        {"0", "3", "01", " 50", "5", 1200, 'O', 1, 50, OperationMode::Nat},
        {"4", "1", "2", "65535", "0", 19200, 'N', 1, 65535, OperationMode::Routing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.baud);
        WriteFile(dir / "pargen.xml",
                  std::string("<General_Parameter><TCP_PORT>502</TCP_PORT><BAUD>") + c.baud +
                      "</BAUD><PARITY>" + c.parity + "</PARITY><TIME_OUT>" + c.timeOut +
                      "</TIME_OUT><OFFSET>0</OFFSET><MODE>" + c.mode + "</MODE><STOP_BIT>" +
                      c.stopBit + "</STOP_BIT></General_Parameter>");
        const auto project = gateway::LoadGatewayProject(dir.str());
        ASSERT_EQ(project.problems, std::vector<std::string>{});
        ASSERT_EQ(project.refusals, std::vector<std::string>{});
        EXPECT_EQ(project.settings.baudRate, c.baudRate);
        EXPECT_EQ(project.settings.parity, c.parityLetter);
        EXPECT_EQ(project.settings.stopBits, c.stopBits);
        EXPECT_EQ(project.settings.timeOutMs, c.timeOutMs);
        EXPECT_EQ(project.settings.mode, c.operation);
        EXPECT_EQ(project.settings.rows, (std::vector<TMyRec>{{3, 1, 2, 3, 4, "pump"}}));
    }
    // Rows after an empty Address TCP would never reach the device.
    WriteFile(
        dir / "var.xml",
        "<TCP_TO_RTU><row DATA_TYPE=\"3\" TCP_ADDRESS=\"1\" RTU_ADD_DEV=\"2\" "
        "RTU_ADDRESS=\"3\" N_POINT=\"4\" MNEMONIC=\"\"/><row DATA_TYPE=\"3\" TCP_ADDRESS=\"\" "
        "RTU_ADD_DEV=\"\" RTU_ADDRESS=\"\" N_POINT=\"\" MNEMONIC=\"\"/><row DATA_TYPE=\"3\" "
        "TCP_ADDRESS=\"9\" RTU_ADD_DEV=\"2\" RTU_ADDRESS=\"3\" N_POINT=\"4\" "
        "MNEMONIC=\"\"/></TCP_TO_RTU>");
    EXPECT_EQ(gateway::LoadGatewayProject(dir.str()).refusals,
              std::vector<std::string>{"var.xml row 2: Address TCP is empty, which ends the table "
                                       "there; the row after it would not reach the device"});
    // In NAT Mode, the rows no request reaches are said before serving, in row order.
    WriteGeneralParameters((dir / "pargen.xml").string(),
                           EncodeGeneralParameters(NewProjectGeneralParameters()));
    WriteTranslateTable((dir / "var.xml").string(),
                        {{3, 1, 2, 3, 4, ""}, {3, 9, 0, 3, 4, ""}, {1, 0, 2, 0, 0, ""}});
    const auto warned = gateway::LoadGatewayProject(dir.str()).warnings;
    ASSERT_EQ(warned.size(), 2u);
    EXPECT_TRUE(warned[0].starts_with("row 2: RTU device 0 is the broadcast address")) << warned[0];
    EXPECT_TRUE(warned[1].starts_with("row 3: N° Point is 0")) << warned[1];
}

TEST_F(GatewayCommandTest, AMissingSerialPortIsAFailure) {
    auto result = Cli({"gateway", dir.str(), "--serial", (dir / "no-such-port").string(),
                       "--listen", "127.0.0.1:0"});
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.err.find("cannot open"), std::string::npos) << result.err;
}

// The real program: started, used by a libmodbus client, stopped with SIGTERM.
TEST_F(GatewayCommandTest, ServesUntilSigtermThenPrintsItsCountersAndExitsZero) {
    PtyPair line(dir.path());
    ASSERT_TRUE(line.ready());
    RtuSlave slave(line.slave(), 2);
    int output[2];
    ASSERT_EQ(::pipe(output), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    const std::string program = std::string(FABRICOR_APP_DIR) + "/fabricor-cli";
    const std::string project = dir.str(), serial = line.master();
    const char* argv[] = {program.c_str(), "gateway",      project.c_str(),
                          "--serial",      serial.c_str(), "--listen",
                          "127.0.0.1:0",   "--verbose",    nullptr};
    pid_t child = 0;
    ASSERT_EQ(
        posix_spawn(&child, program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ),
        0);
    // Should an assertion end the test early, the gateway must not outlive it.
    struct Reaper {
        pid_t& pid;
        ~Reaper() {
            if (pid > 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
        }
    } reaper{child};
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    std::string said;
    char buffer[1024];
    ssize_t got;
    while (said.find(". Ctrl-C stops it.\n") == std::string::npos &&
           (got = ::read(output[0], buffer, sizeof buffer)) > 0)
        said.append(buffer, size_t(got));
    const auto at = said.find("listening on 127.0.0.1:");
    ASSERT_NE(at, std::string::npos) << said;
    const int port = std::stoi(said.substr(at + 23));

    modbus_t* client = modbus_new_tcp("127.0.0.1", port);
    modbus_set_response_timeout(client, 5, 0);
    ASSERT_EQ(modbus_connect(client), 0);
    uint16_t registers[4];
    EXPECT_EQ(modbus_read_registers(client, 1, 4, registers), 4);
    EXPECT_EQ(registers[0], 1003);
    EXPECT_EQ(modbus_read_registers(client, 9, 1, registers), -1);
    modbus_close(client);
    modbus_free(client);

    ::kill(child, SIGTERM);
    while ((got = ::read(output[0], buffer, sizeof buffer)) > 0)
        said.append(buffer, size_t(got));
    ::close(output[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    child = 0;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(said.find("unit 255 fc 3 read holding registers at 1 count 4 -> RTU 2 fc 3 read "
                        "holding registers at 3 count 4 -> answered, 10 bytes, "),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("Stopped.\nrequests: 2\n  fc 3 read holding registers: 2\nexceptions: 1\n"
                        "  0x02 (illegal data address): 1\ntime-outs: 0\nlatency: mean "),
              std::string::npos)
        << said;
}

} // namespace
} // namespace fabricor::cli
