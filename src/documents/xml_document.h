#pragma once

#include "base/atomic_file.h"
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
    // Not well-formed because it could not be read at all (not a regular file, too large, an
    // input error) rather than because of what it holds.
    bool unreadable = false;
};

// Whitespace-only text between elements is not a node, so a document indented by hand reads
// like the one-line form. Comments and processing instructions are not content anywhere: a note
// written by hand inside an element or between rows leaves the document as it reads without it,
// `<TCP_IP1>10<!--plant LAN--></TCP_IP1>` is the text 10. Text on both sides of one stays two
// text nodes (`1<!--c-->0` is not "10"), and blanks beside one are whitespace-only text like any
// other. With keepLoneWhitespace an element whose only content is blanks keeps them as its text.
// Entities other than the five predefined ones are never expanded.
XmlLoad LoadXmlDocument(const std::string& path, pugi::xml_document& document,
                        bool keepLoneWhitespace = false);
// LoadXmlDocument's reading of a file already read.
XmlLoad LoadXmlFile(const DocumentFile& file, pugi::xml_document& document,
                    bool keepLoneWhitespace = false);
// The same reading of a document's bytes held in memory; `name` stands for the path in errors.
XmlLoad LoadXmlText(std::string_view bytes, const std::string& name, pugi::xml_document& document,
                    bool keepLoneWhitespace = false);

// The document's first node, the table element of var.xml: a declaration or document type ahead
// of it is passed over, so the translate table editor and the image builder
// find the same element whatever stands before it.
pugi::xml_node FirstDocumentNode(const pugi::xml_document& document);

// The element's text: its single text or CDATA child, empty without children; nothing when the
// element is missing or holds anything else.
std::optional<std::string> ElementTextOf(const pugi::xml_node& element);

// One line, UTF-8, no declaration, no whitespace between elements; replaced atomically.
Status SaveXmlDocument(const std::string& path, const pugi::xml_document& document,
                       FileOutput& output = SystemFileOutput());

} // namespace fabricor
