#include "cli/cli.h"
#include "documents/pargen.h"
#include "documents/var.h"
#include "gateway/gateway_project.h"
#include "gateway/probe.h"
#include "gateway/rtu_peers.h"
#include "project/probe_results.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>

namespace fabricor::gateway {
namespace {

using namespace fabricor::test_support;

// ---- The diagnosis, one rule a test, on results made by hand ----

ProbeResult Outcome(ProbeStatus status, uint8_t exception = 0) {
    ProbeResult result;
    result.status = status;
    result.exception = exception;
    return result;
}

struct DiagnosisTest : ::testing::Test {
    // Device 1 serves rows 1 and 2, device 7 rows 3 and 4.
    std::vector<ProbeRequest> plan = PlanNatProbe({{3, 0, 1, 0, 10, "a"},
                                                   {3, 10, 1, 99, 1, "b"},
                                                   {3, 20, 7, 0, 4, "c"},
                                                   {4, 0, 7, 5, 2, "d"}});
    std::vector<ProbeFinding> Diagnose(std::vector<ProbeResult> results) {
        return DiagnoseProbe(plan, results, OperationMode::Nat);
    }
};

TEST_F(DiagnosisTest, SilentDevice) {
    const auto ok = Outcome(ProbeStatus::Ok);
    // The gateway's "target failed" is the device's time-out as much as the client's own.
    auto findings =
        Diagnose({ok, ok, Outcome(ProbeStatus::TimeOut, 0x0B), Outcome(ProbeStatus::TimeOut)});
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].cause, ProbeCause::Silent);
    EXPECT_EQ(findings[0].device, 7);
    EXPECT_EQ(findings[0].requests, (std::vector<size_t>{2, 3}));
    EXPECT_NE(findings[0].text.find("rows 3 and 4"), std::string::npos) << findings[0].text;
    // One answer among the time-outs: not a dead device.
    findings = Diagnose({ok, ok, ok, Outcome(ProbeStatus::TimeOut)});
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].cause, ProbeCause::Intermittent);
}

TEST_F(DiagnosisTest, WrongRegister) {
    const auto ok = Outcome(ProbeStatus::Ok);
    auto findings = Diagnose({ok, Outcome(ProbeStatus::Exception, 2), ok, ok});
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].cause, ProbeCause::NoRegister);
    EXPECT_EQ(findings[0].device, 1);
    // Row 2 reads RTU address 99: holding register 40100.
    EXPECT_NE(findings[0].text.find("40100"), std::string::npos) << findings[0].text;
    EXPECT_EQ(ProbeSummary({ok, Outcome(ProbeStatus::Exception, 2), ok, ok}, findings).find("3 "),
              0u);
}

TEST_F(DiagnosisTest, WrongTable) {
    const auto refused = Outcome(ProbeStatus::Exception, 2);
    auto findings = Diagnose({refused, refused, refused, Outcome(ProbeStatus::TimeOut)});
    ASSERT_GE(findings.size(), 1u);
    EXPECT_EQ(findings[0].cause, ProbeCause::WrongTable);
    EXPECT_EQ(findings[0].requests.size(), 3u);
    for (const auto& finding : findings)
        EXPECT_NE(finding.cause, ProbeCause::NoRegister) << finding.text;
    // Routing Mode has no table: exception 2 is the device's own.
    findings = DiagnoseProbe(plan, {refused, refused, refused, refused}, OperationMode::Routing);
    EXPECT_EQ(findings.front().cause, ProbeCause::NoRegister);
}

TEST_F(DiagnosisTest, NoConnection) {
    auto lost = Outcome(ProbeStatus::NoConnection);
    lost.problem = "Connection refused";
    auto findings = Diagnose({lost, lost, lost, lost});
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].cause, ProbeCause::NoConnection);
    EXPECT_NE(findings[0].text.find("Connection refused"), std::string::npos);
}

TEST(ProbePlan, SplitsRowsAndKeepsOutWhatTheTableNeverServes) {
    const auto plan = PlanNatProbe({{3, 0, 1, 0, 127, "long"},
                                    {1, 0, 1, 0, 127, "bits"},
                                    {3, 5, 2, 0, 3, "inside row 1"},
                                    {3, 200, 1, 0, 0, "empty"},
                                    {4, 65530, 1, 0, 10, "past end"},
                                    {4, 10, 0, 0, 1, "broadcast"}});
    ASSERT_EQ(plan.size(), 7u);
    EXPECT_EQ(plan[0].count, 125);
    EXPECT_EQ(plan[1].count, 2);
    EXPECT_EQ(plan[1].tcpAddress, 125);
    EXPECT_EQ(plan[1].rtuAddress, 125);
    EXPECT_EQ(plan[2].count, 127);
    for (size_t i = 3; i < 7; ++i)
        EXPECT_FALSE(plan[i].notServed.empty()) << plan[i].mnemonic;

    std::string problem;
    auto named = ParseRoutingRows("7:holding:100:130,3:1:0:5", problem);
    ASSERT_TRUE(named) << problem;
    EXPECT_EQ(named->size(), 3u);
    EXPECT_EQ((*named)[2].unit, 3);
    EXPECT_FALSE(ParseRoutingRows("0:3:1:1", problem));
    EXPECT_FALSE(ParseRoutingRows("1:5:1:1", problem));
    EXPECT_FALSE(ParseRoutingRows("1:3:65535:2", problem));
}

