// Every file of the hostile catalogue (tests/data/hostile) through every reader of the program
// and its command line: a clear outcome, quickly, and never a crash or a partial output.

#include "base/clock.h"
#include "base/settings_file.h"
#include "documents/pargen.h"
#include "documents/var.h"
#include "hardening/hardening_support.h"
#include "rules/translate_csv.h"
#include "workspace/workspace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace fabricor {
namespace {

using namespace fabricor::test_support;
namespace fs = std::filesystem;

const fs::path kCatalogue = fs::path(FABRICOR_TEST_DATA) / "hostile";
// Generous for a sanitizer build on a busy machine; a healthy run takes milliseconds.
constexpr double kSecondsPerFile = 10.0;

std::vector<fs::path> CatalogueFiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(kCatalogue))
        if (entry.is_regular_file() && entry.path().filename() != "README.md")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

FixedClock Clock() { return FixedClock(LocalTime{2026, 12, 8, 14, 35, 47}); }

TEST(HostileCatalogue, EveryFileMeetsEveryReaderWithAClearOutcome) {
    auto files = CatalogueFiles();
    ASSERT_GE(files.size(), 30u);
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        Stopwatch watch;
        const std::string path = file.string();

        auto pargen = ReadGeneralParameters(path);
        ASSERT_NE(pargen.outcome, ReadOutcome::NoFile);
        if (pargen.outcome == ReadOutcome::NotWellFormed) {
            EXPECT_NE(pargen.error.find(path), std::string::npos) << pargen.error;
        }
        auto table = ReadTranslateTable(path);
        ASSERT_NE(table.outcome, ReadOutcome::NoFile);
        EXPECT_LE(table.rows.size(), kMaxTranslateRows);
        if (table.outcome == ReadOutcome::NotWellFormed) {
            EXPECT_FALSE(table.error.empty());
        }
        // As the settings file: the name written reads back (the fuzzer checks the other lines).
        {
            TempDir iniDir;
            fs::copy_file(file, iniDir / "Fabricor.ini");
            (void)ReadIniValue(iniDir / "Fabricor.ini", "lastproj", "projectname");
            ASSERT_TRUE(WriteIniValue(iniDir / "Fabricor.ini", "lastproj", "projectname", "\\demo"));
            EXPECT_EQ(ReadIniValue(iniDir / "Fabricor.ini", "lastproj", "projectname"), "\\demo");
        }

        // As either document of a build: a report that says why it stopped.
        TempDir dir;
        Project project(dir);
        auto clock = Clock();
        ConfigurationImage image{};
        for (auto [var, gp] : {std::pair{path, (project.folder() / "pargen.xml").string()},
                               std::pair{(project.folder() / "var.xml").string(), path}}) {
            auto report = BuildConfigurationImage(var, gp, clock, image);
            if (!report.complete) {
                EXPECT_FALSE(report.description.empty());
            }
        }

        // As the base firmware: one of the merge's outcomes, never a partial new firmware.
        fs::copy_file(file, project.master() / ProjectFiles::kBaseFirmwareName,
                      fs::copy_options::overwrite_existing);
        ASSERT_TRUE(WriteConfigurationImage(project.folder().string(), image));
        Recorder recorder;
        auto merged = Merge(project, recorder);
        if (merged.outcome == MergeOutcome::Written) {
            EXPECT_TRUE(recorder.messages.empty());
            EXPECT_TRUE(fs::exists(project.newFirmware()));
        } else {
            EXPECT_EQ(merged.outcome, MergeOutcome::MergeFailed);
            EXPECT_EQ(recorder.messages, std::vector<std::string>{kMergeFailed});
            EXPECT_FALSE(fs::exists(project.newFirmware()));
        }
        EXPECT_FALSE(fs::exists(project.bin() / ProjectFiles::kStagingName));

        // The command line, with the file as each of the project's documents in turn.
        for (const char* role : {"var.xml", "pargen.xml"}) {
            SCOPED_TRACE(role);
            TempDir cliDir;
            Project cli(cliDir);
            fs::copy_file(file, cli.folder() / role, fs::copy_options::overwrite_existing);
            auto run = Cli({"update", cli.folder().string(), "--master", cli.master().string(),
                                   "--time", "2026-12-08T14:35:47"});
            ASSERT_TRUE(run.code == 0 || run.code == 1) << run.err;
            EXPECT_EQ(fs::file_size(cli.bin() / "bank1.bin"), kImageSize);
            if (run.code == 1) {
                EXPECT_FALSE(run.err.empty());
                EXPECT_FALSE(fs::exists(cli.newFirmware())) << "merged an incomplete build";
            }
            // The editors' rules: every problem listed, one line each.
            auto check = Cli({"check", cli.folder().string()});
            ASSERT_TRUE(check.code == 0 || check.code == 1) << check.err;
            if (check.code == 1) {
                EXPECT_FALSE(check.out.empty() && check.err.empty());
            }
        }
        // As a firmware or image to decode: a whole project, or a message and no project.
        {
            TempDir decodeDir;
            const fs::path out = decodeDir / "D";
            auto run = Cli({"decode", path, "--output", out.string()});
            ASSERT_TRUE(run.code == 0 || run.code == 1) << run.err;
            EXPECT_EQ(fs::exists(out / "pargen.xml"), run.code == 0);
            EXPECT_EQ(fs::exists(out / "var.xml"), run.code == 0);
            if (run.code == 1) {
                EXPECT_FALSE(run.err.empty());
            }
        }
        // As a CSV file to import: refused with its line, or a table; var.xml changes only then.
        {
            TempDir csvDir;
            Project target(csvDir);
            WriteFile(target.folder() / "var.xml", "<TCP_TO_RTU/>");
            auto run = Cli({"table", "import", target.folder().string(), path});
            ASSERT_TRUE(run.code == 0 || run.code == 1) << run.err;
            if (run.code == 1) {
                EXPECT_NE(run.err.find(path + " line "), std::string::npos) << run.err;
                EXPECT_EQ(ReadFile(target.folder() / "var.xml"), "<TCP_TO_RTU/>");
            }
        }
        EXPECT_LT(watch.Seconds(), kSecondsPerFile);
    }
}

