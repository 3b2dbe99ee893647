// Image builder on any pair of documents: it never throws, the image written is always 16,384
// bytes and equals the one built, a build is reproducible, and the C dump keeps its fixed size.
// Runs in memory. The input is the var.xml bytes, then the separator line, then the pargen.xml bytes.

#include "documents/integer_text.h"
#include "documents/var.h"
#include "fuzz_support.h"
#include "image/c_source.h"
#include "image/configuration_image.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <exception>
#include <string>

using namespace fabricor;

namespace {

constexpr std::string_view kSeparator = "\n--pargen.xml--\n";

BuildReport BuildOrDie(std::string_view var, std::string_view pargen, ConfigurationImage& image) {
    FixedClock clock(LocalTime{2026, 12, 8, 14, 35, 47});
    try {
        return BuildConfigurationImageFromText(var, "var.xml", pargen, "pargen.xml", clock, image);
    } catch (const std::exception& error) {
        fuzz::Broken(error.what(), __FILE__, __LINE__);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    auto cut = input.find(kSeparator);
    auto varBytes = input.substr(0, cut);
    auto pargenBytes = cut == std::string_view::npos ? input : input.substr(cut + kSeparator.size());

    // In memory: the documents are bytes, the image goes into a sink.
    const auto var = varBytes;
    const auto pargen = pargenBytes;

    ConfigurationImage image;
    image.fill(0xA5); // every build starts from zero, whatever the image held
    auto report = BuildOrDie(var, pargen, image);
    ConfigurationImage again;
    again.fill(0x5A);
    auto second = BuildOrDie(var, pargen, again);
    FUZZ_CHECK(image == again);
    FUZZ_CHECK(report.complete == second.complete && report.description == second.description);

    for (size_t i = 14000; i < 15000; ++i)
        FUZZ_CHECK(image[i] == 0);
    if (report.complete) {
        FUZZ_CHECK(report.description.empty() || report.rowsIgnored > 0);
        FUZZ_CHECK(image[image_offset::BuildTime] == 0x6E && image[image_offset::BuildTime + 1] == 0xBC);
        FUZZ_CHECK(image[image_offset::BuildDate] == 0x1A && image[image_offset::BuildDate + 1] == 0x46);
        FUZZ_CHECK(image[image_offset::SnmpPublic + 13] == 0 && image[image_offset::SnmpPrivate + 13] == 0);
    } else {
        FUZZ_CHECK(!report.description.empty());
        FUZZ_CHECK(report.document != BuildReport::Document::None);
        // An early stop leaves the build words zero, unless it came at the enable-gateway flag,
        // which is read after them.
        if (report.element != "TCP_EN_GATE")
            for (size_t i = image_offset::BuildTime; i < image_offset::BuildDate + 2; ++i)
                FUZZ_CHECK(image[i] == 0);
    }

    // The builder takes the same rows as the translate table editor reads.
    auto table = ReadTranslateTableText(var, "var.xml");
    for (size_t row = 0; row < table.rows.size() && table.rows[row].cells.size() >= 5; ++row) {
        const auto& cells = table.rows[row].cells;
        std::array<std::optional<int32_t>, 5> values;
        for (size_t a = 0; a < 5; ++a)
            values[a] = ParseIntegerText(cells[a]);
        if (!std::all_of(values.begin(), values.end(), [](const auto& v) { return v.has_value(); }))
            break;
        const uint8_t* record = image.data() + row * kTranslateRecordSize;
        auto u = [&](size_t a) { return static_cast<uint32_t>(*values[a]); };
        FUZZ_CHECK(record[0] == (u(0) & 0xFF));
        FUZZ_CHECK(record[1] == (u(1) & 0xFF) && record[2] == ((u(1) >> 8) & 0xFF));
        FUZZ_CHECK(record[3] == (u(2) & 0xFF));
        FUZZ_CHECK(record[4] == (u(3) & 0xFF) && record[5] == ((u(3) >> 8) & 0xFF));
        FUZZ_CHECK(record[6] == (u(4) & 0xFF));
    }

    MemorySink sink;
    FUZZ_CHECK(WriteConfigurationImage(sink, image).ok());
    const auto& written = sink.bytes();
    FUZZ_CHECK(written.size() == kImageSize);
    FUZZ_CHECK(std::memcmp(written.data(), image.data(), kImageSize) == 0);

    struct Counter final : ByteSink {
        size_t bytes = 0;
        Status Write(std::string_view text) override {
            bytes += text.size();
            return Status::Ok();
        }
    } dump;
    FUZZ_CHECK(WriteImageCSource(dump, image).ok());
    FUZZ_CHECK(dump.bytes == 117824);
    return 0;
}
