#include "mail/id_coder_3to4.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace sendrix::mail {

namespace {

constexpr std::string_view kBase64Table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kUUTable = "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";
constexpr std::string_view kXXTable = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// Two base64 characters per 12 bits, so a group of three bytes takes two
// lookups instead of four.
struct PairTable {
    std::array<uint16_t, 4096> pairs{};
    PairTable() {
        for (unsigned i = 0; i < 4096; ++i) {
            const unsigned char hi = static_cast<unsigned char>(kBase64Table[i >> 6]);
            const unsigned char lo = static_cast<unsigned char>(kBase64Table[i & 63]);
            // Stored in memory order: first character at the lower address.
            const unsigned char bytes[2] = {hi, lo};
            uint16_t value;
            std::memcpy(&value, bytes, 2);
            pairs[i] = value;
        }
    }
};

const PairTable& pairTable() {
    static const PairTable table;
    return table;
}

// The six bytes at `in` as one big-endian number; reads eight.
inline uint64_t load48(const unsigned char* in) {
    uint64_t v;
    std::memcpy(&v, in, 8);
    if constexpr (std::endian::native == std::endian::little)
        v = __builtin_bswap64(v);
    return v >> 16;
}

// The eight characters of six bytes, the first pair at the lowest address,
// in one store.
inline void storeEight(char* out, uint64_t v, const std::array<uint16_t, 4096>& pairs) {
    const uint16_t p[4] = {pairs[(v >> 36) & 0xFFF], pairs[(v >> 24) & 0xFFF], pairs[(v >> 12) & 0xFFF],
                           pairs[v & 0xFFF]};
    if constexpr (std::endian::native == std::endian::little) {
        const uint64_t chars =
            uint64_t(p[0]) | (uint64_t(p[1]) << 16) | (uint64_t(p[2]) << 32) | (uint64_t(p[3]) << 48);
        std::memcpy(out, &chars, 8);
    } else {
        std::memcpy(out, p, 8);
    }
}

// Encodes whole groups of three from `in` to `out` (which has room for
// 4 * count / 3 characters) with the pair table: twelve bytes per step with
// two eight-byte loads (kept inside `count`), the rest group by group.
inline void encodeWholeGroups(const unsigned char* in, size_t count, char* out) {
    const auto& pairs = pairTable().pairs;
    size_t i = 0;
    for (; i + 14 <= count; i += 12) {
        storeEight(out, load48(in + i), pairs);
        storeEight(out + 8, load48(in + i + 6), pairs);
        out += 16;
    }
    for (; i + 3 <= count; i += 3) {
        const uint32_t v = (uint32_t(in[i]) << 16) | (uint32_t(in[i + 1]) << 8) | in[i + 2];
        const uint16_t a = pairs[v >> 12];
        const uint16_t b = pairs[v & 0xFFF];
        std::memcpy(out, &a, 2);
        std::memcpy(out + 2, &b, 2);
        out += 4;
    }
}

}  // namespace

void TId3To4Coder::encodeGroups(std::string_view bytes, std::string& out) const {
    const std::string_view table = Table();
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = (uint32_t(in[i]) << 16) | (uint32_t(in[i + 1]) << 8) | in[i + 2];
        out += table[(v >> 18) & 63];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += table[v & 63];
    }
    const size_t rest = bytes.size() - i;
    if (rest == 1) {
        const uint32_t v = uint32_t(in[i]) << 16;
        out += table[(v >> 18) & 63];
        out += table[(v >> 12) & 63];
        out += m_pad;
        out += m_pad;
    } else if (rest == 2) {
        const uint32_t v = (uint32_t(in[i]) << 16) | (uint32_t(in[i + 1]) << 8);
        out += table[(v >> 18) & 63];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += m_pad;
    }
}

size_t TId3To4Coder::Encode(std::string_view bytes, bool final, std::string& out) {
    // Only the final piece may end in padding; otherwise keep the bytes
    // beyond the last whole group for the next round.
    const size_t used = final ? bytes.size() : bytes.size() - bytes.size() % 3;
    encodeGroups(bytes.substr(0, used), out);
    return used;
}

TIdBase64Encoder::TIdBase64Encoder() : TId3To4Coder(kBase64Table, '=') {}

void TIdBase64Encoder::EncodeChunks(std::string_view data, size_t chunkSize, std::string& out) {
    // Only whole-group chunks in line mode take the fast path; anything
    // else goes the general way.
    if (!LineMode() || chunkSize == 0 || chunkSize % 3 != 0 || HasBufferedInput()) {
        TIdCoder::EncodeChunks(data, chunkSize, out);
        return;
    }
    const size_t whole = data.size() / chunkSize;
    const size_t lineLength = chunkSize / 3 * 4;
    const size_t start = out.size();
    out.resize(start + whole * (lineLength + 2));
    char* dst = out.data() + start;
    const auto* src = reinterpret_cast<const unsigned char*>(data.data());
    for (size_t n = 0; n < whole; ++n) {
        encodeWholeGroups(src, chunkSize, dst);
        dst[lineLength] = '\r';
        dst[lineLength + 1] = '\n';
        src += chunkSize;
        dst += lineLength + 2;
    }
    const std::string_view rest = data.substr(whole * chunkSize);
    if (!rest.empty()) {
        encodeGroups(rest, out);
        out += "\r\n";
    }
}

TIdUUEncoder::TIdUUEncoder() : TId3To4Coder(kUUTable, kUUTable[0]) {}

TIdXXEncoder::TIdXXEncoder() : TIdUUEncoder(kXXTable) {}

std::string EncodeBase64Text(std::string_view text) {
    TIdBase64Encoder encoder;
    encoder.Feed(text);
    return encoder.Finish();
}

}  // namespace sendrix::mail
