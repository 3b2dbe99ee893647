#pragma once

#include "base/status.h"
#include "documents/document_read.h"

#include <optional>
#include <pugixml.hpp>
#include <string>

namespace fabricor {

struct XmlLoad {
    ReadOutcome outcome = ReadOutcome::NoFile;
    std::string error;
    // Not well-formed because it could not be read at all (not a regular file, too large, an
    // input error) rather than because of what it holds.
    bool unreadable = false;
};

// Whitespace-only text between elements is not a node, so a document indented by hand reads
// like the one-line form. With keepLoneWhitespace an element whose only content is blanks keeps
// them as its text. Entities other than the five predefined ones are never expanded.
XmlLoad LoadXmlDocument(const std::string& path, pugi::xml_document& document,
                        bool keepLoneWhitespace = false);

// The element's text: its single text or CDATA child, empty without children; nothing when the
// element is missing or holds anything else.
std::optional<std::string> ElementTextOf(const pugi::xml_node& element);

// One line, UTF-8, no declaration, no whitespace between elements; replaced atomically.
Status SaveXmlDocument(const std::string& path, const pugi::xml_document& document);

} // namespace fabricor
