#include "merge/xml_stream.h"

#include <expat.h>

#include <cstring>

#include "merge/zip_archive.h"

namespace sendrix::merge {

namespace {

// Namespaces are processed with this separator between URI and local name;
// only the local name is handed on.
constexpr char kSeparator = '\x01';

std::string_view localName(const char* name) {
    const char* separator = std::strrchr(name, kSeparator);
    return separator ? std::string_view(separator + 1) : std::string_view(name);
}

void XMLCALL onStart(void* user, const XML_Char* name, const XML_Char** attributes) {
    static_cast<XmlHandler*>(user)->start(localName(name), attributes);
}

void XMLCALL onEnd(void* user, const XML_Char* name) {
    static_cast<XmlHandler*>(user)->end(localName(name));
}

void XMLCALL onText(void* user, const XML_Char* text, int length) {
    static_cast<XmlHandler*>(user)->text(std::string_view(text, static_cast<std::size_t>(length)));
}

}  // namespace

const char* xmlAttribute(const char** attributes, std::string_view name) {
    for (const char** a = attributes; a && *a; a += 2)
        if (localName(*a) == name)
            return a[1];
    return nullptr;
}

XmlStream::XmlStream(XmlHandler& handler) : m_parser(XML_ParserCreateNS("UTF-8", kSeparator)) {
    XML_SetUserData(m_parser, &handler);
    XML_SetElementHandler(m_parser, onStart, onEnd);
    XML_SetCharacterDataHandler(m_parser, onText);
}

XmlStream::~XmlStream() {
    XML_ParserFree(m_parser);
}

void XmlStream::stop() {
    m_stopped = true;
    XML_StopParser(m_parser, XML_FALSE);
}

void XmlStream::feed(std::string_view piece, bool last, const std::string& file, const std::string& part) {
    if (m_stopped)
        return;
    if (XML_Parse(m_parser, piece.data(), static_cast<int>(piece.size()), last ? 1 : 0) == XML_STATUS_ERROR &&
        !m_stopped)
        throwWorkbookError(file, "der Teil \"" + part + "\" ist kein gültiges XML (Zeile " +
                                     std::to_string(XML_GetCurrentLineNumber(m_parser)) + ": " +
                                     XML_ErrorString(XML_GetErrorCode(m_parser)) + ")");
}

}  // namespace sendrix::merge
