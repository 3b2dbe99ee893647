#include "image/c_source.h"

#include "base/atomic_file.h"
#include "base/project_files.h"

#include <cstring>
#include <string_view>

namespace fabricor {

std::string ImageCSourcePath(const std::string& projectFolder) {
    return ProjectFiles(projectFolder).CSource();
}

Status WriteImageCSource(ByteSink& sink, const ConfigurationImage& image) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    static constexpr std::string_view kFirstRow = "const char Bank1 [] = {";
    static constexpr std::string_view kOtherRows = "                 ";
    // One line at a time through a buffer on the stack: nothing of the dump's size is held.
    char line[128];
    if (auto written = sink.Write("#pragma CONST_SEG SEGMENT0\r\n"); !written.ok())
        return written;
    for (size_t row = 0; row < kImageSize / 16; ++row) {
        std::string_view prefix = row == 0 ? kFirstRow : kOtherRows;
        std::memcpy(line, prefix.data(), prefix.size());
        char* out = line + prefix.size();
        for (size_t column = 0; column < 16; ++column) {
            uint8_t byte = image[16 * row + column];
            out[0] = ' ';
            out[1] = '0';
            out[2] = 'x';
            out[3] = kDigits[byte >> 4];
            out[4] = kDigits[byte & 0x0F];
            out[5] = ',';
            out += 6;
        }
        if (row == kImageSize / 16 - 1) {
            out[-1] = '}'; // the last byte ends the array
            *out++ = ';';
        }
        *out++ = '\r';
        *out++ = '\n';
        if (auto written = sink.Write(std::string_view(line, static_cast<size_t>(out - line)));
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
