#pragma once
// Coders that turn every 3 bytes into 4 characters of a 64-character table:
// base64 (attachments, login), and the registered UU and XX encoders.
#include <string>
#include <string_view>

#include "mail/id_coder.h"

namespace sendrix::mail {

// A coder with a coding table.
class TIdASCIICoder : public TIdCoder {
public:
    explicit TIdASCIICoder(std::string_view table) : m_table(table) {}
    std::string_view Table() const { return m_table; }

private:
    std::string_view m_table;
};

class TId3To4Coder : public TIdASCIICoder {
public:
    explicit TId3To4Coder(std::string_view table, char pad) : TIdASCIICoder(table), m_pad(pad) {}

protected:
    // Whole groups of three while feeding; at the end the last one or two
    // bytes with padding.
    size_t Encode(std::string_view bytes, bool final, std::string& out) override;
    // Appends the encoding of `bytes` (padded at the end) to `out`.
    void encodeGroups(std::string_view bytes, std::string& out) const;

private:
    char m_pad;
};

// RFC 2045 base64.
class TIdBase64Encoder : public TId3To4Coder {
public:
    TIdBase64Encoder();
    // Fast path with the same output as Feed + Finish per chunk.
    void EncodeChunks(std::string_view data, size_t chunkSize, std::string& out) override;
};

// Registered for "x-uu"; the program never selects it. Encodes with the UU
// table and no framing.
class TIdUUEncoder : public TId3To4Coder {
public:
    TIdUUEncoder();

protected:
    explicit TIdUUEncoder(std::string_view table) : TId3To4Coder(table, table[0]) {}
};

// Registered for "x-xx"; the program never selects it.
class TIdXXEncoder : public TIdUUEncoder {
public:
    TIdXXEncoder();
};

// The base64 form of the whole text on one line; "" for "".
std::string EncodeBase64Text(std::string_view text);

}  // namespace sendrix::mail
