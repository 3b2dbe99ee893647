#include "firmware/firmware_window.h"

#include "base/regular_file.h"
#include "firmware/merge.h"
#include "firmware/srecord.h"

#include <algorithm>
#include <bitset>
#include <cstring>
#include <memory>
#include <vector>

namespace fabricor {
namespace {

constexpr size_t kChunk = 1 << 16;
static_assert(kBankWindowLast - kBankWindowFirst + 1 == kImageSize);

// Lines of a byte source, one at a time, each at most kMaxSRecordLine characters.
class LineReader {
public:
    explicit LineReader(ByteSource& source) : source_(source), chunk_(new char[kChunk]) {}

    // True with the next line (without line end); false at the end or on an error.
    bool Next(std::string_view& line) {
        if (returnedCarry_) {
            carry_.clear();
            returnedCarry_ = false;
        }
        for (;;) {
            if (at_ < size_) {
                const char* begin = chunk_.get() + at_;
                const size_t left = size_ - at_;
                const char* end = static_cast<const char*>(std::memchr(begin, '\n', left));
                if (end) {
                    const size_t count = static_cast<size_t>(end - begin);
                    at_ += count + 1;
                    ++number_;
                    if (carry_.empty()) {
                        line = std::string_view(begin, count);
                    } else {
                        if (carry_.size() + count > kMaxSRecordLine + 1)
                            return TooLong();
                        carry_.append(begin, count);
                        line = carry_;
                        returnedCarry_ = true;
                    }
                    return Finish(line);
                }
                if (carry_.size() + left > kMaxSRecordLine + 1) {
                    ++number_;
                    return TooLong();
                }
                carry_.append(begin, left);
                at_ = size_;
            }
            long long got = source_.ReadSome(chunk_.get(), kChunk);
            if (got < 0) {
                error_ = source_.error();
                return false;
            }
            at_ = 0;
            size_ = static_cast<size_t>(got);
            if (got == 0) {
                if (carry_.empty() || returnedCarry_)
                    return false;
                ++number_;
                line = carry_;
                returnedCarry_ = true;
                return Finish(line);
            }
        }
    }

    int64_t number() const { return number_; }
    const std::string& error() const { return error_; }

private:
    bool Finish(std::string_view& line) {
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() > kMaxSRecordLine)
            return TooLong();
        return true;
    }
    bool TooLong() {
        error_ = "line " + std::to_string(number_) + ": longer than " +
                 std::to_string(kMaxSRecordLine) + " characters; no S-record is that long";
        return false;
    }

