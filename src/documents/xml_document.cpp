#include "documents/xml_document.h"

#include "base/atomic_file.h"
#include "base/regular_file.h"

#include <filesystem>
#include <sstream>

namespace fabricor {

DocumentFile ReadDocumentFile(const std::string& path) {
    return {path, ReadRegularFile(path, kDocumentReadLimit)};
}

XmlLoad LoadXmlDocument(const std::string& path, pugi::xml_document& document,
                        bool keepLoneWhitespace) {
    return LoadXmlFile(ReadDocumentFile(path), document, keepLoneWhitespace);
}

XmlLoad LoadXmlFile(const DocumentFile& file, pugi::xml_document& document,
                    bool keepLoneWhitespace) {
    XmlLoad load;
    const FileRead& read = file.read;
    if (read.missing) {
        load.outcome = ReadOutcome::NoFile;
        return load;
    }
    load.outcome = ReadOutcome::NotWellFormed;
    if (!read.bytes) {
        load.error = read.error;
        load.unreadable = true;
        document.reset();
        return load;
    }
    return LoadXmlText(*read.bytes, file.path, document, keepLoneWhitespace);
}

XmlLoad LoadXmlText(std::string_view bytes, const std::string& name, pugi::xml_document& document,
                    bool keepLoneWhitespace) {
    // parse_default leaves comments and processing instructions out of the tree.
    unsigned options = pugi::parse_default;
    if (keepLoneWhitespace)
        options |= pugi::parse_ws_pcdata_single;
    XmlLoad load;
    auto result = document.load_buffer(bytes.data(), bytes.size(), options, pugi::encoding_auto);
    if (result) {
        load.outcome = ReadOutcome::Read;
        return load;
    }
    load.outcome = ReadOutcome::NotWellFormed;
    load.error = name + ": " + result.description() + " at offset " + std::to_string(result.offset);
    document.reset();
    return load;
}

pugi::xml_node FirstDocumentNode(const pugi::xml_document& document) {
    for (auto node = document.first_child(); node; node = node.next_sibling()) {
        switch (node.type()) {
        case pugi::node_declaration:
        case pugi::node_doctype:
        case pugi::node_comment:
        case pugi::node_pi:
            continue;
        default:
            return node;
        }
    }
    return {};
}

std::optional<std::string> ElementTextOf(const pugi::xml_node& element) {
    if (!element || element.type() != pugi::node_element)
        return std::nullopt;
    auto first = element.first_child();
    if (!first)
        return std::string();
    if (first.next_sibling())
        return std::nullopt;
    if (first.type() != pugi::node_pcdata && first.type() != pugi::node_cdata)
        return std::nullopt;
    return std::string(first.value());
}

Status SaveXmlDocument(const std::string& path, const pugi::xml_document& document,
                       FileOutput& output) {
    std::ostringstream out;
    document.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return WriteFileAtomically(path, out.str(), output);
}

} // namespace fabricor
