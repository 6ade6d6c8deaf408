#include "mail/mail_html.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ascii.h"
#include "platform/text_trim.h"

namespace sendrix::mail {

namespace {

using platform::asciiLowered;

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    for (std::string_view n : names)
        if (n == name)
            return true;
    return false;
}

// Not content: left out with everything inside.
bool isDropped(std::string_view name) {
    return isOneOf(name, {"head",   "style",    "script", "title",  "meta",     "link",  "noscript",
                          "iframe", "object",   "embed",  "applet", "form",     "input", "button",
                          "select", "textarea", "svg",    "math",   "template", "xml"});
}

bool isBlock(std::string_view name) {
    return isOneOf(
        name, {"p",     "div",   "h1",    "h2",    "h3", "h4", "h5", "h6",      "ul",         "ol",  "li",
               "table", "thead", "tbody", "tfoot", "tr", "td", "th", "caption", "blockquote", "pre", "hr"});
}

// Elements whose white space between children is layout, not text.
bool isContainer(std::string_view name) {
    return isOneOf(
        name, {"body", "html", "ul", "ol", "table", "thead", "tbody", "tfoot", "tr", "blockquote", "div"});
}

// The element as it goes out; empty: its content without it.
std::string_view outputName(std::string_view name) {
    if (isBlock(name) ||
        isOneOf(name, {"br", "b", "strong", "i", "em", "u", "s", "sub", "sup", "code", "a", "img", "span"}))
        return name;
    if (isOneOf(name, {"strike", "del"}))
        return "s";
    if (isOneOf(name, {"font", "center"}))
        return name == "center" ? "div" : "span";
    return {};
}

bool isVoid(std::string_view name) {
    return name == "br" || name == "hr" || name == "img";
}

std::string attribute(xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (!value)
        return {};
    std::string text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

bool hasAttribute(xmlNode* node, const char* name) {
    return xmlHasProp(node, reinterpret_cast<const xmlChar*>(name)) != nullptr;
}

std::string nameOf(const xmlNode* node) {
    return asciiLowered(reinterpret_cast<const char*>(node->name));
}

// A length as a number of points: "14pt", "16px"; nothing for others.
std::optional<double> points(std::string_view value) {
    const std::string lower = asciiLowered(platform::trimBlanks(value));
    const bool pt = lower.ends_with("pt");
    if (!pt && !lower.ends_with("px"))
        return std::nullopt;
    const std::string number = lower.substr(0, lower.size() - 2);
    char* end = nullptr;
    const double n = std::strtod(number.c_str(), &end);
    if (number.empty() || end != number.c_str() + number.size() || !(n > 0))
        return std::nullopt;
    return pt ? n : n * 0.75;
}

struct Property {
    std::string name;
    std::string value;
};

std::vector<Property> properties(std::string_view style) {
    std::vector<Property> list;
    size_t from = 0;
    while (from <= style.size()) {
        size_t end = style.find(';', from);
        if (end == std::string_view::npos)
            end = style.size();
        const std::string_view item = style.substr(from, end - from);
        const size_t colon = item.find(':');
        if (colon != std::string_view::npos)
            list.push_back({asciiLowered(platform::trimBlanks(item.substr(0, colon))),
                            std::string(platform::trimBlanks(item.substr(colon + 1)))});
        from = end + 1;
    }
    return list;
}

bool isKeptProperty(std::string_view name) {
    return isOneOf(name,
                   {"color",       "background-color", "font-weight",  "font-style",   "text-decoration",
                    "text-align",  "vertical-align",   "margin",       "margin-top",   "margin-bottom",
                    "margin-left", "margin-right",     "text-indent",  "font-size",    "line-height",
                    "border",      "border-collapse",  "border-color", "border-style", "border-width",
                    "padding",     "list-style-type",  "width"});
}

// A value that could fetch or run something, or leave its attribute.
bool isUnsafeValue(std::string_view value) {
    const std::string lower = asciiLowered(value);
    return lower.find("url(") != std::string::npos || lower.find("expression") != std::string::npos ||
           lower.find("javascript") != std::string::npos ||
           value.find_first_of("<>\"\\") != std::string::npos;
}

bool isUnsafeLink(std::string_view target) {
    const std::string lower = asciiLowered(platform::trimBlanks(target));
    return lower.starts_with("javascript:") || lower.starts_with("vbscript:") || lower.starts_with("data:");
}

std::string percentOf(double size, double base) {
    return std::to_string(static_cast<long>(std::lround(size / base * 100))) + "%";
}

// The style attribute as mail programs read it; four equal margins in one.
std::string mailStyle(std::string_view style, double basePoints) {
    std::vector<Property> kept;
    for (Property& property : properties(style)) {
        if (!isKeptProperty(property.name) || property.value.empty() || isUnsafeValue(property.value))
            continue;
        if (property.name == "font-size") {
            if (const std::optional<double> size = points(property.value))
                property.value = percentOf(*size, basePoints);
        }
        // Qt writes an indent of 0 on every paragraph.
        if (property.name == "text-indent" && (property.value == "0px" || property.value == "0"))
            continue;
        kept.push_back(std::move(property));
    }
    std::vector<std::string> margins;
    for (const Property& property : kept)
        if (property.name.starts_with("margin-"))
            margins.push_back(property.value);
    const bool oneMargin = margins.size() == 4 && std::count(margins.begin(), margins.end(), margins[0]) == 4;
    std::string out;
    bool marginWritten = false;
    for (const Property& property : kept) {
        if (oneMargin && property.name.starts_with("margin-")) {
            if (!marginWritten)
                out += (out.empty() ? "margin:" : "; margin:") + property.value;
            marginWritten = true;
            continue;
        }
        out += (out.empty() ? "" : "; ") + property.name + ":" + property.value;
    }
    return out;
}

void appendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
}

bool isSmallNumber(const std::string& value) {
    const std::string_view digits = platform::trimBlanks(value);
    return !digits.empty() && digits.size() <= 1 && digits[0] >= '0' && digits[0] <= '2';
}

class Writer {
public:
    Writer(double basePoints, RemoteImages remoteImages)
        : m_basePoints(basePoints), m_remoteImages(remoteImages) {}

