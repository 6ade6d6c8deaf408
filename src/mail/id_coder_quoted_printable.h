#pragma once
// Quoted-printable (RFC 2045 6.7) for text parts.
#include <string>
#include <string_view>

#include "mail/id_coder.h"

namespace sendrix::mail {

class TIdQuotedPrintableEncoder : public TIdCoder {
public:
    TIdQuotedPrintableEncoder() = default;

protected:
    size_t Encode(std::string_view bytes, bool final, std::string& out) override;

private:
    void appendByte(unsigned char byte);
    void endLine(std::string& out);
    void cutLongText(std::string& out);

    // Encoded text of the current line, not yet output.
    std::string m_pending;
    // A CR at the end of the input so far: its meaning depends on the next byte.
    bool m_heldCr = false;
};

}  // namespace sendrix::mail
