#pragma once

#include "base/status.h"
#include "documents/document_read.h"

#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>

namespace fabricor {

struct XmlLoad {
    ReadOutcome outcome = ReadOutcome::NoFile;
    std::string error;
};

// Whitespace-only text between elements is not a node, so a document indented by hand reads
// like the one-line form. With keepLoneWhitespace an element whose only content is blanks keeps
// them as its text. Entities other than the five predefined ones are never expanded.
XmlLoad LoadXmlDocument(const std::string& path, pugi::xml_document& document,
                        bool keepLoneWhitespace = false);
// The same reading of a document's bytes held in memory; `name` stands for the path in errors.
XmlLoad LoadXmlText(std::string_view bytes, const std::string& name, pugi::xml_document& document,
                    bool keepLoneWhitespace = false);

// The element's text: its single text or CDATA child, empty without children; nothing when the
// element is missing or holds anything else.
std::optional<std::string> ElementTextOf(const pugi::xml_node& element);

// One line, UTF-8, no declaration, no whitespace between elements; replaced atomically.
Status SaveXmlDocument(const std::string& path, const pugi::xml_document& document);

} // namespace fabricor