    void children(xmlNode* parent, std::string_view parentName) {
        for (xmlNode* node = parent->children; node; node = node->next) {
            if (node->type == XML_TEXT_NODE)
                text(reinterpret_cast<const char*>(node->content), parentName);
            else if (node->type == XML_ELEMENT_NODE)
                element(node);
        }
    }

    std::string finish() {
        while (!m_out.empty() && m_out.back() == '\n')
            m_out.pop_back();
        return m_out;
    }

private:
    void text(const char* content, std::string_view parentName) {
        const std::string_view text = content ? content : "";
        if (m_pre) {
            appendEscaped(m_out, text);
            return;
        }
        // White space with a line end is the serializer's layout: nothing
        // between blocks, one blank between words.
        if (text.find_first_not_of(" \t\r\n") == std::string_view::npos &&
            text.find('\n') != std::string_view::npos) {
            if (!isContainer(parentName) && !m_out.empty() && m_out.back() != '\n')
                m_out += ' ';
            return;
        }
        bool blank = false;
        for (char c : text) {
            const bool isBlank = c == ' ' || c == '\t' || c == '\r' || c == '\n';
            // A blank after a blank would collapse in a mail program.
            if (isBlank && blank) {
                m_out += "&nbsp;";
                continue;
            }
            blank = isBlank;
            if (isBlank)
                m_out += ' ';
            else
                appendEscaped(m_out, std::string_view(&c, 1));
        }
    }

    static void attributeOut(std::string& out, std::string_view name, std::string_view value) {
        out += ' ';
        out += name;
        out += "=\"";
        appendEscaped(out, value);
        out += '"';
    }

    bool isTrackingImage(xmlNode* node) {
        const std::string src = asciiLowered(platform::trimBlanks(attribute(node, "src")));
        if (src.empty())
            return true;
        if (m_remoteImages == RemoteImages::Drop &&
            (src.starts_with("http:") || src.starts_with("https:") || src.starts_with("//")))
            return true;
        for (const char* side : {"width", "height"})
            if (isSmallNumber(attribute(node, side)))
                return true;
        for (const Property& property : properties(attribute(node, "style")))
            if ((property.name == "width" || property.name == "height") &&
                points(property.value).value_or(100) <= 1.5)
                return true;
        return false;
    }

    void element(xmlNode* node) {
        const std::string name = nameOf(node);
        if (isDropped(name) || (name == "img" && isTrackingImage(node)))
            return;
        if (name == "a" && isUnsafeLink(attribute(node, "href"))) {
            children(node, name);
            return;
        }
        const std::string_view out = outputName(name);
        std::string attributes = attributesOf(node, name);
        // A span that says nothing (a font face dropped) is left out.
        if (out.empty() || (out == "span" && attributes.empty())) {
            children(node, name);
            return;
        }
        const bool block = isBlock(out);
        if (block && !m_out.empty() && m_out.back() != '\n')
            m_out += '\n';
        m_out += '<';
        m_out += out;
        m_out += attributes;
        m_out += '>';
        if (isVoid(out)) {
            if (block || out == "br")
                m_out += '\n';
            return;
        }
        const bool pre = m_pre;
        m_pre = m_pre || out == "pre";
        if (isContainer(out) && out != "div")
            m_out += '\n';
        children(node, name);
        m_pre = pre;
        if (block && isContainer(out) && !m_out.empty() && m_out.back() != '\n')
            m_out += '\n';
        m_out += "</";
        m_out += out;
        m_out += '>';
        if (block)
            m_out += '\n';
    }