// --- XML: nothing is ever expanded, loaded from outside, or taken from a broken document ---

TEST(HostileXml, EntityBombsAndExternalEntitiesStayUnexpanded) {
    auto pargen = ReadGeneralParameters((kCatalogue / "pargen_billion_laughs.xml").string());
    ASSERT_EQ(pargen.outcome, ReadOutcome::Read);
    EXPECT_EQ(pargen[GeneralParameter::SNMP_PUBLIC], "&lol9;");
    EXPECT_EQ(DecodePort(pargen[GeneralParameter::TCP_PORT]), std::nullopt);

    auto var = ReadTranslateTable((kCatalogue / "var_billion_laughs.xml").string());
    ASSERT_EQ(var.outcome, ReadOutcome::Read);
    ASSERT_EQ(var.rows.size(), 2u);
    EXPECT_EQ(var.rows[0].cells[5], "&lol9;");
    EXPECT_EQ(var.rows[1].cells[1], "&lol9;");

    auto quadratic = ReadTranslateTable((kCatalogue / "var_quadratic_blowup.xml").string());
    ASSERT_EQ(quadratic.rows.size(), 1u);
    EXPECT_EQ(quadratic.rows[0].cells[5].size(), 2000u * 3);

    auto external = ReadTranslateTable((kCatalogue / "var_external_entity.xml").string());
    ASSERT_EQ(external.rows.size(), 1u);
    EXPECT_EQ(external.rows[0].cells[5], "&xxe;");
    auto externalPargen = ReadGeneralParameters((kCatalogue / "pargen_external_entity.xml").string());
    EXPECT_EQ(externalPargen[GeneralParameter::SNMP_PRIVATE], "&xxe;");

    // The builder stops at the port that an entity stands for, naming it.
    TempDir dir;
    Project project(dir);
    auto clock = Clock();
    ConfigurationImage image{};
    auto report = BuildConfigurationImage((project.folder() / "var.xml").string(),
                                          (kCatalogue / "pargen_billion_laughs.xml").string(), clock, image);
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(report.element, "TCP_PORT");
    EXPECT_NE(report.description.find("&lol9;"), std::string::npos) << report.description;
}

