#pragma once
// The body lines of a list send, kept across its messages. The rows' bodies
// share most of their lines (only the salutation and the fields differ), so
// each distinct line is looked at (for the charset choice) and converted and
// encoded once; what the cache gives back is the same as doing it again.
#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "mail/wire_charset.h"

namespace sendrix::mail {

class WireLineCache {
public:
    // Makes the wire text of one body line in an encoding.
    using Encode = std::string (*)(std::string_view line, const TextEncoding& encoding);

    // One line: its facts, and its wire text in the encoding it was last
    // written in.
    class Line {
    public:
        const LineFacts& facts() const { return m_facts; }

    private:
        friend class WireLineCache;
        LineFacts m_facts;
        bool m_hasWire = false;
        WireCharsetKind m_kind = WireCharsetKind::Ascii;
        bool m_quotedPrintable = false;
        std::string m_wire;
    };

    // Every line of `body`, each looked up once (and kept unless it is
    // longer than kMaxLine). The handles hold until the next call; first the
    // cache starts again empty when it holds more than kMaxBytes, so one
    // body at most comes on top of that.
    std::vector<Line*> lines(const std::vector<std::string>& body);

    // The wire text of `line` (whose text is `text`) in `encoding` as
    // `encode` makes it: kept from an earlier call in the same charset and
    // transfer encoding, made (and kept) otherwise. The reference holds
    // until the next call.
    const std::string& wireText(Line& line, std::string_view text, const TextEncoding& encoding,
                                Encode encode);
    // The same for a line found by its text; a new one is kept only while
    // the cache holds less than kMaxBytes.
    const std::string& wireText(std::string_view text, const TextEncoding& encoding, Encode encode);

    // Bytes kept, lines and wire texts together.
    std::size_t size() const { return m_bytes; }

    // Above this the cache starts again empty: a list send with a long
    // personal text per row never grows it without bound.
    static constexpr std::size_t kMaxBytes = 1u << 20;
    // A line longer than this is never kept.
    static constexpr std::size_t kMaxLine = 16u << 10;

private:
    // Lines are looked up as they stand in the message, without a copy.
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };

    // The kept line of `text` with its key, made when it is new.
    std::pair<const std::string, Line>& kept(std::string_view text);
    void clear();

    std::unordered_map<std::string, Line, Hash, std::equal_to<>> m_lines;
    std::size_t m_bytes = 0;
    // The lines of the last body too long to keep.
    std::deque<Line> m_oneOff;
    // The last body's kept lines in order, with their texts: a line at the
    // same place as in the body before is found by a compare, not a hash.
    std::vector<std::pair<const std::string*, Line*>> m_previous;
    Line m_uncached;
};

}  // namespace sendrix::mail
