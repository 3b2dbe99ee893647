#include "image/c_source.h"

#include "base/atomic_file.h"
#include "base/project_files.h"

#include <string_view>

namespace fabricor {

std::string ImageCSourcePath(const std::string& projectFolder) {
    return ProjectFiles(projectFolder).CSource();
}

namespace {

constexpr char kFirstRow[] = "const char Bank1 [] = {";
constexpr char kOtherRows[] = "                 ";
constexpr size_t kBytesPerRow = 16;
constexpr size_t kRows = kImageSize / kBytesPerRow;

// " 0xHH," for every byte value: a row is its prefix and sixteen of these.
constexpr size_t kByteTextSize = 6;
struct ByteTexts {
    char text[256][kByteTextSize];
};
constexpr ByteTexts kByteTexts = [] {
    constexpr char kDigits[] = "0123456789ABCDEF";
    ByteTexts texts{};
    for (size_t byte = 0; byte < 256; ++byte) {
        const char text[kByteTextSize] = {' ', '0', 'x', kDigits[byte >> 4], kDigits[byte & 0x0F],
                                          ','};
        for (size_t i = 0; i < kByteTextSize; ++i)
            texts.text[byte][i] = text[i];
    }
    return texts;
}();

// The rows go to the sink in pieces of this many, through a buffer on the stack: nothing of the
// dump's size is held, and the sink is called a few dozen times rather than once a line.
constexpr size_t kRowsPerPiece = 64;
constexpr size_t kLongestRow =
    sizeof kFirstRow - 1 + kBytesPerRow * kByteTextSize + 3; // "};" CR LF
static_assert(kRows % kRowsPerPiece == 0);

// Plain loops on plain arrays: the fuzz build leaves this file out of its instrumentation, and an
// uninstrumented function cannot inline an instrumented library helper, so each std::array or
// std::memcpy call here would be a real call per byte.
char* Append(char* out, const char* text, size_t size) {
    for (size_t i = 0; i < size; ++i)
        out[i] = text[i];
    return out + size;
}

} // namespace

Status WriteImageCSource(ByteSink& sink, const ConfigurationImage& image) {
    char piece[kRowsPerPiece * kLongestRow];
    if (auto written = sink.Write("#pragma CONST_SEG SEGMENT0\r\n"); !written.ok())
        return written;
    const uint8_t* bytes = image.data();
    for (size_t first = 0; first < kRows; first += kRowsPerPiece) {
        char* out = piece;
        for (size_t row = first; row < first + kRowsPerPiece; ++row) {
            out = row == 0 ? Append(out, kFirstRow, sizeof kFirstRow - 1)
                           : Append(out, kOtherRows, sizeof kOtherRows - 1);
            for (size_t column = 0; column < kBytesPerRow; ++column)
                out = Append(out, kByteTexts.text[*bytes++], kByteTextSize);
            if (row == kRows - 1) {
                out[-1] = '}'; // the last byte ends the array
                *out++ = ';';
            }
            *out++ = '\r';
            *out++ = '\n';
        }
        if (auto written = sink.Write(std::string_view(piece, static_cast<size_t>(out - piece)));
            !written.ok())
            return written;
    }
    return sink.Write("\r\n#pragma CONST_SEG DEFAULT\r\n");
}

std::string ImageCSourceText(const ConfigurationImage& image) {
    MemorySink text;
    WriteImageCSource(text, image);
    return text.bytes();
}

Status WriteImageCSource(const std::string& projectFolder, const ConfigurationImage& image,
                         FileOutput& output) {
    auto path = ImageCSourcePath(projectFolder);
    auto written = WriteFileAtomically(path, ImageCSourceText(image), output);
    if (written.ok())
        return written;
    // The writer's message names the file; this one names it in its own words, then the cause.
    return Status::Error(written.code(), std::string(),
                         "Cannot create file \"" + path + "\". " + written.cause());
}

} // namespace fabricor