    std::string attributesOf(xmlNode* node, const std::string& name) const {
        std::string out;
        std::string style = mailStyle(attribute(node, "style"), m_basePoints);
        if (name == "font" && hasAttribute(node, "color") && !isUnsafeValue(attribute(node, "color")))
            style = "color:" + attribute(node, "color") + (style.empty() ? "" : "; " + style);
        if (name == "center")
            style = "text-align:center" + (style.empty() ? "" : "; " + style);
        if (name == "a" && hasAttribute(node, "href"))
            attributeOut(out, "href", attribute(node, "href"));
        if (name == "img") {
            attributeOut(out, "src", attribute(node, "src"));
            attributeOut(out, "alt", attribute(node, "alt"));
            for (const char* side : {"width", "height"}) {
                const std::string value = attribute(node, side);
                if (!value.empty() && value.find_first_not_of("0123456789") == std::string::npos)
                    attributeOut(out, side, value);
            }
        }
        for (const char* kept : {"align", "valign", "colspan", "rowspan", "border", "cellpadding",
                                 "cellspacing", "start", "type"}) {
            const std::string value = attribute(node, kept);
            if (!value.empty() && !isUnsafeValue(value) && name != "a" && name != "img")
                attributeOut(out, kept, value);
        }
        if (!style.empty())
            attributeOut(out, "style", style);
        return out;
    }

    double m_basePoints;
    RemoteImages m_remoteImages;
    std::string m_out;
    bool m_pre = false;
};

xmlNode* findElement(xmlNode* node, std::string_view name) {
    for (; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE)
            continue;
        if (nameOf(node) == name)
            return node;
        if (xmlNode* inner = findElement(node->children, name))
            return inner;
    }
    return nullptr;
}

// An office program's own elements ("<o:p>", "<w:Sdt>") are no HTML, but
// the parser would drop the prefix and read "<p>": they are renamed to an
// element nobody knows, whose content stays.
std::string withoutPrefixedElements(std::string_view html) {
    std::string out;
    out.reserve(html.size());
    for (size_t i = 0; i < html.size(); ++i) {
        out += html[i];
        if (html[i] != '<')
            continue;
        size_t at = i + 1;
        if (at < html.size() && html[at] == '/')
            out += html[at++];
        size_t end = at;
        while (end < html.size() && ((html[end] | 0x20) >= 'a' && (html[end] | 0x20) <= 'z'))
            ++end;
        if (end > at && end < html.size() && html[end] == ':') {
            out += "x-";
            i = end;
        } else {
            i = at - 1;
        }
    }
    return out;
}

struct DocumentFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

}  // namespace

std::string EscapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendEscaped(out, text);
    return out;
}

std::vector<std::string> PlainTextAsHtml(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    bool open = false;
    for (const std::string& line : lines) {
        if (platform::trimBlanks(line).empty()) {
            if (open)
                out.back() += "</p>";
            open = false;
            continue;
        }
        std::string html = open ? "" : "<p>";
        if (open)
            out.back() += "<br>";
        bool blank = false;
        for (char c : line) {
            const bool isBlank = c == ' ' || c == '\t';
            html += isBlank && blank ? std::string("&nbsp;")
                    : isBlank        ? std::string(" ")
                                     : EscapeHtml({&c, 1});
            blank = isBlank;
        }
        out.push_back(std::move(html));
        open = true;
    }
    if (open)
        out.back() += "</p>";
    return out;
}

bool HoldsHtmlMarkup(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        for (size_t at = line.find('<'); at != std::string::npos; at = line.find('<', at + 1)) {
            const char next = at + 1 < line.size() ? line[at + 1] : ' ';
            const bool tagStart =
                ((next | 0x20) >= 'a' && (next | 0x20) <= 'z') || next == '/' || next == '!';
            if (tagStart && line.find('>', at) != std::string::npos)
                return true;
        }
    }
    return false;
}

std::string ToMailHtml(std::string_view html, RemoteImages remoteImages) {
    if (platform::trimBlanks(html).empty())
        return {};
    const std::string source = withoutPrefixedElements(html);
    const std::unique_ptr<xmlDoc, DocumentFree> doc(
        htmlReadMemory(source.data(), static_cast<int>(source.size()), nullptr, "UTF-8",
                       HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET));
    if (!doc)
        return {};
    xmlNode* root = xmlDocGetRootElement(doc.get());
    xmlNode* body = findElement(root, "body");
    double base = 12;
    if (body)
        for (const Property& property : properties(attribute(body, "style")))
            if (property.name == "font-size")
                base = points(property.value).value_or(base);
    Writer writer(base, remoteImages);
    if (body)
        writer.children(body, "body");
    else if (root)
        writer.children(root, "html");
    return writer.finish();
}

}  // namespace sendrix::mail
