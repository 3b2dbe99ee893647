#pragma once

#include "base/regular_file.h"

#include <string>
#include <utility>

namespace fabricor {

// What a document reader found: no file, a file that is not well-formed, or a file it read.
enum class ReadOutcome { NoFile, NotWellFormed, Read };

// A project document's file as read once, whole: every reader of one command (the checks, the
// image build, the report) takes the same bytes, so a save in between cannot split them.
struct DocumentFile {
    std::string path;
    FileRead read;
};
DocumentFile ReadDocumentFile(const std::string& path);
// A document's bytes already in memory, as if read from `path`.
inline DocumentFile DocumentOfText(std::string path, std::string bytes) {
    DocumentFile file{std::move(path), {}};
    file.read.bytes = std::move(bytes);
    return file;
}

} // namespace fabricor