TEST(HostileXml, BrokenDocumentsReportTheParsersText) {
    for (const char* name : {"not_xml.txt", "binary_garbage.bin", "empty.xml", "pargen_truncated.xml",
                             "var_truncated.xml"}) {
        SCOPED_TRACE(name);
        auto path = (kCatalogue / name).string();
        auto pargen = ReadGeneralParameters(path);
        EXPECT_EQ(pargen.outcome, ReadOutcome::NotWellFormed);
        EXPECT_NE(pargen.error.find(path), std::string::npos);
        EXPECT_GT(pargen.error.size(), path.size() + 4) << "no parser text: " << pargen.error;
        auto var = ReadTranslateTable(path);
        EXPECT_EQ(var.outcome, ReadOutcome::NotWellFormed);
        EXPECT_TRUE(var.rows.empty());

        TempDir dir;
        Project project(dir);
        fs::copy_file(path, project.folder() / "var.xml", fs::copy_options::overwrite_existing);
        auto run = Cli({"build", project.folder().string(), "--time", "2026-12-08T14:35:47"});
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.err.find("var.xml"), std::string::npos) << run.err;
        // The image is written all the same, and is all zero: nothing was read.
        auto bytes = ReadFile(project.bin() / "bank1.bin");
        ASSERT_EQ(bytes.size(), kImageSize);
        EXPECT_EQ(bytes, std::string(kImageSize, '\0'));
    }
}

TEST(HostileXml, NulBytesEndNothingSilently) {
    // A NUL byte is not allowed in XML: the document must not read as if it ended there.
    for (const char* name : {"pargen_nul_bytes.xml", "var_nul_bytes.xml"}) {
        SCOPED_TRACE(name);
        auto path = (kCatalogue / name).string();
        auto pargen = ReadGeneralParameters(path);
        auto var = ReadTranslateTable(path);
        EXPECT_EQ(pargen.outcome, ReadOutcome::NotWellFormed);
        EXPECT_EQ(var.outcome, ReadOutcome::NotWellFormed);
        EXPECT_NE(pargen.error.find(path), std::string::npos);
    }
}

TEST(HostileXml, DeepNestingIsAnUnusableElementNotACrash) {
    auto pargen = ReadGeneralParameters((kCatalogue / "pargen_deep_nesting.xml").string());
    ASSERT_EQ(pargen.outcome, ReadOutcome::Read);
    EXPECT_FALSE(pargen[GeneralParameter::TCP_IP1].has_value());
    EXPECT_EQ(DecodeGeneralParameters(pargen).ip[0], "0");
    auto var = ReadTranslateTable((kCatalogue / "var_deep_nesting.xml").string());
    ASSERT_EQ(var.outcome, ReadOutcome::Read);
    EXPECT_TRUE(var.rows.empty());
    ASSERT_TRUE(var.stoppedAt.has_value());
    EXPECT_EQ(var.stoppedAt->attribute, RowAttribute::DATA_TYPE);

    // A million levels, made here: still a plain outcome, in bounded time.
    TempDir dir;
    std::string deep = "<TCP_TO_RTU>";
    for (int i = 0; i < 1000000; ++i)
        deep += "<r>";
    for (int i = 0; i < 1000000; ++i)
        deep += "</r>";
    deep += "</TCP_TO_RTU>";
    WriteFile(dir / "var.xml", deep);
    Stopwatch watch;
    auto table = ReadTranslateTable((dir / "var.xml").string());
    EXPECT_EQ(table.outcome, ReadOutcome::Read);
    EXPECT_TRUE(table.rows.empty());
    EXPECT_LT(watch.Seconds(), kSecondsPerFile);
}