// ---- The command against the gateway and a real RTU slave ----

struct Run {
    int code;
    std::string out, err;
};

Run Probe(const cli::Arguments& args) {
    std::ostringstream out, err;
    const int code = cli::RunCli(args, out, err);
    return {code, out.str(), err.str()};
}

class ProbeChainTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(written);
        ASSERT_TRUE(line.ready());
        ASSERT_TRUE(slave.connected());
    }
    static bool WriteProject(const TempDir& dir) {
        auto parameters = NewProjectGeneralParameters();
        parameters.timeOut = "150";
        // Slave 1 holds 200 of each object; device 7 is not on the line.
        return WriteGeneralParameters((dir / "pargen.xml").string(),
                                      EncodeGeneralParameters(parameters))
                   .ok() &&
               WriteTranslateTable((dir / "var.xml").string(), {{3, 100, 1, 20, 10, "level"},
                                                                {1, 0, 1, 0, 30, "pumps"},
                                                                {4, 0, 1, 500, 2, "no such"},
                                                                {3, 300, 7, 0, 4, "valve"}})
                   .ok();
    }
    std::string Host() const { return "127.0.0.1:" + std::to_string(gateway.port()); }

    TempDir dir;
    bool written = WriteProject(dir);
    PtyPair line{dir.path()};
    RtuSlave slave{line.slave(), 1};
    RunningGateway gateway{[this] {
        GatewayOptions options;
        options.settings = LoadGatewayProject(dir.str()).settings;
        options.serialDevice = line.master();
        return options;
    }()};
};

TEST_F(ProbeChainTest, ReadsEveryRowAndNamesTheCauses) {
    auto run = Probe({"probe", dir.str(), "--host", Host()});
    EXPECT_EQ(run.code, 1) << run.out << run.err;
    EXPECT_NE(run.out.find("1020 1021 1022"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("device 7 does not answer"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("device 1 has no input register 30501"), std::string::npos) << run.out;

    // Nothing but reads reached the line.
    for (const auto& request : slave.requests())
        EXPECT_LE(request[1], 4) << int(request[1]);
}

// What it saves is what the report takes: each row's reads joined into its result.
TEST_F(ProbeChainTest, SavedResultsGoIntoTheReport) {
    auto json = Probe({"probe", dir.str(), "--host", Host(), "--format", "json"});
    const ProbeResults saved = ReadProbeResultsText(json.out);
    ASSERT_TRUE(saved.ok()) << saved.error << json.out;
    EXPECT_EQ(saved.rows.at(1).status, "ok");
    ASSERT_EQ(saved.rows.at(1).values.size(), 10u);
    EXPECT_EQ(saved.rows.at(1).values.front(), 1020);
    EXPECT_NE(saved.rows.at(4).status, "ok");
    WriteFile(dir / "probe.json", json.out);
    auto report = Probe({"report", dir.str(), "--probe", (dir / "probe.json").string()});
    EXPECT_EQ(report.code, 0) << report.err;
    EXPECT_NE(report.out.find("1020 1021 1022"), std::string::npos);
}

TEST_F(ProbeChainTest, ExitsTwoWithoutAnyConnectionAndOnBadUsage) {
    gateway.Stop();
    auto run = Probe({"probe", dir.str(), "--host", "127.0.0.1:1", "--timeout", "300"});
    EXPECT_EQ(run.code, 2) << run.out;
    EXPECT_NE(run.out.find("no connection to the device"), std::string::npos) << run.out;
    auto json = Probe({"probe", dir.str(), "--host", "127.0.0.1:1", "--format", "json"});
    EXPECT_EQ(json.code, 2);
    EXPECT_NE(json.out.find("\"status\": \"no connection\""), std::string::npos) << json.out;
    EXPECT_EQ(Probe({"probe", dir.str(), "--rows", "1:3:0:1"}).code, 2);
    EXPECT_EQ(Probe({"probe", dir.str(), "--format", "xml"}).code, 2);
    EXPECT_EQ(Probe({"probe", dir.str(), "--host", "x:99999"}).code, 2);
}

} // namespace
} // namespace fabricor::gateway
