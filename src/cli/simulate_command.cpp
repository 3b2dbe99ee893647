#include "cli/simulate_command.h"

#include "base/folders.h"
#include "base/regular_file.h"
#include "cli/options.h"
#include "cli/signal_pipes.h"
#include "documents/integer_text.h"
#include "gateway/field_devices.h"
#include "gateway/gateway_project.h"

#include <modbus/modbus.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ostream>

namespace fabricor::cli {

namespace {

using gateway::Bytes;

void SimulateHelp(std::ostream& out) {
    out << "Plays the field devices of PROJECT's translate table on the serial port DEVICE,\n"
           "with the project's baud rate, parity and stop bits (8 data bits): the RTU slaves\n"
           "the gateway talks to, for the bench, with 'fabricor-cli gateway' on the other end\n"
           "of the line (two linked pseudo-terminals made by socat will do).\n"
           "\n"
           "Every RTU device address 1 to 247 the table names answers, with the objects its\n"
           "rows map: N° Point objects of the row's data type from its Address RTU. Functions\n"
           "1 to 6, 15 and 16 are served; an object the table does not map gets exception 2\n"
           "(illegal data address), another function exception 1, a quantity Modbus does not\n"
           "allow exception 3. A request for a device the table does not name gets no answer,\n"
           "as on a real line. Writes are kept until the end; a broadcast (address 0) write\n"
           "goes to every device that has its objects.\n"
           "\n"
           "Until a value file or a write says otherwise, the objects of device D hold:\n"
           "  holding register A   (1000 D + A) mod 65536        device 2 register 7: 2007\n"
           "  input register A     (30000 + 1000 D + A) mod 65536 device 2 register 7: 32007\n"
           "  coil A               on when A + D is odd\n"
           "  discrete input A     on when A + D is a multiple of 3\n"
           "\n"
           "Options:\n"
           "  --serial DEVICE     the serial port of the RTU line\n"
           "  --values FILE.csv   start values, one a line: device,kind,address,value; kind is\n"
           "                      1 to 4 or the data type's name (Coil Status, Input Status,\n"
           "                      Holding Register, Input Register); a first line beginning\n"
           "                      with 'device' is a header, '#' begins a comment line. A value\n"
           "                      for an object the table does not map is refused.\n"
           "  --silent DEVICES    these devices (e.g. 3,7) read every request and answer none,\n"
           "                      as devices switched off or wired wrong\n"
           "  --verbose           each frame heard and sent, in hexadecimal, with what it is\n"
           "  --help              show this help\n"
           "\n"
           "Answers go out as soon as a request is whole. SIGUSR1 prints the tallies so far;\n"
           "Ctrl-C or SIGTERM stops it, and it prints them and exits with 0.\n"
           "Exit status: 0 after a stop; 1 when the project or the value file is refused, the\n"
           "serial port cannot be used or the line is gone; 2 on a usage error.\n";
}

// "3,7": device addresses 1 to 247.
std::optional<std::set<uint8_t>> ParseDeviceList(const std::string& text) {
    std::set<uint8_t> devices;
    size_t at = 0;
    while (at <= text.size()) {
        const size_t comma = std::min(text.find(',', at), text.size());
        auto device = ParseIntegerText(text.substr(at, comma - at));
        if (!device || *device < 1 || *device > 247)
            return std::nullopt;
        devices.insert(uint8_t(*device));
        at = comma + 1;
    }
    return devices;
}

std::string Hex(const uint8_t* data, size_t size) {
    std::string text;
    char byte[4];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", data[i]);
        text += byte;
    }
    return text;
}

struct Tallies {
    uint64_t requests = 0, answers = 0, exceptions = 0, silent = 0, others = 0, broadcasts = 0;
    uint64_t passedOver = 0; // bytes that began no frame for anyone
};

void PrintTallies(std::ostream& out, const Tallies& t) {
    out << "requests: " << t.requests << "\n  answered: " << t.answers
        << "\n  exceptions: " << t.exceptions << "\n  played dead: " << t.silent
        << "\n  broadcasts: " << t.broadcasts << "\n  for other devices: " << t.others
        << "\nbytes passed over: " << t.passedOver << std::endl;
}

// The line and what it has brought: frames are cut by their length, the silence only decides
// what to do with bytes that make no frame.
class SimulatedLine {
public:
    SimulatedLine(int fd, gateway::FieldDevices& devices, std::ostream* verbose)
        : fd_(fd), devices_(devices), verbose_(verbose) {}

