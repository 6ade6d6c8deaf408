#include "mail/id_coder_quoted_printable.h"

namespace sendrix::mail {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";
// RFC 2045 allows soft breaks after at most 75 characters plus "=".
constexpr size_t kMaxLine = 75;

// Printable bytes that do not survive every gateway (RFC 2045 6.7 rule 2
// names the EBCDIC-unsafe ones) are escaped too.
constexpr bool mustEscapePrintable(unsigned char b) {
    return (b >= 33 && b <= 36) || b == 64 || (b >= 91 && b <= 94) || b == 96 || (b >= 123 && b <= 126) ||
           b == '=';
}

constexpr bool standsForItself(unsigned char b) {
    return b >= 32 && b <= 126 && !mustEscapePrintable(b);
}

// standsForItself for every byte, looked up once per byte of a body.
struct LiteralTable {
    bool literal[256] = {};
    constexpr LiteralTable() {
        for (int b = 0; b < 256; ++b)
            literal[b] = standsForItself(static_cast<unsigned char>(b));
    }
};
constexpr LiteralTable kLiterals;

}  // namespace

void TIdQuotedPrintableEncoder::appendByte(unsigned char byte) {
    if (!kLiterals.literal[byte]) {
        const char escaped[3] = {'=', kHex[byte >> 4], kHex[byte & 15]};
        m_pending.append(escaped, 3);
    } else {
        m_pending += static_cast<char>(byte);
    }
}

void TIdQuotedPrintableEncoder::endLine(std::string& out) {
    // A blank before a line end may be stripped in transport (RFC 2045 6.7
    // rule 3), so it is written "=20".
    if (!m_pending.empty() && m_pending.back() == ' ') {
        m_pending.pop_back();
        m_pending += "=20";
    }
    out += m_pending;
    out += "\r\n";
    m_pending.clear();
}

void TIdQuotedPrintableEncoder::cutLongText(std::string& out) {
    // The cut text leaves the front at the end, once: a long line moves once.
    size_t from = 0;
    while (m_pending.size() - from > kMaxLine) {
        // Never split an "=XX" across the soft break.
        size_t cut = kMaxLine;
        if (m_pending[from + 72] == '=')
            cut = 72;
        else if (m_pending[from + 73] == '=')
            cut = 73;
        else if (m_pending[from + 74] == '=')
            cut = 74;
        out.append(m_pending, from, cut);
        out += "=\r\n";
        from += cut;
    }
    m_pending.erase(0, from);
}

size_t TIdQuotedPrintableEncoder::Encode(std::string_view bytes, bool final, std::string& out) {
    const size_t n = bytes.size();
    size_t i = 0;
    if (m_heldCr) {
        m_heldCr = false;
        if (n > 0 && bytes[0] == '\n') {
            endLine(out);
            i = 1;
        } else {
            m_pending += "=0D";
        }
    }
    for (; i < n; ++i) {
        // A run of bytes that stand for themselves goes in at once.
        size_t run = i;
        while (run < n && kLiterals.literal[static_cast<unsigned char>(bytes[run])])
            ++run;
        if (run > i) {
            m_pending.append(bytes.data() + i, run - i);
            i = run;
            if (i == n)
                break;
        }
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b != '\r') {
            appendByte(b);
            continue;
        }
        if (i + 1 < n) {
            if (bytes[i + 1] == '\n') {
                endLine(out);
                ++i;
            } else {
                m_pending += "=0D";
            }
        } else if (final) {
            m_pending += "=0D";
        } else {
            // Whether this CR ends a line shows only with the next input.
            m_heldCr = true;
        }
    }
    if (final && !m_pending.empty() && m_pending.back() == ' ') {
        m_pending.pop_back();
        m_pending += "=20";
    }
    cutLongText(out);
    if (final) {
        out += m_pending;
        m_pending.clear();
    }
    return n;
}

}  // namespace sendrix::mail
