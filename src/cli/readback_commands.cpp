#include "base/application_folder.h"
#include "base/atomic_file.h"
#include "base/clock.h"
#include "base/folders.h"
#include "base/project_files.h"
#include "base/regular_file.h"
#include "cli/cli.h"
#include "cli/options.h"
#include "firmware/firmware_window.h"
#include "firmware/flash_tool.h"
#include "firmware/merge.h"
#include "firmware/srecord.h"
#include "image/configuration_image.h"
#include "image/image_decode.h"
#include "platform/files.h"
#include "project/commissioning_report.h"
#include "project/probe_results.h"
#include "project/project_folders.h"

#include <filesystem>
#include <ostream>

namespace fabricor::cli {
namespace {

std::string Prefixed(const std::string& path, const std::string& error) {
    if (error.rfind(path, 0) == 0)
        return error;
    return path + ": " + error;
}

struct LoadedImage {
    bool ok = false;
    std::string error;
    ConfigurationImage image{};
    std::string kind; // "project", "firmware", "image"
    // A project's values its image cannot hold: compared as the project says them.
    std::vector<UnheldValue> unheld;
};

// An S-record firmware starts with "S" and a digit; anything else is taken as an image file.
bool LooksLikeFirmware(const std::string& path) {
    RegularFile file = RegularFile::Open(path, kFirmwareReadLimit);
    if (!file.ok())
        return false;
    char head[2] = {0, 0};
    long long got = file.ReadSome(head, 2);
    return got == 2 && StartsLikeSRecord(std::string_view(head, 2));
}

LoadedImage LoadFirmwareOrImage(const std::string& path) {
    LoadedImage loaded;
    RegularFile file = RegularFile::Open(path, kFirmwareReadLimit);
    if (!file.ok()) {
        loaded.error = file.error();
        return loaded;
    }
    if (LooksLikeFirmware(path)) {
        auto window = ReadFirmwareWindowFile(path);
        if (!window.ok) {
            loaded.error = Prefixed(path, window.error);
            return loaded;
        }
        loaded.image = window.image;
        loaded.kind = "firmware";
        loaded.ok = true;
        return loaded;
    }
    if (file.size() != kImageSize) {
        loaded.error = path + ": neither an S-record firmware nor a configuration image (" +
                       std::to_string(file.size()) + " bytes; an image has 16384)";
        return loaded;
    }
    auto bytes = file.ReadAll();
    if (!bytes || bytes->size() != kImageSize) {
        loaded.error = bytes ? path + ": changed size while read" : file.error();
        return loaded;
    }
    std::copy(bytes->begin(), bytes->end(), loaded.image.begin());
    loaded.kind = "image";
    loaded.ok = true;
    return loaded;
}

LoadedImage BuildProject(const std::string& project) {
    LoadedImage loaded;
    FixedClock clock(LocalTime{});
    const ProjectFiles files(project);
    const std::string varPath = files.TranslateTable();
    const std::string pargenPath = files.GeneralParameters();
    auto report = BuildConfigurationImage(varPath, pargenPath, clock, loaded.image);
    if (!report.complete) {
        loaded.error = project + ": the project does not build completely: " + report.description;
        return loaded;
    }
    loaded.unheld = ValuesTheImageCannotHold(varPath, pargenPath);
    loaded.kind = "project";
    loaded.ok = true;
    return loaded;
}

LoadedImage LoadAny(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(platform::PathOfUtf8(path), ec))
        return BuildProject(path);
    return LoadFirmwareOrImage(path);
}

// The name of the folder a path ends in, as it stands on disk: "out/" and "out/." name "out".
std::string FolderNameOf(const std::string& dir) {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(platform::PathOfUtf8(dir), ec);
    if (ec)
        path = platform::PathOfUtf8(dir);
    path = path.lexically_normal();
    if (!path.has_filename())
        path = path.parent_path();
    return platform::Utf8Name(path.filename());
}

void DecodeHelp(std::ostream& out) {
    out << "Reads the configuration image from INPUT, a firmware (its S2 records of the\n"
               "window "
            << HexAddress(kBankWindowFirst) << ".." << HexAddress(kBankWindowLast)
            << ") or a 16384-byte image file, and writes DIR/pargen.xml\n"
               "and DIR/var.xml: a project that builds the same image again, the build time and\n"
               "date aside. Both documents are written or neither; a DIR that already holds\n"
               "either is refused, and so is a DIR whose name New project would refuse. The\n"
               "image holds no mnemonics: every MNEMONIC is empty.\n"
               "\n"
               "Exit status: 0 when written; 1 when the input is refused or a file cannot be\n"
               "written; 2 on a usage error.\n";
}

int RunDecode(const ParsedArguments& parsed, std::ostream& out, std::ostream& err,
              TerminalProgress&) {
    auto output = parsed.values.find("output");
    if (output == parsed.values.end() || output->second.empty())
        return UsageError(kDecodeCommand, err, "--output DIR is missing");
    // DIR becomes a project: a name New project refuses would make one that no update could
    // ever hand to the flash tool.
    if (std::string name = FolderNameOf(output->second); !IsValidProjectName(name)) {
        err << "fabricor-cli decode: " << output->second << ": \"" << name
            << "\" cannot name a project: " << ProjectNameProblem(name) << "\n";
        return kExitFailure;
    }

    auto loaded = LoadFirmwareOrImage(parsed.positional.front());
    if (!loaded.ok) {
        err << "fabricor-cli decode: " << loaded.error << "\n";
        return kExitFailure;
    }
    std::vector<std::string> notes;
    if (auto written = WriteDecodedProject(output->second, loaded.image, notes); !written.ok()) {
        err << "fabricor-cli decode: " << written.message() << "\n";
        return kExitFailure;
    }
    const auto decoded = DecodeImage(loaded.image);
    const std::string folder = output->second;
    const ProjectFiles files(folder);
    out << "Wrote " << files.GeneralParameters() << "\n"
        << "Wrote " << files.TranslateTable() << " (" << decoded.rows.size() << " rows)\n"
        << "Built at " << DescribeBuildWords(decoded.timeWord, decoded.dateWord) << "\n";
    err << "fabricor-cli decode: note: the image holds no mnemonics; every MNEMONIC is empty\n";
    for (const auto& note : notes)
        err << "fabricor-cli decode: note: the project cannot give back this field: " << note
            << "\n";
    return kExitOk;
}

void VerifyHelp(std::ostream& out) {
    out << "Builds PROJECT's configuration image in memory and compares it, field by field,\n"
               "with the one in FIRMWARE, a firmware or an image file (default\n"
               "PROJECT/"
            << ProjectFiles::NewFirmwareName()
            << "), the build time and date aside. Prints \"identical\", or each\n"
               "difference, for example\n"
               "  var.xml row 17 RTU_ADDRESS: project 100, firmware 101\n"
               "A value the image cannot hold is compared as the project says it:\n"
               "  var.xml row 2 RTU_ADD_DEV: project 258, stored as 2\n"
               "With --master, every line outside the configuration window must also be\n"
               "MASTER_DIR/"
            << ProjectFiles::kBaseFirmwareName
            << "'s, in the same order.\n"
               "\n"
               "Exit status: 0 identical; 1 different; 2 on a usage error or unreadable input.\n";
}

int RunVerify(const ParsedArguments& parsed, std::ostream& out, std::ostream& err,
              TerminalProgress&) {
    const std::string project = parsed.positional[0];
    const std::string firmware = parsed.positional.size() > 1
                                     ? parsed.positional[1]
                                     : ProjectFiles(project).NewFirmwareInFolder();
    std::error_code ec;
    if (!std::filesystem::is_directory(platform::PathOfUtf8(project), ec)) {
        err << "fabricor-cli verify: " << project << ": not a project folder\n";
        return kExitUsage;
    }
    auto built = BuildProject(project);
    if (!built.ok) {
        err << "fabricor-cli verify: " << built.error << "\n";
        return kExitUsage;
    }
    std::optional<std::string> base;
    if (auto master = parsed.values.find("master"); master != parsed.values.end())
        base = ProjectFiles::BaseFirmwareIn(master->second);
    // Without a base firmware to compare with, an image file will do as well.
    FirmwareWindow window;
    if (base || LooksLikeFirmware(firmware)) {
        window = ReadFirmwareWindowFile(firmware, base);
    } else {
        auto loaded = LoadFirmwareOrImage(firmware);
        window.ok = loaded.ok;
        window.error = loaded.error;
        window.image = loaded.image;
    }
    if (!window.ok) {
        err << "fabricor-cli verify: " << Prefixed(firmware, window.error) << "\n";
        return kExitUsage;
    }
    auto differences = CompareSides({built.image, "project", std::move(built.unheld)},
                                    {window.image, "firmware", {}});
    if (!window.outsideDifference.empty())
        differences.push_back("outside the configuration window: " + window.outsideDifference);
    if (differences.empty()) {
        out << "identical\n";
        return kExitOk;
    }
    for (const auto& line : differences)
        out << line << "\n";
    return kExitFailure;
}

void DiffHelp(std::ostream& out) {
    out << "Compares two configurations field by field, the build time and date aside. Each\n"
               "of A and B is a project folder, a firmware or a 16384-byte image file. Prints\n"
               "\"identical\" or each difference, for example\n"
               "  pargen.xml TCP_PORT: A 502, B 503\n"
               "A project's value its image cannot hold is compared as the project says it.\n"
               "\n"
               "Exit status: 0 identical; 1 different; 2 on a usage error or unreadable input.\n";
}

int RunDiff(const ParsedArguments& parsed, std::ostream& out, std::ostream& err,
            TerminalProgress&) {
    auto a = LoadAny(parsed.positional[0]);
    if (!a.ok) {
        err << "fabricor-cli diff: " << a.error << "\n";
        return kExitUsage;
    }
    auto b = LoadAny(parsed.positional[1]);
    if (!b.ok) {
        err << "fabricor-cli diff: " << b.error << "\n";
        return kExitUsage;
    }
    auto differences =
        CompareSides({a.image, "A", std::move(a.unheld)}, {b.image, "B", std::move(b.unheld)});
    if (differences.empty()) {
        out << "identical\n";
        return kExitOk;
    }
    for (const auto& line : differences)
        out << line << "\n";
    return kExitFailure;
}

void ReportHelp(std::ostream& out) {
    out << "Writes a commissioning report of PROJECT as one self-contained printable HTML\n"
           "page. Its first part is the page an engineer files: the project, the date and\n"
           "time, the program's release, the base firmware in MASTER and the SHA-256 of it,\n"
           "of New_SX30418.sx and of bin/bank1.bin, the serial port, the general parameters\n"
           "as the device gets them, the problems and warnings of 'fabricor-cli check', and\n"
           "blank fields for site, device tag and sign-off. Then the translate table.\n"
           "Without --output the page goes to stdout. A control character in a text is shown\n"
           "by its code, <U+001B> for ESC. FILE must be a regular file (or missing), never\n"
           "the project's pargen.xml or var.xml.\n"
           "\n"
           "--probe FILE.json adds a probe's last results to each row: an array of objects\n"
           "{\"row\": 1, \"status\": \"ok\", \"response_ms\": 12.5, \"values\": [17, 0]}\n"
           "(\"row\" and \"status\" required; the array may also be the member \"rows\" of\n"
           "an object; other members are ignored).\n"
           "--port COMn names the port the flash tool writes through, with the device\n"
           "Progwerk.ini maps it to.\n"
           "\n"
           "Exit status: 0 when written; 1 when the file cannot be written; 2 on a usage\n"
           "error, when PROJECT is not a folder or when FILE.json cannot be read.\n";
}

int RunReport(const ParsedArguments& parsed, std::ostream& out, std::ostream& err,
              TerminalProgress&) {
    const std::string project = parsed.positional.front();
    std::error_code ec;
    if (!std::filesystem::is_directory(platform::PathOfUtf8(project), ec)) {
        err << "fabricor-cli report: " << project << ": not a project folder\n";
        return kExitUsage;
    }
    ReportSources sources;
    sources.projectFolder = project;
    const ApplicationFolder folders = DecideApplicationFolder(ExecutableFolder());
    sources.masterFolder = folders.master.path;
    sources.toolSettingsFolder = folders.dataFolder;
    if (auto port = parsed.values.find("port"); port != parsed.values.end()) {
        const std::string& name = port->second;
        const bool known = name.size() == 4 && name.compare(0, 3, "COM") == 0 && name[3] >= '1' &&
                           name[3] < '1' + kSerialPortCount;
        if (!known)
            return UsageError(kReportCommand, err, "--port takes COM1 to COM8");
        sources.portIndex = name[3] - '1';
    }
    ProbeResults probe;
    if (auto file = parsed.values.find("probe"); file != parsed.values.end()) {
        probe = ReadProbeResultsFile(file->second);
        if (!probe.ok()) {
            err << "fabricor-cli report: " << probe.error << "\n";
            return kExitUsage;
        }
        sources.probe = &probe;
    }
    SystemClock clock;
    const std::string html = CommissioningReportHtml(MakeCommissioningReport(sources, clock));
    auto output = parsed.values.find("output");
    if (output == parsed.values.end()) {
        out << html;
        return kExitOk;
    }
    if (auto document = ProjectDocumentAt(project, output->second)) {
        err << "fabricor-cli report: " << output->second << " is the project's own " << *document
            << "; nothing written\n";
        return kExitFailure;
    }
    if (auto written = WriteFileAtomically(output->second, html); !written.ok()) {
        err << "fabricor-cli report: " << written.message() << "\n";
        return kExitFailure;
    }
    out << "Wrote " << output->second << "\n";
    return kExitOk;
}

} // namespace

