#include "mail/wire_line_cache.h"

namespace sendrix::mail {

std::pair<const std::string, WireLineCache::Line>& WireLineCache::kept(std::string_view text) {
    auto found = m_lines.find(text);
    if (found != m_lines.end())
        return *found;
    Line line;
    line.m_facts = LineFactsOf(text);
    m_bytes += text.size();
    return *m_lines.emplace(std::string(text), std::move(line)).first;
}

void WireLineCache::clear() {
    m_lines.clear();
    m_previous.clear();
    m_bytes = 0;
}

std::vector<WireLineCache::Line*> WireLineCache::lines(const std::vector<std::string>& body) {
    if (m_bytes > kMaxBytes)
        clear();
    m_oneOff.clear();
    std::vector<Line*> handles;
    handles.reserve(body.size());
    std::vector<std::pair<const std::string*, Line*>> order;
    order.reserve(body.size());
    for (size_t i = 0; i < body.size(); ++i) {
        const std::string& text = body[i];
        if (text.size() > kMaxLine) {
            Line& line = m_oneOff.emplace_back();
            line.m_facts = LineFactsOf(text);
            handles.push_back(&line);
            order.emplace_back(nullptr, nullptr);
            continue;
        }
        if (i < m_previous.size() && m_previous[i].first && *m_previous[i].first == text) {
            handles.push_back(m_previous[i].second);
            order.push_back(m_previous[i]);
            continue;
        }
        auto& [key, line] = kept(text);
        handles.push_back(&line);
        order.emplace_back(&key, &line);
    }
    m_previous = std::move(order);
    return handles;
}

const std::string& WireLineCache::wireText(Line& line, std::string_view text, const TextEncoding& encoding,
                                           Encode encode) {
    if (line.m_hasWire && line.m_kind == encoding.charset.kind &&
        line.m_quotedPrintable == encoding.quotedPrintable)
        return line.m_wire;
    // New, or the same line in another charset or transfer encoding: the
    // bytes differ, so the line takes the new ones.
    const bool counted = &line != &m_uncached && text.size() <= kMaxLine;
    if (counted)
        m_bytes -= line.m_wire.size();
    line.m_wire = encode(text, encoding);
    line.m_hasWire = true;
    line.m_kind = encoding.charset.kind;
    line.m_quotedPrintable = encoding.quotedPrintable;
    if (counted)
        m_bytes += line.m_wire.size();
    return line.m_wire;
}

const std::string& WireLineCache::wireText(std::string_view text, const TextEncoding& encoding,
                                           Encode encode) {
    if (text.size() > kMaxLine || (m_bytes > kMaxBytes && m_lines.find(text) == m_lines.end())) {
        m_uncached.m_hasWire = false;
        return wireText(m_uncached, text, encoding, encode);
    }
    return wireText(kept(text).second, text, encoding, encode);
}

}  // namespace sendrix::mail