    ByteSource& source_;
    std::unique_ptr<char[]> chunk_;
    size_t at_ = 0;
    size_t size_ = 0;
    std::string carry_;
    bool returnedCarry_ = false;
    int64_t number_ = 0;
    std::string error_;
};

// The window as the messages name it.
const std::string& WindowText() {
    static const std::string text =
        HexAddress(kBankWindowFirst) + ".." + HexAddress(kBankWindowLast);
    return text;
}

std::string Line(int64_t number) {
    return "line " + std::to_string(number) + ": ";
}

std::string Range(uint64_t first, uint64_t last) {
    return HexAddress(static_cast<uint32_t>(first)) + ".." +
           HexAddress(static_cast<uint32_t>(last));
}

// The bytes of a record that lie outside the window, below it and beyond it; empty when none do.
std::string BytesOutsideWindow(uint32_t address, size_t dataBytes) {
    const uint64_t first = address, end = first + dataBytes;
    std::string text;
    if (dataBytes > 0 && first < kBankWindowFirst)
        text = Range(first, std::min<uint64_t>(end, kBankWindowFirst) - 1);
    if (end > uint64_t(kBankWindowLast) + 1)
        text += (text.empty() ? "" : " and ") +
                Range(std::max<uint64_t>(first, uint64_t(kBankWindowLast) + 1), end - 1);
    return text;
}

enum class LineKind { Outside, Window };

struct Classified {
    LineKind kind = LineKind::Outside;
    std::string error;
    SRecord record;
};

Classified Classify(std::string_view line, int64_t number) {
    Classified result;
    if (line.empty()) {
        result.error = Line(number) + "blank line";
        return result;
    }
    // Only records that start in the window or just before it (a record carries at most 255
    // bytes) can reach into it; those are read whole, and so is any head that cannot be read.
    auto nearWindow = [](uint64_t address) {
        return address + 255 >= kBankWindowFirst && address <= kBankWindowLast;
    };
    const DataRecordHead head = ReadAddressRecordHead(line);
    const bool near = head.kind == DataRecordHead::Kind::Address
                          ? nearWindow(head.address)
                          : head.kind != DataRecordHead::Kind::Other;
    if (!near)
        return result;
    SRecordRead read = ReadSRecord(line);
    if (!read.ok()) {
        result.error = Line(number) + SRecordErrorText(read.error);
        return result;
    }
    const SRecord& record = read.record;
    switch (PlaceInWindow(record.type, record.address, record.data.size())) {
    case WindowPlace::Outside:
        break;
    case WindowPlace::Intrudes:
        result.error =
            Line(number) + IntrusionText(record.type, record.address, record.data.size());
        break;
    case WindowPlace::Window:
        result.kind = LineKind::Window;
        result.record = record;
        break;
    }
    return result;
}

// Where a line stands to the window, from its head alone (the merge's reading); a line that is
// no S1, S2 or S3 record with a readable address is outside.
struct HeadPlace {
    WindowPlace place = WindowPlace::Outside;
    DataRecordHead head;
};

HeadPlace PlaceOfLine(std::string_view line) {
    HeadPlace result;
    result.head = ReadAddressRecordHead(line);
    if (result.head.kind == DataRecordHead::Kind::Address)
        result.place = PlaceInWindow(result.head.type, result.head.address, result.head.dataBytes);
    return result;
}

std::string Shorten(std::string_view line) {
    if (line.size() <= 40)
        return std::string(line);
    return std::string(line.substr(0, 40)) + "...";
}

// Outside lines of the base firmware, one at a time.
class BaseLines {
public:
    explicit BaseLines(ByteSource& base) : reader_(base) {}
    // The next line that the merge keeps, or would have to keep (one that intrudes); false at
    // the end or on an error (error set).
    bool Next(std::string_view& line) {
        while (reader_.Next(line)) {
            if (line.empty())
                continue;
            last_ = PlaceOfLine(line);
            if (last_.place == WindowPlace::Window)
                continue;
            return true;
        }
        if (!reader_.error().empty())
            error = "base firmware " + reader_.error();
        return false;
    }
    int64_t number() const { return reader_.number(); }

    // Why the line last returned is missing from the firmware: for one that intrudes, what of
    // the base the firmware lost.
    std::string Missing(std::string_view line) const {
        std::string text =
            "base firmware line " + std::to_string(number()) + " (" + Shorten(line) + ")";
        if (last_.place != WindowPlace::Intrudes)
            return text + " is missing from the firmware";
        const DataRecordHead& head = last_.head;
        const std::string outside = BytesOutsideWindow(head.address, head.dataBytes);
        return text + ": " + IntrusionText(head.type, head.address, head.dataBytes) + "; " +
               (outside.empty() ? std::string("the record is")
                                : "its bytes " + outside + " outside the window are") +
               " missing from the firmware";
    }
    std::string error;

private:
    LineReader reader_;
    HeadPlace last_;
};

} // namespace

WindowPlace PlaceInWindow(int type, uint32_t address, size_t dataBytes) {
    const uint64_t first = address, end = first + dataBytes; // end: one past the last byte
    const bool startsInside = first >= kBankWindowFirst && first <= kBankWindowLast;
    if (type < 1 || type > 3 ||
        !(startsInside || (first < kBankWindowFirst && end > kBankWindowFirst)))
        return WindowPlace::Outside;
    if (type == kS2RecordType && startsInside && end <= uint64_t(kBankWindowLast) + 1)
        return WindowPlace::Window;
    return WindowPlace::Intrudes;
}

std::string IntrusionText(int type, uint32_t address, size_t dataBytes) {
    if (type == kS2RecordType)
        return "the record at " + HexAddress(address) + " of " + std::to_string(dataBytes) +
               " bytes crosses the edge of the configuration window " + WindowText();
    return "an S" + std::to_string(type) + " record at " + HexAddress(address) +
           (BytesOutsideWindow(address, dataBytes).empty() ? " lies in" : " reaches into") +
           " the configuration window " + WindowText();
}