    // False when the line is gone.
    bool Read() {
        uint8_t chunk[512];
        for (;;) {
            const ssize_t got = ::read(fd_, chunk, sizeof chunk);
            if (got > 0) {
                heard_.insert(heard_.end(), chunk, chunk + got);
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            return got == 0 || errno == EAGAIN || errno == EWOULDBLOCK;
        }
    }
    bool Empty() const { return heard_.empty(); }

    // Serves every whole frame heard; after a silence, what makes no frame is passed over. So
    // is what makes none in more than two frames' length: a line that never falls silent.
    bool Serve(bool silence) {
        size_t at = 0;
        Bytes passed;
        while (at < heard_.size()) {
            const uint8_t* data = heard_.data() + at;
            const size_t size = heard_.size() - at;
            const bool givenUp = silence || size > kTwoFrames;
            auto scan = gateway::ScanRtuRequest(data, size);
            using Status = gateway::RtuRequestScan::Status;
            if (scan.status == Status::Unknown && givenUp && size >= 4 && size <= 256 &&
                gateway::Crc16(data, size - 2) == uint16_t(data[size - 2] | data[size - 1] << 8))
                scan = {Status::Frame, size};
            if (scan.status == Status::Frame) {
                PassOver(passed);
                if (!Answer(data, scan.length))
                    return false;
                at += scan.length;
            } else if (scan.status == Status::Skip || givenUp) {
                passed.push_back(heard_[at++]);
            } else {
                break;
            }
        }
        PassOver(passed);
        heard_.erase(heard_.begin(), heard_.begin() + ptrdiff_t(at));
        return true;
    }

    const Tallies& tallies() const { return tallies_; }

private:
    void Say(const std::string& line) {
        if (verbose_)
            *verbose_ << line << std::endl;
    }
    void PassOver(Bytes& passed) {
        if (passed.empty())
            return;
        tallies_.passedOver += passed.size();
        Say("?? " + Hex(passed.data(), passed.size()) + "  passed over: no request");
        passed.clear();
    }
    bool Answer(const uint8_t* frame, size_t length) {
        ++tallies_.requests;
        const uint8_t device = frame[0];
        const Bytes pdu(frame + 1, frame + length - 2);
        const auto reply = devices_.Reply(device, pdu);
        using Kind = gateway::SimulatedReply::Kind;
        std::string heard = "<- " + Hex(frame, length) + "  ";
        heard += device == 0 ? std::string("broadcast") : "device " + std::to_string(device);
        heard += ": " + gateway::DescribePdu(pdu);
        switch (reply.kind) {
        case Kind::NotOurs:
            ++tallies_.others;
            Say(heard + ", not in the table: silence");
            return true;
        case Kind::Silent:
            ++tallies_.silent;
            Say(heard + ", plays dead: silence");
            return true;
        case Kind::Broadcast:
            ++tallies_.broadcasts;
            Say(heard + ", broadcast: no answer");
            return true;
        case Kind::Answer:
            break;
        }
        Say(heard);
        const Bytes answer = gateway::RtuFrame(device, reply.pdu);
        const bool exception = reply.pdu.size() == 2 && (reply.pdu[0] & gateway::kExceptionBit);
        ++(exception ? tallies_.exceptions : tallies_.answers);
        Say("-> " + Hex(answer.data(), answer.size()) + "  " +
            (exception ? "exception " + gateway::DescribeException(reply.pdu[1])
                       : std::string("answered")));
        return WriteAll(answer);
    }
    bool WriteAll(const Bytes& bytes) {
        size_t written = 0;
        while (written < bytes.size()) {
            const ssize_t put = ::write(fd_, bytes.data() + written, bytes.size() - written);
            if (put > 0) {
                written += size_t(put);
                continue;
            }
            if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                return false;
            pollfd room{fd_, POLLOUT, 0};
            if (::poll(&room, 1, 1000) == 0)
                return false; // a line that takes nothing for a second is gone
        }
        return true;
    }

    static constexpr size_t kTwoFrames = 2 * 256;

    int fd_;
    gateway::FieldDevices& devices_;
    std::ostream* verbose_;
    Bytes heard_;
    Tallies tallies_;
};

std::string DeviceList(const std::vector<uint8_t>& devices) {
    std::string text;
    for (uint8_t device : devices)
        text += (text.empty() ? "" : ", ") + std::to_string(device);
    return text;
}

int RunSimulate(const ParsedArguments& parsed, std::ostream& out, std::ostream& err,
                TerminalProgress&) {
    if (!parsed.values.count("serial"))
        return UsageError(kSimulateCommand, err, "--serial DEVICE is missing");
    std::set<uint8_t> silent;
    if (parsed.values.count("silent")) {
        auto devices = ParseDeviceList(parsed.values.at("silent"));
        if (!devices)
            return UsageError(kSimulateCommand, err, "--silent takes device addresses 1 to 247 separated by "
                                   "commas, not '" +
                                       parsed.values.at("silent") + "'");
        silent = *devices;
    }

    const std::string& project = parsed.positional.front();
    if (!FolderExists(project)) {
        err << "fabricor-cli simulate: " << project << " is not a project folder\n";
        return kExitFailure;
    }
    auto loaded = gateway::LoadGatewayProject(project);
    if (!loaded.problems.empty() || !loaded.refusals.empty()) {
        const bool saves = loaded.problems.empty();
        err << "fabricor-cli simulate: " << project
            << (saves ? " cannot be played as the device would run it:\n"
                      : " would not save cleanly:\n");
        for (const auto& line : saves ? loaded.refusals : loaded.problems)
            err << line << "\n";
        return kExitFailure;
    }
    gateway::FieldDevices devices(loaded.settings.rows);
    const auto played = devices.Devices();
    if (played.empty()) {
        err << "fabricor-cli simulate: " << project
            << "'s table names no RTU device 1 to 247: nobody to play\n";
        return kExitFailure;
    }
    for (uint8_t device : silent)
        if (!devices.Plays(device))
            return UsageError(kSimulateCommand, err, "--silent " + std::to_string(device) +
                                       ": the table names no such RTU device");
    devices.Silence(silent);
    if (parsed.values.count("values")) {
        const std::string& path = parsed.values.at("values");
        auto file = ReadRegularFile(path, kDocumentReadLimit);
        if (!file.bytes) {
            err << "fabricor-cli simulate: " << file.error << "\n";
            return kExitFailure;
        }
        auto values = gateway::ParseValuesCsv(*file.bytes);
        // Every line with a problem, in file order: those that do not read and those that name
        // an object the table does not map.
        auto problems = values.problems;
        for (auto& problem : devices.Preset(values.values))
            problems.push_back(std::move(problem));
        std::stable_sort(problems.begin(), problems.end(), [](const auto& a, const auto& b) {
            return std::stoul(a.substr(5)) < std::stoul(b.substr(5));
        });
        if (!problems.empty()) {
            err << "fabricor-cli simulate: " << path << " is refused:\n";
            for (const auto& line : problems)
                err << line << "\n";
            return kExitFailure;
        }
    }

    // libmodbus opens the port with the line's settings; the frames are this program's own.
    const auto& s = loaded.settings;
    const std::string serial = parsed.values.at("serial");
    modbus_t* context = modbus_new_rtu(serial.c_str(), s.baudRate, s.parity, 8, s.stopBits);
    if (!context || modbus_connect(context) != 0) {
        err << "fabricor-cli simulate: cannot open " << serial << ": " << modbus_strerror(errno)
            << "\n";
        if (context)
            modbus_free(context);
        return kExitFailure;
    }
    struct Closer {
        modbus_t* context;
        ~Closer() {
            modbus_close(context);
            modbus_free(context);
        }
    } closer{context};
    SignalPipes signals;
    if (!signals.ok()) {
        err << "fabricor-cli simulate: cannot make a pipe\n";
        return kExitFailure;
    }

    out << "Simulating RTU device" << (played.size() == 1 ? " " : "s ") << DeviceList(played)
        << " of " << project << " on " << serial << " at " << s.baudRate << " baud, 8" << s.parity
        << s.stopBits;
    if (!silent.empty())
        out << "; playing dead: " << DeviceList({silent.begin(), silent.end()});
    out << ". Ctrl-C stops it." << std::endl;

    SimulatedLine line(modbus_get_socket(context), devices,
                       parsed.flags.count("verbose") ? &out : nullptr);
    // Bytes that make no frame are given up after a silence of 3.5 characters; a pseudo-terminal
    // keeps no timing, so never less than 20 ms.
    const auto timing = gateway::TimingOf(s.baudRate, s.parity, s.stopBits);
    const auto silenceMs = std::max<int>(20, int(timing.interFrameUs / 1000) + 1);
    for (;;) {
        pollfd polled[] = {{signals.stopFd(), POLLIN, 0},
                           {signals.reportFd(), POLLIN, 0},
                           {modbus_get_socket(context), POLLIN, 0}};
        const int ready = ::poll(polled, 3, line.Empty() ? -1 : silenceMs);
        if (ready < 0 && errno != EINTR)
            break;
        if (polled[0].revents)
            break;
        if (polled[1].revents && SignalPipes::Take(signals.reportFd()))
            PrintTallies(out, line.tallies());
        bool up = true;
        if (polled[2].revents & POLLIN)
            up = line.Read();
        else if (polled[2].revents & (POLLHUP | POLLERR | POLLNVAL))
            up = false;
        if (!up || !line.Serve(ready == 0)) {
            err << "fabricor-cli simulate: the line " << serial << " is gone\n";
            PrintTallies(out, line.tallies());
            return kExitFailure;
        }
    }
    out << "Stopped.\n";
    PrintTallies(out, line.tallies());
    return kExitOk;
}

} // namespace

const Command kSimulateCommand = {
    .name = "simulate",
    .summary = kSimulateSummary,
    .usage = kSimulateUsage,
    .help = SimulateHelp,
    .valueOptions = {"serial", "values", "silent"},
    .flagOptions = {"verbose"},
    .positionals = {1, 1, "PROJECT is missing", "only one PROJECT is played"},
    .run = RunSimulate,
};

} // namespace fabricor::cli
