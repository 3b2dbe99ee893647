#include "project/commissioning_report.h"

#include "base/clock.h"
#include "base/version.h"
#include "project/probe_results.h"
#include "support/sample_project.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::TempDir;
using test_support::WriteFile;
namespace fs = std::filesystem;

// SHA-256 of "abc" (FIPS 180-2), of no bytes, and of "hello\n".
constexpr const char* kAbc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr const char* kEmpty = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
constexpr const char* kHello = "5891b5b522d5df086d0ff0b110fbd9d21bb4fc7163af34d08286a2e846f6be03";

// A project "Plant 7" with two overlapping rows (a warning), a base firmware, a built image and
// firmware, and the flash tool's settings mapping COM3.
class Report : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Project() / "bin");
        fs::create_directories(dir / "MASTER");
        WriteFile(Project() / "pargen.xml", test_support::kSamplePargen);
        WriteFile(Project() / "var.xml",
                  "<TCP_TO_RTU><row DATA_TYPE=\"3\" TCP_ADDRESS=\"1\" RTU_ADD_DEV=\"2\" "
                  "RTU_ADDRESS=\"3\" N_POINT=\"4\" MNEMONIC=\"pump\"/><row DATA_TYPE=\"3\" "
                  "TCP_ADDRESS=\"3\" RTU_ADD_DEV=\"5\" RTU_ADDRESS=\"9\" N_POINT=\"2\" "
                  "MNEMONIC=\"valve &lt;b&gt;\"/></TCP_TO_RTU>");
        WriteFile(dir / "MASTER" / "SX30418.sx", "abc");
        WriteFile(Project() / "New_SX30418.sx", "");
        WriteFile(Project() / "bin" / "bank1.bin", "hello\n");
        WriteFile(dir / "Progwerk.ini", "[ports]\nCOM3=/dev/ttyUSB7\n");
        sources.projectFolder = Project().string();
        sources.masterFolder = (dir / "MASTER").string();
        sources.toolSettingsFolder = dir.str();
        sources.portIndex = 2;
    }
    fs::path Project() const { return dir / "Plant 7"; }
    std::string FirstPage() {
        const std::string html = CommissioningReportHtml(MakeCommissioningReport(sources, clock));
        const size_t end = html.find("</section>");
        EXPECT_NE(end, std::string::npos);
        EXPECT_LT(end, html.find("Translate table ("));
        return html.substr(0, end);
    }

    TempDir dir;
    ReportSources sources;
    FixedClock clock{LocalTime{2026, 12, 9, 7, 5, 3}};
};

TEST_F(Report, FirstPageHoldsWhatAnEngineerFiles) {
    const std::string page = FirstPage();
    for (const std::string& expected :
         {std::string("Plant 7"), std::string("2026-12-09 07:05:03"), std::string(ProgramVersion()),
          std::string("SX30418.sx"), "<code>" + std::string(kAbc) + "</code>",
          "<code>" + std::string(kEmpty) + "</code>", "<code>" + std::string(kHello) + "</code>",
          std::string("COM3, /dev/ttyUSB7"), std::string("10.0.0.7/24"),
          std::string("9600 baud, 8 data bits, no parity, 1 stop bit"), std::string("NAT mode"),
          std::string("overlap"), std::string("Site"), std::string("Device tag"),
          std::string("Signature")})
        EXPECT_NE(page.find(expected), std::string::npos) << expected;
    EXPECT_EQ(page.find("valve"), std::string::npos) << "the table is not on the first page";
}

TEST_F(Report, SerialPortSaysWhereItComesFrom) {
    sources.portIndex = 4; // COM5: Progwerk.ini names no device for it
    EXPECT_NE(FirstPage().find("COM5, system device "), std::string::npos);
    sources.portIndex.reset();
    EXPECT_NE(FirstPage().find("none chosen"), std::string::npos);
}

