#include "mail/html_text.h"

#include <string_view>

#include "platform/ascii.h"
#include "platform/text_codec.h"

namespace sendrix::mail {

namespace {

struct NamedReference {
    std::string_view name;
    char32_t codePoint;
};

// The references an editor writes for German and Western text.
constexpr NamedReference kReferences[] = {
    {"amp", '&'},      {"lt", '<'},       {"gt", '>'},       {"quot", '"'},     {"apos", '\''},
    {"nbsp", 0xA0},    {"euro", 0x20AC},  {"ndash", 0x2013}, {"mdash", 0x2014}, {"hellip", 0x2026},
    {"auml", 0xE4},    {"ouml", 0xF6},    {"uuml", 0xFC},    {"Auml", 0xC4},    {"Ouml", 0xD6},
    {"Uuml", 0xDC},    {"szlig", 0xDF},   {"copy", 0xA9},    {"reg", 0xAE},     {"bdquo", 0x201E},
    {"ldquo", 0x201C}, {"rdquo", 0x201D}, {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"eacute", 0xE9},
};

// Decodes the reference at `text[pos]` == '&'; false when it is none.
bool decodeReference(std::string_view text, size_t& pos, std::string& out) {
    const size_t end = text.find(';', pos);
    if (end == std::string_view::npos || end - pos > 10)
        return false;
    const std::string_view name = text.substr(pos + 1, end - pos - 1);
    char32_t cp = 0;
    if (name.size() > 1 && name[0] == '#') {
        const bool hex = name[1] == 'x' || name[1] == 'X';
        const auto parsed =
            platform::parseInteger(hex ? "0x" + std::string(name.substr(2)) : std::string(name.substr(1)));
        if (!parsed || parsed->hasSign || parsed->magnitude == 0 || parsed->magnitude > 0x10FFFF)
            return false;
        cp = static_cast<char32_t>(parsed->magnitude);
    } else {
        bool found = false;
        for (const NamedReference& reference : kReferences)
            if (reference.name == name) {
                cp = reference.codePoint;
                found = true;
            }
        if (!found)
            return false;
    }
    platform::appendUtf8(out, cp == 0xA0 ? U' ' : cp);
    pos = end + 1;
    return true;
}

std::string attributeValue(std::string_view tag, std::string_view attribute) {
    const std::string lower = platform::asciiLowered(tag);
    size_t at = lower.find(std::string(attribute) + "=");
    if (at == std::string::npos)
        return {};
    at += attribute.size() + 1;
    if (at >= tag.size())
        return {};
    const char quote = tag[at];
    if (quote == '"' || quote == '\'') {
        const size_t end = tag.find(quote, at + 1);
        return std::string(
            tag.substr(at + 1, end == std::string_view::npos ? std::string_view::npos : end - at - 1));
    }
    const size_t end = tag.find_first_of(" \t\r\n>", at);
    return std::string(tag.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
}

// An attribute's value with its character references decoded.
std::string decodedValue(std::string_view value) {
    std::string out;
    for (size_t pos = 0; pos < value.size();) {
        if (value[pos] == '&' && decodeReference(value, pos, out))
            continue;
        out += value[pos++];
    }
    return out;
}

// Collects the rendered text: blanks collapse, line and paragraph breaks
// are kept, a paragraph break never doubles.
class TextBuilder {
public:
    void text(std::string_view piece) {
        for (char c : piece) {
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                m_pendingBlank = !m_line.empty();
                continue;
            }
            if (m_pendingBlank)
                m_line += ' ';
            m_pendingBlank = false;
            m_line += c;
        }
    }
    void lineBreak() {
        m_lines.push_back(m_line);
        m_line.clear();
        m_pendingBlank = false;
    }
    void paragraph() {
        if (!m_line.empty())
            lineBreak();
        if (!m_lines.empty() && !m_lines.back().empty())
            m_lines.emplace_back();
    }
    std::vector<std::string> finish() {
        if (!m_line.empty())
            lineBreak();
        while (!m_lines.empty() && m_lines.back().empty())
            m_lines.pop_back();
        size_t first = 0;
        while (first < m_lines.size() && m_lines[first].empty())
            ++first;
        return std::vector<std::string>(m_lines.begin() + static_cast<long>(first), m_lines.end());
    }

private:
    std::vector<std::string> m_lines;
    std::string m_line;
    bool m_pendingBlank = false;
};

bool isParagraphTag(std::string_view name) {
    static constexpr std::string_view kNames[] = {"p",  "div", "h1", "h2", "h3",    "h4",         "h5", "h6",
                                                  "ul", "ol",  "li", "tr", "table", "blockquote", "hr"};
    for (std::string_view n : kNames)
        if (n == name)
            return true;
    return false;
}

}  // namespace

std::vector<std::string> RenderHtmlAsText(const std::vector<std::string>& htmlLines) {
    std::string html;
    for (const std::string& line : htmlLines) {
        html += platform::repairUtf8(line);
        html += '\n';
    }
    TextBuilder out;
    const std::string lowered = platform::asciiLowered(html);
    std::string linkTarget;
    std::string linkText;
    bool inLink = false;
    size_t pos = 0;
    while (pos < html.size()) {
        const char c = html[pos];
        if (html.compare(pos, 4, "<!--") == 0) {
            const size_t close = html.find("-->", pos + 4);
            pos = close == std::string::npos ? html.size() : close + 3;
            continue;
        }
        if (c == '<') {
            const size_t end = html.find('>', pos);
            if (end == std::string::npos)
                break;
            const std::string_view tag(html.data() + pos + 1, end - pos - 1);
            pos = end + 1;
            const bool closing = !tag.empty() && tag[0] == '/';
            const std::string_view rest = closing ? tag.substr(1) : tag;
            const size_t nameEnd = rest.find_first_of(" \t\r\n/");
            const std::string name = platform::asciiLowered(rest.substr(0, nameEnd));
            if (!closing && (name == "head" || name == "style" || name == "script" || name == "title")) {
                // Their content is no text, and "<" inside a script is no tag.
                const size_t close = lowered.find("</" + name, pos);
                const size_t after = close == std::string::npos ? close : html.find('>', close);
                pos = after == std::string::npos ? html.size() : after + 1;
            } else if (name == "br") {
                out.lineBreak();
            } else if (isParagraphTag(name)) {
                out.paragraph();
                if (!closing && name == "li")
                    out.text("- ");
            } else if (name == "a" && !closing) {
                linkTarget = attributeValue(tag, "href");
                linkText.clear();
                inLink = true;
            } else if (name == "a" && closing && inLink) {
                inLink = false;
                if (!linkTarget.empty() && linkTarget != linkText && "mailto:" + linkText != linkTarget)
                    out.text(" (" + linkTarget + ")");
            } else if (name == "img" && platform::startsWithNoCase(attributeValue(tag, "src"), "cid:")) {
                // An image sent with the message: the reader of the text
                // learns that it is there and what it shows.
                const std::string alt = decodedValue(attributeValue(tag, "alt"));
                out.text(alt.empty() ? "[Bild]" : "[Bild: " + alt + "]");
            } else if ((name == "td" || name == "th") && !closing) {
                out.text(" ");
            }
            continue;
        }
        std::string piece;
        if (c == '&' && decodeReference(html, pos, piece)) {
        } else {
            piece = std::string(1, c);
            ++pos;
        }
        if (inLink)
            linkText += piece;
        out.text(piece);
    }
    return out.finish();
}

}  // namespace sendrix::mail
