#include "image/c_source.h"

#include "base/atomic_file.h"
#include "base/project_files.h"

namespace fabricor {

std::string ImageCSourcePath(const std::string& projectFolder) {
    return ProjectFiles(projectFolder).CSource();
}

std::string ImageCSourceText(const ConfigurationImage& image) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(117824);
    text += "#pragma CONST_SEG SEGMENT0\r\n";
    for (size_t row = 0; row < kImageSize / 16; ++row) {
        text += row == 0 ? "const char Bank1 [] = {" : "                 ";
        for (size_t column = 0; column < 16; ++column) {
            uint8_t byte = image[16 * row + column];
            text += " 0x";
            text += kDigits[byte >> 4];
            text += kDigits[byte & 0x0F];
            text += (row == kImageSize / 16 - 1 && column == 15) ? "};" : ",";
        }
        text += "\r\n";
    }
    text += "\r\n#pragma CONST_SEG DEFAULT\r\n";
    return text;
}

Status WriteImageCSource(const std::string& projectFolder, const ConfigurationImage& image) {
    auto path = ImageCSourcePath(projectFolder);
    auto written = WriteFileAtomically(path, ImageCSourceText(image));
    if (written.ok())
        return written;
    // The writer's message is "<path>: <cause>"; keep only the cause.
    std::string cause = written.message();
    if (cause.rfind(path + ": ", 0) == 0)
        cause.erase(0, path.size() + 2);
    return Status::Error("Cannot create file \"" + path + "\". " + cause);
}

} // namespace fabricor