TEST(HostileXml, InvalidUtf8IsKeptAsReadAndConvertedSafely) {
    auto var = ReadTranslateTable((kCatalogue / "var_invalid_utf8.xml").string());
    ASSERT_EQ(var.rows.size(), 1u);
    EXPECT_EQ(var.rows[0].cells[5], "\xff\xfe\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe2\x82");

    // The community name goes into the image as Windows-1252: every bad sequence becomes '?'.
    TempDir dir;
    Project project(dir);
    auto clock = Clock();
    ConfigurationImage image{};
    auto report = BuildConfigurationImage((project.folder() / "var.xml").string(),
                                          (kCatalogue / "pargen_invalid_utf8.xml").string(), clock, image);
    EXPECT_TRUE(report.complete) << report.description;
    std::string name(reinterpret_cast<const char*>(&image[image_offset::SnmpPublic]));
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(name.find_first_not_of('?'), std::string::npos) << name;
    EXPECT_EQ(image[image_offset::SnmpPublic + 13], 0);

    // A UTF-16 document reads like its UTF-8 form.
    auto utf16 = ReadGeneralParameters((kCatalogue / "pargen_utf16.xml").string());
    ASSERT_EQ(utf16.outcome, ReadOutcome::Read);
    EXPECT_EQ(utf16[GeneralParameter::SNMP_PUBLIC], "caf\xc3\xa9");
}

// --- Numbers at and past every limit ---

// What XML 1.0 cannot carry never reaches a document: the grid, a CSV file and the writer refuse
// a mnemonic holding it, naming the row and the character; decode refuses such a community name;
// check and the report show it by its code. What XML can carry goes through unchanged.
TEST(HostileText, WhatXmlCannotCarryIsRefusedWithItsRowAndCode) {
    // clang-format off
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a\x01" "b", "U+0001"}, {"\x1B[31m", "U+001B"}, {"\x0C", "U+000C"},
        {std::string("nul\0x", 5), "U+0000"}, {"\xEF\xBF\xBE", "U+FFFE"}, {"x\xEF\xBF\xBF", "U+FFFF"},
        {"tab\tline\nreturn\r", ""}, {"next\xC2\x85line \xEF\xBF\xBD Größe", ""}};
    // clang-format on
    for (const auto& [text, code] : cases) {
        SCOPED_TRACE(code);
        TempDir dir;
        Project project(dir);
        const std::string var = (project.folder() / "var.xml").string();
        auto grid = CollectTranslateRows(
            {{"Coil Status", "1", "1", "1", "1", "ok"}, {"Coil Status", "2", "1", "1", "1", text}});
        auto csv = TranslateTableFromCsv("Data Type,Address TCP,Address Device RTU,Address RTU,"
                                         "N° Point,Mnemonic\nCoil Status,1,1,1,1,ok\n"
                                         "Coil Status,2,1,1,1,\"" +
                                         text + "\"\n");
        const std::vector<TMyRec> rows = {{1, 1, 1, 1, 1, "ok"}, {1, 2, 1, 1, 1, text}};
        auto written = WriteTranslateTable(var, rows);
        if (code.empty()) {
            EXPECT_FALSE(grid.problem);
            EXPECT_EQ(csv.rows, rows);
            EXPECT_TRUE(written.ok());
            EXPECT_EQ(ReadTranslateTable(var).rows.at(1).cells.at(5), text);
            continue;
        }
        ASSERT_TRUE(grid.problem);
        EXPECT_EQ(grid.problem->row, 2u);
        EXPECT_NE(grid.problem->message.find("Mnemonic holds " + code), std::string::npos);
        EXPECT_EQ(csv.problems.at(0).line, 3u);
        EXPECT_EQ(written.message(), var + ": row 2 MNEMONIC holds " + code +
                                         ", a character XML cannot carry; nothing written");
        EXPECT_EQ(ReadFile(var), kSampleVar);
    }

    TempDir dir;
    Project project(dir);
    WriteFile(project.folder() / "var.xml",
              "<TCP_TO_RTU><row DATA_TYPE=\"3\" TCP_ADDRESS=\"1\" RTU_ADD_DEV=\"2\" "
              "RTU_ADDRESS=\"3\" N_POINT=\"4\" MNEMONIC=\"&#27;[2J\"/></TCP_TO_RTU>");
    auto check = Cli({"check", project.folder().string()});
    EXPECT_NE(check.out.find("var.xml row 1 Mnemonic: Error!! Mnemonic holds U+001B"),
              std::string::npos)
        << check.out;
    auto report = Cli({"report", project.folder().string()});
    EXPECT_EQ(report.out.find('\x1B'), std::string::npos);
    EXPECT_NE(report.out.find("<td>&lt;U+001B&gt;[2J</td>"), std::string::npos);

    ConfigurationImage image{};
    image[image_offset::SnmpPublic] = 0x01;
    WriteFile(dir / "image.bin", std::string(image.begin(), image.end()));
    auto decoded =
        Cli({"decode", (dir / "image.bin").string(), "--output", (dir / "D").string()});
    EXPECT_NE(decoded.err.find("SNMP_PUBLIC holds U+0001"), std::string::npos) << decoded.err;
    EXPECT_FALSE(fs::exists(dir / "D"));
}

