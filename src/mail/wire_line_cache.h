#pragma once
// The wire form of body lines, kept across the messages of a list send. The
// rows' bodies share most of their lines (only the salutation and the
// fields differ), so each distinct line is converted to its charset and
// encoded once; what the cache gives back is the same bytes as encoding the
// line again.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "mail/wire_charset.h"

namespace sendrix::mail {

class WireLineCache {
public:
    // Makes the wire text of one body line in an encoding.
    using Encode = std::string (*)(std::string_view line, const TextEncoding& encoding);

    // The wire text of `line` in `encoding` as `encode` makes it: kept from
    // an earlier call for the same line in the same charset and transfer
    // encoding, made (and kept) otherwise. The reference holds until the
    // next call.
    const std::string& wireText(std::string_view line, const TextEncoding& encoding, Encode encode);

    // Bytes kept, lines and wire texts together.
    std::size_t size() const { return m_bytes; }

    // Above this the cache starts again empty: a list send with a long
    // personal text per row never grows it without bound.
    static constexpr std::size_t kMaxBytes = 1u << 20;
    // A line longer than this is encoded every time, never kept.
    static constexpr std::size_t kMaxLine = 16u << 10;

private:
    struct Entry {
        WireCharsetKind kind;
        bool quotedPrintable;
        std::string wire;
    };
    // Lines are looked up as they stand in the message, without a copy.
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };

    std::unordered_map<std::string, Entry, Hash, std::equal_to<>> m_lines;
    std::size_t m_bytes = 0;
    std::string m_uncached;
};

}  // namespace sendrix::mail
