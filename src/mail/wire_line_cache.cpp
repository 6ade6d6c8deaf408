#include "mail/wire_line_cache.h"

namespace sendrix::mail {

const std::string& WireLineCache::wireText(std::string_view line, const TextEncoding& encoding,
                                           Encode encode) {
    if (line.size() > kMaxLine) {
        m_uncached = encode(line, encoding);
        return m_uncached;
    }
    auto found = m_lines.find(line);
    if (found != m_lines.end()) {
        Entry& entry = found->second;
        if (entry.kind == encoding.charset.kind && entry.quotedPrintable == encoding.quotedPrintable)
            return entry.wire;
        // The same line in another charset or transfer encoding: the bytes
        // differ, so the entry takes the new ones.
        m_bytes -= entry.wire.size();
        entry = {encoding.charset.kind, encoding.quotedPrintable, encode(line, encoding)};
        m_bytes += entry.wire.size();
        return entry.wire;
    }
    Entry entry{encoding.charset.kind, encoding.quotedPrintable, encode(line, encoding)};
    const std::size_t bytes = line.size() + entry.wire.size();
    if (m_bytes + bytes > kMaxBytes) {
        m_lines.clear();
        m_bytes = 0;
    }
    m_bytes += bytes;
    return m_lines.emplace(std::string(line), std::move(entry)).first->second.wire;
}

}  // namespace sendrix::mail