TEST(HostileNumbers, ValuesAtTheLimitsKeepTheirLowBits) {
    TempDir dir;
    Project project(dir);
    auto clock = Clock();
    ConfigurationImage image{};
    auto report = BuildConfigurationImage((kCatalogue / "var_at_limits.xml").string(),
                                          (kCatalogue / "pargen_at_limits.xml").string(), clock, image);
    ASSERT_TRUE(report.complete) << report.description;
    const uint8_t rows[3][7] = {{0x04, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F},
                                {0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF},
                                {0x00, 0x00, 0x00, 0x00, 0x70, 0x11, 0x80}};
    for (size_t r = 0; r < 3; ++r)
        for (size_t b = 0; b < 7; ++b)
            EXPECT_EQ(image[r * 7 + b], rows[r][b]) << "row " << r << " byte " << b;
    EXPECT_EQ(image[image_offset::IpAddress], 255);
    EXPECT_EQ(image[image_offset::TcpPort], 0xFF);      // 2147483647
    EXPECT_EQ(image[image_offset::TcpPort + 1], 0xFF);
    EXPECT_EQ(image[image_offset::TimeOut], 0xFF);      // $FFFFFFFF
    EXPECT_EQ(image[image_offset::Offset], 0x00);       // -2147483648
    EXPECT_EQ(image[image_offset::Offset + 1], 0x00);
    EXPECT_EQ(image[image_offset::Baud], 0xFF);         // -1
    EXPECT_EQ(image[image_offset::Parity], 0xFF);       // 0x7FFFFFFF
    EXPECT_EQ(image[image_offset::Mode], 0x00);         // -0
    EXPECT_EQ(image[image_offset::EnableGateway], 1);   // "  +$1"
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[image_offset::SnmpPublic])), "thirteen char");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[image_offset::SnmpPrivate])), "a name far lo");
}

TEST(HostileNumbers, OnePastALimitStopsTheBuildThereAndNamesIt) {
    TempDir dir;
    Project project(dir);
    auto clock = Clock();
    ConfigurationImage image{};
    auto goodVar = (project.folder() / "var.xml").string();
    auto goodPargen = (project.folder() / "pargen.xml").string();

    auto report = BuildConfigurationImage(goodVar, (kCatalogue / "pargen_past_limit.xml").string(), clock, image);
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(report.element, "TCP_PORT");
    EXPECT_EQ(report.text, "2147483648");
    EXPECT_EQ(image[image_offset::TcpPort], 0);
    auto editor = DecodeGeneralParameters(ReadGeneralParameters((kCatalogue / "pargen_past_limit.xml").string()));
    EXPECT_EQ(editor.port, 502); // unusable on reading: the editor's fallback

    report = BuildConfigurationImage(goodVar, (kCatalogue / "pargen_hex_past_limit.xml").string(), clock, image);
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(report.element, "TIME_OUT");

    report = BuildConfigurationImage((kCatalogue / "var_past_limit.xml").string(), goodPargen, clock, image);
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(report.row, 1u);
    EXPECT_EQ(report.attribute, "RTU_ADDRESS");
    EXPECT_EQ(image[7 + 3], 2);     // row 2 read up to the failing attribute
    EXPECT_EQ(image[7 + 4], 0);
    EXPECT_EQ(image[14 + 0], 0);    // row 3 never read
    EXPECT_EQ(image[image_offset::TcpPort], 0);

    report = BuildConfigurationImage((kCatalogue / "var_2001_rows.xml").string(), goodPargen, clock, image);
    EXPECT_TRUE(report.complete);
    EXPECT_EQ(report.rowsIgnored, 1u);
    EXPECT_EQ(ReadTranslateTable((kCatalogue / "var_2001_rows.xml").string()).rows.size(), 2000u);
}

// --- Base firmware ---

