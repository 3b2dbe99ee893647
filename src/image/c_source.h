#pragma once

#include "base/atomic_file.h"
#include "base/status.h"
#include "image/configuration_image.h"

#include <string>

namespace fabricor {

// The project's bin/bankg.c (see ProjectFiles).
std::string ImageCSourcePath(const std::string& projectFolder);

// The image as the constant array Bank1 in segment SEGMENT0: 1027 lines ending in CR LF.
std::string ImageCSourceText(const ConfigurationImage& image);
// The same text into any sink, a line at a time.
Status WriteImageCSource(ByteSink& sink, const ConfigurationImage& image);

// Writes ImageCSourceText, replacing any existing file. A failure's message reads
// Cannot create file "<path>". <system's description>
Status WriteImageCSource(const std::string& projectFolder, const ConfigurationImage& image,
                         FileOutput& output = SystemFileOutput());

} // namespace fabricor
