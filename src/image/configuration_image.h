#pragma once

#include "base/atomic_file.h"
#include "base/byte_stream.h"
#include "base/clock.h"
#include "base/status.h"
#include "documents/document_read.h"
#include "image/image_layout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fabricor {

// How far a build got. The image holds exactly what was stored before the stop; this tells the
// caller whether it may go on with it.
struct BuildReport {
    enum class Document { None, TranslateTable, GeneralParameters };

    bool complete = true;
    Document document = Document::None; // where the build stopped
    std::string documentPath;
    std::optional<size_t> row;         // 0-based row of var.xml
    std::string element;               // pargen element, or the var row's node name
    std::string attribute;             // var attribute
    std::optional<std::string> text;   // the offending text, when there was one
    std::string description;           // one line for a person
    size_t rowsIgnored = 0;            // rows beyond the 2000 the image can hold
};

// Clears the image and fills it from the two documents. A reading failure ends the build at
// that point: everything stored before stays, everything after stays zero.
BuildReport BuildConfigurationImage(const std::string& varPath, const std::string& pargenPath,
                                    Clock& clock, ConfigurationImage& image);
// The same build from the documents as a command already read them.
BuildReport BuildConfigurationImage(const DocumentFile& var, const DocumentFile& pargen,
                                    Clock& clock, ConfigurationImage& image);
// The same build from the documents' bytes held in memory; the paths only name them in the report.
BuildReport BuildConfigurationImageFromText(std::string_view varText, const std::string& varPath,
                                            std::string_view pargenText,
                                            const std::string& pargenPath, Clock& clock,
                                            ConfigurationImage& image);

// The project's bin/bank1.bin (see ProjectFiles). The bin folder is not created.
std::string ConfigurationImagePath(const std::string& projectFolder);

// Writes the 16,384 bytes, replacing any existing file; the failure carries the system's text.
Status WriteConfigurationImage(const std::string& projectFolder, const ConfigurationImage& image,
                               FileOutput& output = SystemFileOutput());
// The 16,384 bytes into any sink.
Status WriteConfigurationImage(ByteSink& sink, const ConfigurationImage& image);

// hour + 32 * minute + 2048 * (second div 2)
uint16_t PackBuildTime(const LocalTime& time);
// (year mod 100) + 128 * month + 2048 * day
uint16_t PackBuildDate(const LocalTime& time);

// The name in Windows-1252, at most 13 bytes, zero filled: byte 13 is always zero.
std::array<uint8_t, kCommunityNameSize> CopyCommunityName(const std::string& name);

} // namespace fabricor