TEST(HostileFirmware, EachBadBaseGetsTheMergesOwnOutcome) {
    struct Case {
        const char* name;
        MergeOutcome outcome;
        bool placed;
    };
    for (auto [name, outcome, placed] :
         {Case{"sx_blank_line.sx", MergeOutcome::MergeFailed, false},
          Case{"sx_short_record.sx", MergeOutcome::MergeFailed, false},
          Case{"sx_bad_address.sx", MergeOutcome::MergeFailed, false},
          Case{"sx_lower_case.sx", MergeOutcome::Written, false},
          Case{"sx_nul_bytes.sx", MergeOutcome::Written, false},
          Case{"sx_no_line_end.sx", MergeOutcome::Written, true}}) {
        SCOPED_TRACE(name);
        TempDir dir;
        Project project(dir);
        fs::copy_file(kCatalogue / name, project.master() / ProjectFiles::kBaseFirmwareName,
                      fs::copy_options::overwrite_existing);
        WriteFile(project.bin() / "bank1.bin", std::string(kImageSize, '\x11'));
        Recorder recorder;
        auto result = Merge(project, recorder);
        EXPECT_EQ(result.outcome, outcome);
        EXPECT_EQ(fs::exists(project.newFirmware()), outcome == MergeOutcome::Written);
        EXPECT_EQ(EntriesIn(project.bin()), 1u);
        if (outcome == MergeOutcome::Written) {
            EXPECT_EQ(result.imagePlaced, placed);
        }
    }
    // The lower-case record is an ordinary line: copied, with CR LF.
    TempDir dir;
    Project project(dir);
    fs::copy_file(kCatalogue / "sx_lower_case.sx",
                  project.master() / ProjectFiles::kBaseFirmwareName,
                  fs::copy_options::overwrite_existing);
    WriteFile(project.bin() / "bank1.bin", std::string(kImageSize, '\0'));
    Recorder recorder;
    Merge(project, recorder);
    EXPECT_EQ(ReadFile(project.newFirmware()), ReadFile(kCatalogue / "sx_lower_case.sx"));
}

// --- Names with "..", absolute paths and separators ---

TEST(HostileNames, StoredProjectNamesNeverLeaveTheProjectsFolder) {
    for (const char* name : {"settings_dotdot.ini", "settings_traversal.ini", "settings_absolute.ini"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        fs::create_directories(dir / "app" / "etc");
        fs::copy_file(kCatalogue / name, dir / "app" / "Fabricor.ini");
        Workspace workspace;
        RunStartup(workspace, (dir / "app" / "fabricor").string());
        EXPECT_EQ(workspace.ProjectFolder, workspace.ProjectsFolder);
        // The stored name itself is kept and written back unchanged at close.
        EXPECT_FALSE(workspace.ProjectName.empty());
        auto stored = ReadIniValue(dir / "app" / "Fabricor.ini", "lastproj", "projectname");
        EXPECT_NE(workspace.ProjectName.find(stored.substr(stored.front() == '/' ? 1 : 0)),
                  std::string::npos);
    }
}

TEST(HostileNames, ProjectPathsOnTheCommandLineAreTakenAsGivenAndReportedWhenWrong) {
    TempDir dir;
    Project project(dir);
    // A relative path with "..", an absolute one and one with a trailing separator all name the
    // same project folder.
    auto viaParent = (project.folder() / ".." / "P").string();
    for (const auto& path : {viaParent, fs::absolute(project.folder()).string(), project.folder().string() + "/"}) {
        SCOPED_TRACE(path);
        auto run = Cli({"build", path, "--time", "2026-12-08T14:35:47"});
        EXPECT_EQ(run.code, 0) << run.err;
    }
    // A project without documents or a bin folder: a message that names what is missing, nothing
    // written anywhere else.
    fs::create_directories(dir / "empty");
    auto run = Cli({"build", (dir / "empty").string(), "--time", "2026-12-08T14:35:47"});
    EXPECT_EQ(run.code, 1);
    EXPECT_FALSE(run.err.empty());
    EXPECT_EQ(EntriesIn(dir / "empty"), 0u);
    run = Cli({"build", (dir / "no such project").string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_FALSE(run.err.empty());
}

} // namespace
} // namespace fabricor