const Command kDecodeCommand = {
    .name = "decode",
    .summary = "read the configuration back from a firmware or an image into a project",
    .usage = "decode INPUT --output DIR",
    .help = DecodeHelp,
    .valueOptions = {"output"},
    .positionals = {1, 1, "INPUT is missing", "only one INPUT is decoded"},
    .run = RunDecode,
};

const Command kVerifyCommand = {
    .name = "verify",
    .summary = "compare PROJECT with the configuration inside its firmware, field by field",
    .usage = "verify PROJECT [FIRMWARE] [--master MASTER_DIR]",
    .help = VerifyHelp,
    .valueOptions = {"master"},
    .positionals = {1, 2, "PROJECT is missing", "too many arguments"},
    .run = RunVerify,
};

const Command kDiffCommand = {
    .name = "diff",
    .summary = "compare two projects, firmwares or images, field by field",
    .usage = "diff A B",
    .help = DiffHelp,
    .positionals = {2, 2, "two inputs are compared, A and B", "two inputs are compared, A and B"},
    .run = RunDiff,
};

const Command kReportCommand = {
    .name = "report",
    .summary = "write a printable HTML commissioning report of PROJECT",
    .usage = "report PROJECT [--output FILE.html] [--probe FILE.json] [--port COMn]",
    .help = ReportHelp,
    .valueOptions = {"output", "probe", "port"},
    .positionals = {1, 1, "PROJECT is missing", "only one PROJECT"},
    .run = RunReport,
};

} // namespace fabricor::cli
