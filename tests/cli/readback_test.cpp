#include "cli/cli.h"

#include "firmware/sx_test_support.h"
#include "image/configuration_image.h"
#include "support/cli_run.h"
#include "support/sample_project.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <sstream>

namespace fabricor::cli {
namespace {

using namespace fabricor::test_support;
namespace fs = std::filesystem;

// A project updated into a new firmware from a base around the window.
class ReadBack : public ::testing::Test {
protected:
    std::string P() const { return project.folder().string(); }
    std::string M() const { return project.master().string(); }
    std::string Firmware() const { return project.newFirmware().string(); }
    CliRun Update() {
        return Cli({"update", P(), "--master", M(), "--time", "2026-12-08T14:35:47"});
    }

    TempDir dir;
    Project project{dir, BaseAroundTheWindow()};
};

TEST_F(ReadBack, UpdateDecodeVerifyIsIdentical) {
    ASSERT_EQ(Update().code, kExitOk);
    auto decoded = Cli({"decode", Firmware(), "--output", (dir / "D").string()});
    ASSERT_EQ(decoded.code, kExitOk) << decoded.err;
    EXPECT_NE(decoded.out.find("Built at 14:35:46 on 2026-12-08"), std::string::npos)
        << decoded.out;
    EXPECT_NE(decoded.err.find("no mnemonics"), std::string::npos);
    EXPECT_EQ(Cli({"verify", P(), (dir / "P" / "bin" / "bank1.bin").string()}).out, "identical\n");
    auto verified = Cli({"verify", (dir / "D").string(), Firmware(), "--master", M()});
    EXPECT_EQ(verified.code, kExitOk) << verified.out << verified.err;
    EXPECT_EQ(verified.out, "identical\n");
    // The image file decodes the same.
    ASSERT_EQ(Cli({"decode", (dir / "P" / "bin" / "bank1.bin").string(), "--output",
                   (dir / "E").string()})
                  .code,
              kExitOk);
    EXPECT_EQ(ReadFile(dir / "E" / "var.xml"), ReadFile(dir / "D" / "var.xml"));
    // A decoded project builds at once: its bin folder comes with it.
    EXPECT_EQ(Cli({"build", (dir / "E").string(), "--time", "2026-12-08T14:35:47"}).code, kExitOk);
    EXPECT_EQ(ReadFile(dir / "E" / "bin" / "bank1.bin"), ReadFile(dir / "P" / "bin" / "bank1.bin"));
    EXPECT_EQ(Cli({"diff", (dir / "D").string(), P()}).out, "identical\n");
}

// DIR becomes a project: a name New project refuses is refused before anything is made.
TEST_F(ReadBack, DecodeMakesOnlyFoldersNewProjectWouldName) {
    ASSERT_EQ(Update().code, kExitOk);
    for (const char* name : {"q\"x", "\xD0\xBD\xD0\xB0\xD1\x81", "con"}) {
        auto decoded = Cli({"decode", Firmware(), "--output", (dir / name).string()});
        EXPECT_EQ(decoded.code, kExitFailure) << name;
        EXPECT_NE(decoded.err.find("cannot name a project"), std::string::npos) << decoded.err;
        EXPECT_FALSE(fs::exists(dir / name));
    }
}

TEST_F(ReadBack, AChangedFieldIsNamedByVerifyAndDiff) {
    ASSERT_EQ(Update().code, kExitOk);
    std::string pargen = kSamplePargen;
    WriteFile(dir / "P" / "pargen.xml", pargen.replace(pargen.find("502"), 3, "503"));
    auto verified = Cli({"verify", P()});
    EXPECT_EQ(verified.code, kExitFailure);
    EXPECT_EQ(verified.out, "pargen.xml TCP_PORT: project 503, firmware 502\n");
    auto diff = Cli({"diff", Firmware(), P()});
    EXPECT_EQ(diff.code, kExitFailure);
    EXPECT_EQ(diff.out, "pargen.xml TCP_PORT: A 502, B 503\n");
    // A base firmware that differs outside the window.
    WriteFile(dir / "M" / "SX30418.sx", ReadFile(dir / "M" / "SX30418.sx") + "S5030001FB\n");
    verified = Cli({"verify", P(), "--master", M()});
    EXPECT_NE(verified.out.find("outside the configuration window: base firmware line"),
              std::string::npos)
        << verified.out;
}

// What the project says is compared, not the low bits its image keeps of it: a value that does
// not fit its field is a difference, for verify and for diff alike.
TEST_F(ReadBack, AValueTheImageCannotHoldIsADifference) {
    ASSERT_EQ(Update().code, kExitOk); // TCP_PORT 502, TIME_OUT 1000, RTU_ADD_DEV 2, "harbor"
    auto edit = [](std::string text, const std::string& from, const std::string& to) {
        return text.replace(text.find(from), from.size(), to);
    };
    const std::string pargen = kSamplePargen, var = kSampleVar;
    // pargen.xml, var.xml, what verify P says and what diff FIRMWARE P says.
    const std::vector<std::array<std::string, 4>> cases = {
        {edit(edit(pargen, ">502<", ">66038<"), ">1000<", ">66536<"), var,
         "pargen.xml TCP_PORT: project 66038, stored as 502\n"
         "pargen.xml TIME_OUT: project 66536, stored as 1000\n",
         "pargen.xml TCP_PORT: B 66038, stored as 502\npargen.xml TIME_OUT: B 66536, stored as "
         "1000\n"},
        {pargen, edit(var, "RTU_ADD_DEV=\"2\"", "RTU_ADD_DEV=\"258\""),
         "var.xml row 1 RTU_ADD_DEV: project 258, stored as 2\n",
         "var.xml row 1 RTU_ADD_DEV: B 258, stored as 2\n"},
        {pargen, edit(var, "RTU_ADD_DEV=\"2\"", "RTU_ADD_DEV=\"-255\""),
         "var.xml row 1 RTU_ADD_DEV: project -255 (stored as 1), firmware 2\n",
         "var.xml row 1 RTU_ADD_DEV: A 2, B -255 (stored as 1)\n"},
        {edit(pargen, ">harbor<", ">harbor-and-quay<"), var,
         "pargen.xml SNMP_PUBLIC: project \"harbor-and-quay\" (stored as \"harbor-and-qu\"), "
         "firmware \"harbor\"\n",
         "pargen.xml SNMP_PUBLIC: A \"harbor\", B \"harbor-and-quay\" (stored as "
         "\"harbor-and-qu\")\n"}};
    for (const auto& [pargenText, varText, verified, diffed] : cases) {
        WriteFile(dir / "P" / "pargen.xml", pargenText);
        WriteFile(dir / "P" / "var.xml", varText);
        EXPECT_EQ(Cli({"verify", P()}).out, verified);
        EXPECT_EQ(Cli({"verify", P()}).code, kExitFailure);
        EXPECT_EQ(Cli({"diff", Firmware(), P()}).out, diffed);
        // Two projects that say the same are identical, whatever their images keep.
        fs::remove_all(dir / "Q");
        fs::copy(dir / "P", dir / "Q", fs::copy_options::recursive);
        EXPECT_EQ(Cli({"diff", P(), (dir / "Q").string()}).out, "identical\n");
    }
}

TEST_F(ReadBack, UnreadableInputExitsTwoAndWritesNothing) {
    EXPECT_EQ(Cli({"verify", P()}).code, kExitUsage); // no New_SX30418.sx yet
    WriteFile(dir / "short.bin", std::string(100, '\0'));
    fs::create_directories(dir / "D");
    auto decoded = Cli({"decode", (dir / "short.bin").string(), "--output", (dir / "D").string()});
    EXPECT_EQ(decoded.code, kExitFailure);
    EXPECT_NE(decoded.err.find("100 bytes; an image has 16384"), std::string::npos) << decoded.err;
    EXPECT_TRUE(fs::is_empty(dir / "D"));
    EXPECT_EQ(Cli({"diff", P()}).code, kExitUsage);
}

TEST_F(ReadBack, HashesAreTheSameForTheSameTime) {
    auto first = Update();
    ASSERT_EQ(first.code, kExitOk) << first.err;
    auto second = Update();
    ASSERT_EQ(second.code, kExitOk) << second.err;
    auto hashes = [](const std::string& out) {
        std::string lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);)
            if (line.rfind("SHA-256 ", 0) == 0)
                lines += line + "\n";
        return lines;
    };
    EXPECT_NE(hashes(first.out).find("SHA-256 bank1.bin: "), std::string::npos) << first.out;
    EXPECT_NE(hashes(first.out).find("SHA-256 New_SX30418.sx: "), std::string::npos);
    EXPECT_EQ(hashes(first.out), hashes(second.out));
    // The independent tool agrees with the printed hash. Not in the Windows build: sha256sum is
    // a Linux program; there the digests are checked against the standard's examples.
#ifndef _WIN32
    std::string command = "sha256sum '" + Firmware() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char sum[65] = {};
    ASSERT_EQ(std::fread(sum, 1, 64, pipe), 64u);
    ::pclose(pipe);
    EXPECT_NE(first.out.find(std::string("SHA-256 New_SX30418.sx: ") + sum), std::string::npos);
#endif
}