TEST_F(Report, ProbeResultsJoinTheirRowsAndUnprobedRowsSaySo) {
    const ProbeResults probe = ReadProbeResultsText(
        R"json([{"row": 2, "status": "exception 2 (illegal data address)", "response_ms": 31.4,
             "values": [1, 2, 3, 4, 5, 6, 7, 8, 9, 10]}])json");
    ASSERT_TRUE(probe.ok()) << probe.error;
    sources.probe = &probe;
    const CommissioningReport report = MakeCommissioningReport(sources, clock);
    ASSERT_EQ(report.rows.size(), 2u);
    ASSERT_EQ(report.rows[0].size(), report.columns.size());
    EXPECT_EQ(report.rows[0][7], "not probed");
    EXPECT_EQ(report.rows[1][7], "exception 2 (illegal data address)");
    EXPECT_EQ(report.rows[1][8], "31");
    EXPECT_EQ(report.rows[1][9], "1 2 3 4 5 6 7 8 +2");
    // The mnemonic is escaped on the page.
    EXPECT_NE(CommissioningReportHtml(report).find("valve &lt;b&gt;"), std::string::npos);
}

struct ProbeCase {
    const char* json;
    const char* refusal; // nullptr: read
};

TEST(ProbeResultsReader, ReadsTheDocumentedShapeAndRefusesTheRestWithItsPlace) {
    const ProbeCase cases[] = {
        {R"([{"row": 1, "status": "ok", "response_ms": 2.5, "values": [0, 65535, true]}])",
         nullptr},
        {R"({"probe": "x", "rows": [{"row": 1, "status": "ok", "extra": {"a": [1]}}]})", nullptr},
        {R"([{"row": 1, "status": "time-out", "response_ms": null}])", nullptr},
        {"[]", nullptr},
        {R"({"rows": 5})", "expected an array of rows"},
        {R"([{"row": 0, "status": "ok"}])", "entry 1: \"row\""},
        {R"([{"row": 1.5, "status": "ok"}])", "entry 1: \"row\""},
        {R"([{"row": 1}])", "entry 1: \"status\""},
        {R"([{"row": 1, "status": "ok"}, {"row": 1, "status": "ok"}])", "row 1 is named twice"},
        {R"([{"row": 1, "status": "ok", "values": [1.5]}])", "integers"},
        {R"([{"row": 1, "status": "ok", "response_ms": "fast"}])", "response_ms"},
        {"[{\"row\": 1,\n \"status\": \"ok\"}] x", "line 2: text after the end"},
        {"[{\"row\": 1, \"status\": \"o\nk\"}]", "control character"},
        {"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[", "nested too deeply"},
        {"[{\"row\": 1, \"status\": \"ok\"", "expected"},
    };
    for (const auto& c : cases) {
        const ProbeResults results = ReadProbeResultsText(c.json);
        if (!c.refusal) {
            EXPECT_TRUE(results.ok()) << c.json << ": " << results.error;
        } else {
            EXPECT_NE(results.error.find(c.refusal), std::string::npos)
                << c.json << ": " << results.error;
            EXPECT_TRUE(results.rows.empty());
        }
    }
    const ProbeResults first = ReadProbeResultsText(cases[0].json);
    ASSERT_EQ(first.rows.count(1), 1u);
    EXPECT_EQ(first.rows.at(1).values, (std::vector<long long>{0, 65535, 1}));
    EXPECT_EQ(first.rows.at(1).responseMs, 2.5);
    EXPECT_EQ(ReadProbeResultsText(R"([{"row": 3, "status": "caf\u00e9 \ud83d\ude00"}])")
                  .rows.at(3)
                  .status,
              "caf\xC3\xA9 \xF0\x9F\x98\x80");
    EXPECT_FALSE(
        ReadProbeResultsFile((fs::temp_directory_path() / "no-such-probe.json").string()).ok());
}

} // namespace
} // namespace fabricor
