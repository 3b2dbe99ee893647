#include "documents/xml_document.h"

#include "base/atomic_file.h"

#include <cerrno>
#include <filesystem>
#include <sstream>

namespace fabricor {

XmlLoad LoadXmlDocument(const std::string& path, pugi::xml_document& document,
                        bool keepLoneWhitespace) {
    XmlLoad load;
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::path(path), error)) {
        load.outcome = ReadOutcome::NoFile;
        return load;
    }
    unsigned options = pugi::parse_default;
    if (keepLoneWhitespace)
        options |= pugi::parse_ws_pcdata_single;
    errno = 0;
    auto result = document.load_file(path.c_str(), options, pugi::encoding_auto);
    if (result) {
        load.outcome = ReadOutcome::Read;
        return load;
    }
    load.outcome = ReadOutcome::NotWellFormed;
    if (result.status == pugi::status_file_not_found || result.status == pugi::status_io_error) {
        int saved = errno;
        load.error = path + ": " + (saved ? SystemErrorText(saved) : result.description());
    } else {
        load.error = path + ": " + result.description() + " at offset " +
                     std::to_string(result.offset);
    }
    document.reset();
    return load;
}

XmlLoad LoadXmlText(std::string_view bytes, const std::string& name, pugi::xml_document& document,
                    bool keepLoneWhitespace) {
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

Status SaveXmlDocument(const std::string& path, const pugi::xml_document& document) {
    std::ostringstream out;
    document.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return WriteFileAtomically(std::filesystem::path(path), out.str());
}

} // namespace fabricor