FirmwareWindow ReadFirmwareWindow(ByteSource& firmware, ByteSource* base) {
    FirmwareWindow result;
    LineReader reader(firmware);
    std::unique_ptr<BaseLines> baseLines;
    if (base)
        baseLines = std::make_unique<BaseLines>(*base);
    bool baseDone = !base;
    // The line that gave each window byte, 0 while none has.
    std::vector<int64_t> givenBy(kImageSize, 0);
    std::string_view line;
    auto fail = [&](std::string error) {
        result.ok = false;
        result.error = std::move(error);
        return result;
    };
    while (reader.Next(line)) {
        const int64_t number = reader.number();
        Classified classified = Classify(line, number);
        if (!classified.error.empty())
            return fail(classified.error);
        if (classified.kind == LineKind::Window) {
            ++result.windowRecords;
            const SRecord& record = classified.record;
            const size_t from = record.address - kBankWindowFirst;
            for (size_t i = 0; i < record.data.size(); ++i) {
                if (givenBy[from + i] != 0)
                    return fail(Line(number) + "the record at " + HexAddress(record.address) +
                                " gives byte " +
                                HexAddress(static_cast<uint32_t>(kBankWindowFirst + from + i)) +
                                " again, already given by line " +
                                std::to_string(givenBy[from + i]));
                givenBy[from + i] = number;
                result.image[from + i] = record.data[i];
            }
            continue;
        }
        if (baseDone)
            continue;
        std::string_view baseLine;
        if (!baseLines->Next(baseLine)) {
            if (!baseLines->error.empty())
                return fail(baseLines->error);
            result.outsideDifference = "firmware line " + std::to_string(number) + " (" +
                                       Shorten(line) +
                                       ") is not in the base firmware, which ends "
                                       "at line " +
                                       std::to_string(baseLines->number());
            baseDone = true;
            continue;
        }
        if (baseLine != line) {
            result.outsideDifference =
                PlaceOfLine(baseLine).place == WindowPlace::Intrudes
                    ? baseLines->Missing(baseLine)
                    : "firmware line " + std::to_string(number) + " (" + Shorten(line) +
                          ") differs from base firmware line " +
                          std::to_string(baseLines->number()) + " (" + Shorten(baseLine) + ")";
            baseDone = true;
        }
    }
    if (!reader.error().empty())
        return fail(reader.error());
    result.lines = reader.number();
    if (!baseDone) {
        std::string_view baseLine;
        if (baseLines->Next(baseLine))
            result.outsideDifference = baseLines->Missing(baseLine);
        else if (!baseLines->error.empty())
            return fail(baseLines->error);
    }
    if (result.windowRecords == 0)
        return fail("no record in the configuration window " + WindowText());
    for (size_t i = 0; i < kImageSize; ++i) {
        if (givenBy[i] != 0)
            continue;
        size_t last = i;
        while (last + 1 < kImageSize && givenBy[last + 1] == 0)
            ++last;
        return fail("the configuration window is incomplete: nothing gives " +
                    HexAddress(static_cast<uint32_t>(kBankWindowFirst + i)) + ".." +
                    HexAddress(static_cast<uint32_t>(kBankWindowFirst + last)) + " (image offset " +
                    std::to_string(i) + ")");
    }
    result.ok = true;
    return result;
}

FirmwareWindow ReadFirmwareWindowFile(const std::string& firmwarePath,
                                      const std::optional<std::string>& basePath) {
    FirmwareWindow result;
    RegularFile file = RegularFile::Open(firmwarePath, kFirmwareReadLimit);
    if (!file.ok()) {
        result.error = file.error();
        return result;
    }
    RegularFileSource source(file);
    if (!basePath)
        return ReadFirmwareWindow(source);
    RegularFile baseFile = RegularFile::Open(*basePath, kFirmwareReadLimit);
    if (!baseFile.ok()) {
        result.error = baseFile.error();
        return result;
    }
    RegularFileSource baseSource(baseFile);
    return ReadFirmwareWindow(source, &baseSource);
}

} // namespace fabricor
