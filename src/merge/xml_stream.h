#pragma once
// A streaming XML reader over expat: elements and text are handed to a
// handler as they are parsed, nothing is kept. Names are local names
// (namespace prefixes removed), so "x:row" and "row" are both "row".
#include <string>
#include <string_view>

struct XML_ParserStruct;

namespace sendrix::merge {

class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    // `attributes` is expat's list: name, value, name, value, ..., null;
    // names are local names as well.
    virtual void start(std::string_view name, const char** attributes) = 0;
    virtual void end(std::string_view name) = 0;
    virtual void text(std::string_view text) = 0;
};

// The value of attribute `name` (local name), or null.
const char* xmlAttribute(const char** attributes, std::string_view name);

class XmlStream {
public:
    explicit XmlStream(XmlHandler& handler);
    ~XmlStream();
    XmlStream(const XmlStream&) = delete;
    XmlStream& operator=(const XmlStream&) = delete;

    // Feeds the next piece; `last` after the final one. Throws
    // WorkbookError naming `file` and `part` on malformed XML.
    void feed(std::string_view piece, bool last, const std::string& file, const std::string& part);
    // Ends the parse from inside a handler (the rest is not needed).
    void stop();
    bool stopped() const { return m_stopped; }

private:
    XML_ParserStruct* m_parser;
    bool m_stopped = false;
};

}  // namespace sendrix::merge