TEST_F(ReadBack, ReportIsOneEscapedPageWithTheHashes) {
    auto updated = Update();
    ASSERT_EQ(updated.code, kExitOk);
    std::string var = kSampleVar;
    WriteFile(dir / "P" / "var.xml", var.replace(var.find("pump"), 4, "a&lt;b&gt;"));
    auto run = Cli({"report", P(), "--output", (dir / "r.html").string()});
    ASSERT_EQ(run.code, kExitOk) << run.err;
    const std::string html = ReadFile(dir / "r.html");
    for (const char* expected : {"<title>Commissioning report: P</title>", "<style>", "10.0.0.7/24",
                                 "9600 8N1", "NAT mode", "<td>a&lt;b&gt;</td>"})
        EXPECT_NE(html.find(expected), std::string::npos) << expected;
    EXPECT_EQ(html.find("a<b>"), std::string::npos);
    EXPECT_EQ(html.find("src="), std::string::npos); // nothing outside the page
    const auto hashLine = updated.out.substr(updated.out.find("SHA-256 New_SX30418.sx: ") + 24, 64);
    EXPECT_NE(html.find(hashLine), std::string::npos);
    EXPECT_NE(html.find("14:35:46 on 2026-12-08"), std::string::npos);
}

TEST_F(ReadBack, ReportTakesAProbesResultsAndRefusesAFileItCannotRead) {
    WriteFile(dir / "probe.json", R"([{"row": 1, "status": "time-out", "response_ms": null}])");
    auto run = Cli({"report", P(), "--probe", (dir / "probe.json").string(), "--port", "COM2"});
    ASSERT_EQ(run.code, kExitOk) << run.err;
    EXPECT_NE(run.out.find("<td>time-out</td>"), std::string::npos);
    EXPECT_NE(run.out.find("COM2"), std::string::npos);
    WriteFile(dir / "probe.json", R"([{"row": 1}])");
    const fs::path output = dir / "r.html";
    run =
        Cli({"report", P(), "--probe", (dir / "probe.json").string(), "--output", output.string()});
    EXPECT_EQ(run.code, kExitUsage);
    EXPECT_NE(run.err.find("probe.json"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(output));
    EXPECT_EQ(Cli({"report", P(), "--port", "COM9"}).code, kExitUsage);
}

} // namespace
} // namespace fabricor::cli
